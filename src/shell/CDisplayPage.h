#pragma once
// The view page of the toolbox: isometric or top view, the window size and zoom sliders
// with their labels, and the stereogram check box. It observes the configuration's zoom,
// which the mouse wheel changes on the application thread. Built on QWidget.

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

    explicit CDisplayPage(QWidget* parent = nullptr);
    ~CDisplayPage() override;

    /// Also registers the page as the configuration's "zoom" observer.
    void SetApplication(MirelApplication* application);
    /// Places the sliders at the configured screen size and zoom and labels them.
    void Initialize();
    void StoreSettings() {}

    /// The zoom changed elsewhere (any thread): the page follows on the user-interface thread.
    void Notify() override;

    void SetViewMode(int mode);
    void SetStereogram(bool on);
    /// Takes the sliders' positions into the configuration; a new screen size resets the device.
    void SliderMoved(bool screenSizeMoved);

    /// "800x600" for a screen size index; empty for one that is not in the table.
    static QString ScreenSizeText(int index);
    /// The zoom step as a percentage: 10 % per step up to 10, then 50 % more per step.
    static int ZoomPercent(int step);

    QSlider* ScreenSizeSlider() const { return screenSizeSlider_; }
    QSlider* ZoomSlider() const { return zoomSlider_; }
    QLabel* ScreenSizeLabel() const { return screenSizeLabel_; }
    QLabel* ZoomLabel() const { return zoomLabel_; }

private:
    void ZoomChanged();
    void RefreshLabels();

    MirelApplication* application_ = nullptr;
    bool initialized_ = false;
    QSlider* screenSizeSlider_;
    QSlider* zoomSlider_;
    QLabel* screenSizeLabel_;
    QLabel* zoomLabel_;
    QCheckBox* stereogram_;
};
