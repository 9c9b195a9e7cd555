#pragma once
// The view page of the toolbox: isometric or top view, the window size, zoom and speed
// sliders with their labels, the stereogram check box and the folder of screenshots and
// videos. It observes the configuration's zoom and speed, which the mouse wheel and the
// keys change on the application thread. Built on QWidget.

#include <QWidget>

#include "tester/MirelConfig.h"

class MirelApplication;
class QCheckBox;
class QLabel;
class QSlider;

class CDisplayPage : public QWidget, public MirelConfig::ConfigObserver {
    Q_OBJECT
public:
    // control identifiers
    static constexpr int kStereogramId = 1020;
    static constexpr int kScreenSizeSliderId = 1021;
    static constexpr int kIsometricId = 1022;
    static constexpr int kTopId = 1023;
    static constexpr int kZoomSliderId = 1024;
    static constexpr int kScreenSizeLabelId = 1027;
    static constexpr int kZoomLabelId = 1028;
    static constexpr int kSpeedSliderId = 1040;
    static constexpr int kSpeedLabelId = 1041;
    static constexpr int kCaptureFolderLabelId = 1042;
    static constexpr int kCaptureFolderButtonId = 1043;

    explicit CDisplayPage(QWidget* parent = nullptr);
    ~CDisplayPage() override;

    /// Also registers the page as the configuration's "zoom" and "speed" observer.
    void SetApplication(MirelApplication* application);
    /// Places the sliders at the configured screen size and zoom and labels them.
    void Initialize();
    void StoreSettings() {}

    /// The zoom or the speed changed elsewhere (any thread): the page follows on the user-interface thread.
    void Notify() override;

    void SetViewMode(int mode);
    void SetStereogram(bool on);
    /// Takes the sliders' positions into the configuration; a new screen size resets the device.
    void SliderMoved(bool screenSizeMoved);
    /// Takes the speed slider's position (0 to 3: 1/8, 1/4, 1/2, 1) into the configuration.
    void SpeedMoved();
    /// Sets the folder of screenshots and videos (empty: the current directory).
    void SetCaptureFolder(const QString& folder);

    /// "800x600" for a screen size index; empty for one that is not in the table.
    static QString ScreenSizeText(int index);
    /// The zoom step as a percentage: 10 % per step up to 10, then 50 % more per step.
    static int ZoomPercent(int step);

    QSlider* ScreenSizeSlider() const { return screenSizeSlider_; }
    QSlider* ZoomSlider() const { return zoomSlider_; }
    QLabel* ScreenSizeLabel() const { return screenSizeLabel_; }
    QLabel* ZoomLabel() const { return zoomLabel_; }
    QSlider* SpeedSlider() const { return speedSlider_; }
    QLabel* SpeedLabel() const { return speedLabel_; }

private:
    void SettingsChanged();
    void RefreshLabels();

    MirelApplication* application_ = nullptr;
    bool initialized_ = false;
    QSlider* screenSizeSlider_;
    QSlider* zoomSlider_;
    QLabel* screenSizeLabel_;
    QLabel* zoomLabel_;
    QSlider* speedSlider_;
    QLabel* speedLabel_;
    QLabel* captureFolderLabel_;
    QCheckBox* stereogram_;
};
