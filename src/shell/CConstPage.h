#pragma once
// The constants page of the toolbox: gravity, restitution, friction, mouse force and
// time step, each as an edit box with a range and a slider of 101 steps, and Default,
// which brings back the values the page opened with. Built on QWidget.

#include <QWidget>

#include <array>

class MirelApplication;
class MirelConfig;
class QLineEdit;
class QSlider;

class CConstPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kConstantCount = 5;
    static constexpr int kDefaultId = 1016;

    /// One constant's controls, range and slider step, in the page's order.
    struct Constant {
        int editId;
        int sliderId;
        double maximum;
        /// Value of one slider step.
        double step;
        int labelTextId;
        double MirelConfig::*field;
    };
    static const std::array<Constant, kConstantCount> kConstants;
    /// Index of the time step among the constants: it never becomes 0.
    static constexpr int kTimeStepIndex = 4;

    explicit CConstPage(QWidget* parent = nullptr);

    void SetApplication(MirelApplication* application) { application_ = application; }
    /// Reads the five values from the configuration, applies them and keeps them as the opening values.
    void Initialize();
    void StoreSettings() {}

    /// Reads every edit box, sets the moved slider's constant from its position and applies.
    void SliderMoved(int index);
    /// Brings back the opening values.
    void RestoreDefaults();

    QLineEdit* Edit(int index) const { return edits_[index]; }
    QSlider* Slider(int index) const { return sliders_[index]; }
    double Value(int index) const { return values_[index]; }

private:
    /// Writes the values to the configuration, places the sliders and shows the values.
    void Apply();
    void ShowValues();
    /// Reads every edit box into the values; on the first bad one shows the range message,
    /// focuses the box and leaves every value as it was.
    bool ReadEditBoxes();

    MirelApplication* application_ = nullptr;
    std::array<double, kConstantCount> values_{};
    std::array<int, kConstantCount> positions_{};
    std::array<double, kConstantCount> openingValues_{};
    std::array<QLineEdit*, kConstantCount> edits_{};
    std::array<QSlider*, kConstantCount> sliders_{};
};
