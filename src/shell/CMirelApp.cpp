#include "shell/CMirelApp.h"

#include "common/ApplicationConfigMFC.h"
#include "common/myexception.h"
#include "shell/CItemPage.h"
#include "shell/CMainFrame.h"
#include "shell/CToolboxSheet.h"
#include "shell/ShellText.h"

CMirelApp::CMirelApp() = default;

CMirelApp::~CMirelApp() = default;

bool CMirelApp::InitInstance(const QStringList& fieldFiles) {
    ApplicationConfigMFC::SetProfileFile(kProfileFile);

    // the main window opens the log and loads the configuration; its native windows exist
    // before the tester application makes its drawing device on the view
    mainFrame_ = std::make_unique<CMainFrame>();
    mainFrame_->winId();

    try {
        mainFrame_->CreateTesterAndToolbox();
    } catch (const myexception& error) {
        ShowMessageBox(nullptr, QString::fromStdWString(error.what()));
        return false;
    }

    mainFrame_->show();
    mainFrame_->FocusView();
    for (const QString& file : fieldFiles) {
        mainFrame_->Toolbox()->ItemPage()->AddFile(file.toStdWString());
    }
    return true;
}
