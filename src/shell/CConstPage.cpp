#include "shell/CConstPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <mutex>

#include "shell/ShellText.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

const std::array<CConstPage::Constant, CConstPage::kConstantCount> CConstPage::kConstants{{
    {1015, 1018, 4.0, 0.04, kTextGravity, &MirelConfig::gravity},
    {1021, 1020, 1.0, 0.01, kTextRestitution, &MirelConfig::restitution},
    {1023, 1022, 1.0, 0.01, kTextFriction, &MirelConfig::friction},
    {1025, 1024, 30.0, 0.3, kTextMouseForce, &MirelConfig::mouseForce},
    {1017, 1019, 0.01, 0.0001, kTextTimeStep, &MirelConfig::timeStep},
}};

namespace {

constexpr int kSliderMaximum = 100;

/// The shortest text that reads back as the same value (0.0015, not 0.0015000000000000000).
QString NumberText(double value) {
    return QString::number(value, 'g', 15);
}

} // namespace

CConstPage::CConstPage(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout;
    for (int index = 0; index < kConstantCount; ++index) {
        const Constant& constant = kConstants[index];
        const QString caption = ShellText(constant.labelTextId);
        auto* label = new QLabel(caption, this);
        auto* edit = new QLineEdit(this);
        NameControl(edit, constant.editId, caption);
        edit->setMaximumWidth(90);
        label->setBuddy(edit);
        auto* slider = new QSlider(Qt::Horizontal, this);
        NameControl(slider, constant.sliderId, caption);
        slider->setRange(0, kSliderMaximum);
        slider->setPageStep(10);
        connect(slider, &QSlider::valueChanged, this, [this, index] { SliderMoved(index); });
        edits_[index] = edit;
        sliders_[index] = slider;
        grid->addWidget(label, index * 2, 0, 1, 2);
        grid->addWidget(edit, index * 2 + 1, 0);
        grid->addWidget(slider, index * 2 + 1, 1);
    }
    grid->setColumnStretch(1, 1);

    auto* defaults = new QPushButton(ShellText(kTextDefault), this);
    NameControl(defaults, kDefaultId, defaults->text());
    defaults->setAutoDefault(false);
    connect(defaults, &QPushButton::clicked, this, &CConstPage::RestoreDefaults);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(defaults, 0, Qt::AlignRight);
    layout->addStretch(1);
}

void CConstPage::Initialize() {
    const MirelConfig& config = MirelConfig::Instance();
    for (int index = 0; index < kConstantCount; ++index) {
        values_[index] = config.*kConstants[index].field;
    }
    Apply();
    openingValues_ = values_;
}

void CConstPage::Apply() {
    {
        // the simulation thread reads the constants at every tick, under the same lock
        std::unique_lock<MirelApplication::ExecLock> lock;
        if (application_ != nullptr) {
            lock = std::unique_lock(application_->Lock());
        }
        MirelConfig& config = MirelConfig::Instance();
        for (int index = 0; index < kConstantCount; ++index) {
            config.*kConstants[index].field = values_[index];
        }
    }
    for (int index = 0; index < kConstantCount; ++index) {
        // truncated toward zero; the slack keeps 0.6 / 0.01 = 59.999... at position 60
        positions_[index] = static_cast<int>(values_[index] / kConstants[index].step + 1e-9);
        const QSignalBlocker quiet(sliders_[index]);
        sliders_[index]->setValue(positions_[index]);
    }
    ShowValues();
}

void CConstPage::ShowValues() {
    for (int index = 0; index < kConstantCount; ++index) {
        edits_[index]->setText(NumberText(values_[index]));
    }
}

bool CConstPage::ReadEditBoxes() {
    std::array<double, kConstantCount> read{};
    for (int index = 0; index < kConstantCount; ++index) {
        const Constant& constant = kConstants[index];
        bool number = false;
        const double value = edits_[index]->text().trimmed().toDouble(&number);
        QString complaint;
        if (!number || !std::isfinite(value)) {
            complaint = ShellText(kTextNumber);
        } else if (value < 0.0 || value > constant.maximum) {
            complaint = ShellText(kTextNumberRange).arg(NumberText(0.0), NumberText(constant.maximum));
        }
        if (!complaint.isEmpty()) {
            ShowMessageBox(this, complaint);
            edits_[index]->setFocus();
            edits_[index]->selectAll();
            return false;
        }
        read[index] = value;
    }
    // a time step of 0 would never advance the simulation: the smallest slider step stands in
    if (read[kTimeStepIndex] <= 0.0) {
        read[kTimeStepIndex] = kConstants[kTimeStepIndex].step;
    }
    values_ = read;
    return true;
}

void CConstPage::SliderMoved(int index) {
    if (!ReadEditBoxes()) {
        // the moved slider goes back to the value it stands for
        const QSignalBlocker quiet(sliders_[index]);
        sliders_[index]->setValue(positions_[index]);
        return;
    }
    int position = sliders_[index]->value();
    if (index == kTimeStepIndex && position == 0) {
        position = 1;
    }
    values_[index] = position * kConstants[index].step;
    ShowValues();
    Apply();
}

void CConstPage::RestoreDefaults() {
    values_ = openingValues_;
    Apply();
}
