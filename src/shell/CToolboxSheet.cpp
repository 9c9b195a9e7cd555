#include "shell/CToolboxSheet.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/CConstPage.h"
#include "shell/CDisplayPage.h"
#include "shell/CHowtoPage.h"
#include "shell/CItemPage.h"
#include "shell/ShellText.h"
#include "tester/MirelConfig.h"

CToolboxSheet::CToolboxSheet(MirelApplication* application, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(ShellText(kTextToolbox));
    tabs_ = new QTabWidget(this);
    itemPage_ = new CItemPage(tabs_);
    displayPage_ = new CDisplayPage(tabs_);
    constPage_ = new CConstPage(tabs_);
    howtoPage_ = new CHowtoPage(tabs_);
    tabs_->addTab(itemPage_, ShellText(kTextPageMain));
    tabs_->addTab(displayPage_, ShellText(kTextPageView));
    tabs_->addTab(constPage_, ShellText(kTextPageConstant));
    tabs_->addTab(howtoPage_, ShellText(kTextPageHowto));
    itemPage_->SetApplication(application);
    displayPage_->SetApplication(application);
    constPage_->SetApplication(application);
    howtoPage_->SetApplication(application);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(tabs_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CToolboxSheet::~CToolboxSheet() = default;

void CToolboxSheet::Create() {
    itemPage_->Initialize();
    displayPage_->Initialize();
    constPage_->Initialize();
    howtoPage_->Initialize();
    const MirelConfig& config = MirelConfig::Instance();
    move(config.toolboxX, config.toolboxY);
    show();
}

void CToolboxSheet::StoreSettings() {
    MirelConfig& config = MirelConfig::Instance();
    config.toolboxX = pos().x();
    config.toolboxY = pos().y();
    itemPage_->StoreSettings();
    displayPage_->StoreSettings();
    constPage_->StoreSettings();
    howtoPage_->StoreSettings();
}

void CToolboxSheet::Update() {
    itemPage_->Update();
}
