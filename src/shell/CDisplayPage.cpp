#include "shell/CDisplayPage.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <mutex>

#include "shell/ShellText.h"
#include "tester/MirelApplication.h"

namespace {

constexpr int kLargestScreenSize = 4;
constexpr int kLargestZoom = 15;
/// The speed slider's positions are the divisors 8, 4, 2 and 1.
constexpr int kFullSpeedPosition = 3;

int SpeedPosition(int divisor) {
    return divisor >= 8 ? 0 : divisor >= 4 ? 1 : divisor >= 2 ? 2 : kFullSpeedPosition;
}

/// A slider with its label beside it in a titled group.
QGroupBox* SliderGroup(QWidget* parent, int titleId, QSlider* slider, QLabel* label) {
    auto* group = new QGroupBox(ShellText(titleId), parent);
    auto* layout = new QHBoxLayout(group);
    layout->addWidget(slider, 1);
    layout->addWidget(label);
    return group;
}

} // namespace

CDisplayPage::CDisplayPage(QWidget* parent) : QWidget(parent) {
    auto* isometric = new QPushButton(ShellText(kTextIsometric), this);
    NameControl(isometric, kIsometricId, isometric->text());
    auto* top = new QPushButton(ShellText(kTextTop), this);
    NameControl(top, kTopId, top->text());
    for (QPushButton* button : {isometric, top}) {
        button->setAutoDefault(false);
    }
    connect(isometric, &QPushButton::clicked, this, [this] { SetViewMode(0); });
    connect(top, &QPushButton::clicked, this, [this] { SetViewMode(1); });
    auto* viewGroup = new QGroupBox(ShellText(kTextChangeView), this);
    auto* viewLayout = new QHBoxLayout(viewGroup);
    viewLayout->addWidget(isometric);
    viewLayout->addWidget(top);

    const QString sizeTitle = ShellText(kTextWindowSize);
    screenSizeSlider_ = new QSlider(Qt::Horizontal, this);
    NameControl(screenSizeSlider_, kScreenSizeSliderId, sizeTitle);
    screenSizeSlider_->setRange(0, kLargestScreenSize);
    screenSizeSlider_->setPageStep(1);
    screenSizeSlider_->setTickPosition(QSlider::TicksBelow);
    screenSizeLabel_ = new QLabel(this);
    NameControl(screenSizeLabel_, kScreenSizeLabelId, sizeTitle);
    screenSizeLabel_->setMinimumWidth(
        screenSizeLabel_->fontMetrics().horizontalAdvance(QStringLiteral("1600x1200")));

    const QString zoomTitle = ShellText(kTextZoom);
    zoomSlider_ = new QSlider(Qt::Horizontal, this);
    NameControl(zoomSlider_, kZoomSliderId, zoomTitle);
    zoomSlider_->setRange(0, kLargestZoom);
    zoomSlider_->setPageStep(1);
    zoomSlider_->setTickPosition(QSlider::TicksBelow);
    zoomLabel_ = new QLabel(this);
    NameControl(zoomLabel_, kZoomLabelId, zoomTitle);
    zoomLabel_->setMinimumWidth(screenSizeLabel_->minimumWidth());

    connect(screenSizeSlider_, &QSlider::valueChanged, this, [this] { SliderMoved(true); });
    connect(zoomSlider_, &QSlider::valueChanged, this, [this] { SliderMoved(false); });

    const QString speedTitle = ShellText(kTextSpeed);
    speedSlider_ = new QSlider(Qt::Horizontal, this);
    NameControl(speedSlider_, kSpeedSliderId, speedTitle);
    speedSlider_->setRange(0, kFullSpeedPosition);
    speedSlider_->setPageStep(1);
    speedSlider_->setTickPosition(QSlider::TicksBelow);
    speedLabel_ = new QLabel(this);
    NameControl(speedLabel_, kSpeedLabelId, speedTitle);
    speedLabel_->setMinimumWidth(screenSizeLabel_->minimumWidth());
    connect(speedSlider_, &QSlider::valueChanged, this, &CDisplayPage::SpeedMoved);

    auto* captureGroup = new QGroupBox(ShellText(kTextCaptureFolder), this);
    auto* captureLayout = new QHBoxLayout(captureGroup);
    captureFolderLabel_ = new QLabel(captureGroup);
    NameControl(captureFolderLabel_, kCaptureFolderLabelId, captureGroup->title());
    captureFolderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* choose = new QPushButton(ShellText(kTextChoose), captureGroup);
    NameControl(choose, kCaptureFolderButtonId, choose->text());
    choose->setAutoDefault(false);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, ShellText(kTextCaptureFolder),
                                              QString::fromStdWString(MirelConfig::Instance().captureFolder));
        if (!folder.isEmpty()) {
            SetCaptureFolder(folder);
        }
    });
    captureLayout->addWidget(captureFolderLabel_, 1);
    captureLayout->addWidget(choose);

    stereogram_ = new QCheckBox(ShellText(kTextStereogram), this);
    NameControl(stereogram_, kStereogramId, stereogram_->text());
    connect(stereogram_, &QCheckBox::toggled, this, &CDisplayPage::SetStereogram);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(viewGroup);
    layout->addWidget(SliderGroup(this, kTextWindowSize, screenSizeSlider_, screenSizeLabel_));
    layout->addWidget(SliderGroup(this, kTextZoom, zoomSlider_, zoomLabel_));
    layout->addWidget(SliderGroup(this, kTextSpeed, speedSlider_, speedLabel_));
    layout->addWidget(stereogram_);
    layout->addWidget(captureGroup);
    layout->addStretch(1);
}

