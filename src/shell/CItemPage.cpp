#include "shell/CItemPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>

#include "common/myexception.h"
#include "definition/FieldCatalog.h"
#include "definition/SceneWriter.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "shell/CFieldInfoDialog.h"
#include "shell/ShellText.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

namespace {

QPushButton* MakeButton(QWidget* parent, int textId, int controlId) {
    auto* button = new QPushButton(ShellText(textId), parent);
    NameControl(button, controlId, button->text());
    button->setAutoDefault(false);
    return button;
}

} // namespace

CItemPage::CItemPage(QWidget* parent) : QWidget(parent), catalog_(std::make_unique<FieldCatalog>()) {
    auto* rows = new QGridLayout;
    for (int row = 0; row < kRowCount; ++row) {
        auto* list = new QComboBox(this);
        NameControl(list, kListIds[row], ShellText(kTextItemSlot).arg(row + 1));
        list->setMinimumWidth(180);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        lists_[row] = list;
        QPushButton* add = MakeButton(this, kTextAdd, kAddIds[row]);
        QPushButton* information = MakeButton(this, kTextAbout, kInformationIds[row]);
        connect(add, &QPushButton::clicked, this, [this, row] { Add(row); });
        connect(information, &QPushButton::clicked, this, [this, row] { ShowInformation(row); });
        rows->addWidget(list, row, 0);
        rows->addWidget(add, row, 1);
        rows->addWidget(information, row, 2);
    }
    rows->setColumnStretch(0, 1);

    QPushButton* deleteAll = MakeButton(this, kTextDeleteAll, kDeleteAllId);
    QPushButton* update = MakeButton(this, kTextUpdate, kUpdateId);
    QPushButton* version = MakeButton(this, kTextVersion, kVersionId);
    QPushButton* pause = MakeButton(this, kTextPause, kPauseId);
    QPushButton* step = MakeButton(this, kTextStep, kStepId);
    QPushButton* go = MakeButton(this, kTextGo, kGoId);
    QPushButton* save = MakeButton(this, kTextSave, kSaveId);
    QPushButton* back = MakeButton(this, kTextBack, kBackId);
    QPushButton* forward = MakeButton(this, kTextForward, kForwardId);
    connect(deleteAll, &QPushButton::clicked, this, &CItemPage::DeleteAll);
    connect(update, &QPushButton::clicked, this, &CItemPage::Update);
    connect(version, &QPushButton::clicked, this, [this] { application_->ShowVersion(); });
    connect(pause, &QPushButton::clicked, this, &CItemPage::Pause);
    connect(step, &QPushButton::clicked, this, &CItemPage::Step);
    connect(go, &QPushButton::clicked, this, &CItemPage::Go);
    connect(save, &QPushButton::clicked, this, &CItemPage::AskAndSaveScene);
    connect(back, &QPushButton::clicked, this, &CItemPage::Back);
    connect(forward, &QPushButton::clicked, this, &CItemPage::Forward);

    auto* commands = new QGridLayout;
    commands->addWidget(deleteAll, 0, 0);
    commands->addWidget(update, 0, 1);
    commands->addWidget(version, 0, 2);
    commands->addWidget(pause, 1, 0);
    commands->addWidget(step, 1, 1);
    commands->addWidget(go, 1, 2);
    commands->addWidget(back, 2, 0);
    commands->addWidget(forward, 2, 1);
    commands->addWidget(save, 2, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addSpacing(8);
    layout->addLayout(commands);
    layout->addStretch(1);
}

CItemPage::~CItemPage() = default;

void CItemPage::SetApplication(MirelApplication* application) {
    application_ = application;
}

void CItemPage::Initialize() {
    const MirelConfig& config = MirelConfig::Instance();
    for (int row = 0; row < kRowCount; ++row) {
        rememberedPaths_[row] = config.itemFiles[row];
    }
}

std::wstring CItemPage::SelectedPath(int row) const {
    const int index = lists_[row]->currentIndex();
    if (index < 0) {
        return {};
    }
    return catalog_->Summaries().at(lists_[row]->itemData(index).toInt()).path;
}

void CItemPage::StoreSettings() {
    MirelConfig& config = MirelConfig::Instance();
    for (int row = 0; row < kRowCount; ++row) {
        std::wstring path = SelectedPath(row);
        if (path.empty()) {
            break;
        }
        config.itemFiles[row] = std::move(path);
    }
}

void CItemPage::Update() {
    DeleteAll();
    application_->ReloadDeviceObjects();

    // each row keeps the file it shows across the rescan
    if (filled_) {
        for (int row = 0; row < kRowCount; ++row) {
            std::wstring path = SelectedPath(row);
            if (!path.empty()) {
                rememberedPaths_[row] = std::move(path);
            }
        }
    }
    filled_ = true;
    for (QComboBox* list : lists_) {
        list->clear();
    }

    // one faulty file must not empty the lists: every file that loads is listed
    const std::vector<FieldCatalog::Failure> failures = catalog_->UpdateReportingAll();
    const std::vector<DefinitionSummary>& summaries = catalog_->Summaries();
    for (int row = 0; row < kRowCount; ++row) {
        QComboBox* list = lists_[row];
        int selected = -1;
        for (std::size_t index = 0; index < summaries.size(); ++index) {
            list->addItem(QString::fromStdWString(summaries[index].name), static_cast<int>(index));
            if (selected < 0 && summaries[index].path == rememberedPaths_[row]) {
                selected = static_cast<int>(index);
            }
        }
        list->setCurrentIndex(selected);
    }

    if (!failures.empty()) {
        QString text = ShellText(kTextUnreadFiles);
        for (const FieldCatalog::Failure& failure : failures) {
            text += QStringLiteral("\n\n") + QString::fromStdWString(failure.path) + QStringLiteral(":\n") +
                    QString::fromStdWString(failure.message);
        }
        ShowMessageBox(this, text);
    }
}

void CItemPage::Add(int row) {
    const std::wstring path = SelectedPath(row);
    if (path.empty()) {
        emit mainWindowFocusWanted();
        return;
    }
    AddFile(path);
}

void CItemPage::AddFile(const std::wstring& path) {
    try {
        FieldItemWorld* world = application_->World();
        if (world == nullptr) {
            return;
        }
        // lowered by the player's start height, not its height of the moment: items keep
        // their place above the land wherever the user has moved the view
        catalog_->Add(path, *world, &application_->Lock().Mutex(),
                      SimulationParameters::Instance().playerStartPosition.y);
    } catch (const myexception& error) {
        ShowMessageBox(this, QString::fromStdWString(error.what()));
    }
    emit mainWindowFocusWanted();
}

void CItemPage::ShowInformation(int row) {
    const int index = lists_[row]->currentIndex();
    if (index < 0) {
        return;
    }
    CFieldInfoDialog dialog(this);
    dialog.SetSummary(catalog_->Summaries().at(lists_[row]->itemData(index).toInt()));
    dialog.exec();
}

void CItemPage::DeleteAll() {
    std::lock_guard lock(application_->Lock());
    if (FieldItemWorld* world = application_->World()) {
        world->RemoveUserItems();
    }
}

void CItemPage::AskAndSaveScene() {
    bool accepted = false;
    const QString name = QInputDialog::getText(this, ShellText(kTextSaveScene), ShellText(kTextSceneName),
                                               QLineEdit::Normal, QString(), &accepted);
    if (accepted && !name.trimmed().isEmpty()) {
        SaveScene(name.trimmed());
    }
    emit mainWindowFocusWanted();
}

bool CItemPage::SaveScene(const QString& name) {
    FieldItemWorld* world = application_->World();
    if (world == nullptr) {
        return false;
    }
    const std::wstring path = SceneWriter::PathFor(name.toStdWString());
    std::string text;
    {
        // the items as they stand between two ticks; added again, they lose the start height
        std::lock_guard lock(application_->Lock());
        text = SceneWriter::Text(*world, {name.toStdWString(), SceneWriter::UserName(), SceneWriter::Today()},
                                 SimulationParameters::Instance().playerStartPosition.y);
    }
    const QString shownPath = QString::fromStdWString(path);
    try {
        if (!SceneWriter::Write(path, text, false)) {
            const auto answer = QMessageBox::question(this, ShellText(kTextSaveScene),
                                                      ShellText(kTextReplaceScene).arg(shownPath));
            if (answer != QMessageBox::Yes) {
                return false;
            }
            SceneWriter::Write(path, text, true);
        }
    } catch (const myexception& error) {
        ShowMessageBox(this, QString::fromStdWString(error.what()));
        return false;
    }
    ShowMessageBox(this, ShellText(kTextSceneSaved).arg(shownPath));
    return true;
}

void CItemPage::Back() {
    application_->StepBack();
}

void CItemPage::Forward() {
    application_->StepForward();
}

void CItemPage::Pause() {
    application_->paused = true;
}

void CItemPage::Step() {
    application_->paused = true;
    application_->singleStep = true;
}

void CItemPage::Go() {
    application_->paused = false;
    application_->singleStep = false;
}