CDisplayPage::~CDisplayPage() {
    auto& observers = MirelConfig::Instance().Observers();
    for (const wchar_t* name : {L"zoom", L"speed"}) {
        auto found = observers.find(name);
        if (found != observers.end() && found->second == this) {
            observers.erase(found);
        }
    }
}

void CDisplayPage::SetApplication(MirelApplication* application) {
    application_ = application;
    MirelConfig::Instance().Observers()[L"zoom"] = this;
    MirelConfig::Instance().Observers()[L"speed"] = this;
}

void CDisplayPage::Initialize() {
    initialized_ = true;
    const MirelConfig& config = MirelConfig::Instance();
    {
        const QSignalBlocker quietSize(screenSizeSlider_);
        const QSignalBlocker quietZoom(zoomSlider_);
        const QSignalBlocker quietSpeed(speedSlider_);
        screenSizeSlider_->setValue(config.screenSize);
        zoomSlider_->setValue(config.zoom);
        speedSlider_->setValue(SpeedPosition(config.speedDivisor));
    }
    captureFolderLabel_->setText(config.captureFolder.empty()
                                     ? ShellText(kTextCurrentDirectory)
                                     : QString::fromStdWString(config.captureFolder));
    const QSignalBlocker quiet(stereogram_);
    stereogram_->setChecked(config.stereogram);
    RefreshLabels();
}

QString CDisplayPage::ScreenSizeText(int index) {
    const auto& sizes = MirelConfig::Instance().screenSizes;
    const auto found = sizes.find(index);
    if (found == sizes.end()) {
        return {};
    }
    return QStringLiteral("%1x%2").arg(found->second.first).arg(found->second.second);
}

int CDisplayPage::ZoomPercent(int step) {
    return step >= 11 ? 100 + 50 * (step - 10) : step * 10;
}

void CDisplayPage::RefreshLabels() {
    screenSizeLabel_->setText(ScreenSizeText(screenSizeSlider_->value()));
    zoomLabel_->setText(QStringLiteral("%1%").arg(ZoomPercent(zoomSlider_->value())));
    const int position = speedSlider_->value();
    speedLabel_->setText(position == kFullSpeedPosition
                             ? QStringLiteral("1")
                             : QStringLiteral("1/%1").arg(1 << (kFullSpeedPosition - position)));
}

void CDisplayPage::SpeedMoved() {
    {
        std::lock_guard lock(application_->Lock());
        MirelConfig::Instance().SetSpeedDivisor(1 << (kFullSpeedPosition - speedSlider_->value()));
    }
    RefreshLabels();
}

void CDisplayPage::SetCaptureFolder(const QString& folder) {
    MirelConfig::Instance().captureFolder = folder.toStdWString();
    captureFolderLabel_->setText(folder.isEmpty() ? ShellText(kTextCurrentDirectory) : folder);
}

void CDisplayPage::SetViewMode(int mode) {
    std::lock_guard lock(application_->Lock());
    MirelConfig::Instance().viewMode = mode;
}

void CDisplayPage::SetStereogram(bool on) {
    application_->SetStereogram(on);
}

void CDisplayPage::SliderMoved(bool screenSizeMoved) {
    if (zoomSlider_->value() == 0) {
        const QSignalBlocker quiet(zoomSlider_);
        zoomSlider_->setValue(1);
    }
    {
        // the drawing thread reads the size and the zoom at every frame, under the same lock
        std::lock_guard lock(application_->Lock());
        MirelConfig& config = MirelConfig::Instance();
        config.SetScreenSize(screenSizeSlider_->value());
        config.SetZoom(zoomSlider_->value());
    }
    RefreshLabels();
    if (screenSizeMoved) {
        application_->ResetDevice();
    }
}

void CDisplayPage::Notify() {
    // called on the application thread by the wheel: the controls belong to the user-interface thread
    QMetaObject::invokeMethod(this, &CDisplayPage::SettingsChanged, Qt::QueuedConnection);
}

void CDisplayPage::SettingsChanged() {
    // the application thread writes them under the application's lock (the wheel, while it steps)
    int zoom = 0;
    int speedDivisor = 1;
    {
        std::lock_guard lock(application_->Lock());
        zoom = MirelConfig::Instance().zoom;
        speedDivisor = MirelConfig::Instance().speedDivisor;
    }
    {
        const QSignalBlocker quiet(zoomSlider_);
        const QSignalBlocker quietSpeed(speedSlider_);
        zoomSlider_->setValue(zoom);
        speedSlider_->setValue(SpeedPosition(speedDivisor));
    }
    if (initialized_) {
        RefreshLabels();
    }
}
