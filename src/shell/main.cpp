// The desktop program Kivaro: the Qt application, the working folder, then the design's
// start-up; the arguments are field definition files to add once the program runs.

#include <pthread.h>

#include <QApplication>
#include <QPointer>

#include <csignal>
#include <thread>

#include "common/LogWriter.h"
#include "common/WideText.h"
#include "common/WorkingFolder.h"
#include "common/myexception.h"
#include "shell/CMainFrame.h"
#include "shell/CMirelApp.h"
#include "shell/CToolboxSheet.h"
#include "shell/ShellText.h"

namespace {

/// The termination requests a desktop session sends its programs.
sigset_t TerminationSignals() {
    sigset_t requests;
    sigemptyset(&requests);
    sigaddset(&requests, SIGTERM);
    sigaddset(&requests, SIGINT);
    sigaddset(&requests, SIGHUP);
    return requests;
}

/// A termination request closes the main window as the user closes it, so that the settings
/// are stored. Called before any other thread exists: every thread inherits the blocked
/// requests, and only the waiting thread receives them.
void CloseOnTermination(QPointer<CMainFrame>* mainFrame) {
    const sigset_t requests = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &requests, nullptr);
    std::thread([requests, mainFrame] {
        for (;;) {
            int received = 0;
            if (sigwait(&requests, &received) != 0) {
                return;
            }
            if (QCoreApplication* application = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    application,
                    [mainFrame] {
                        if (*mainFrame) {
                            (*mainFrame)->close();
                        } else {
                            QCoreApplication::quit();
                        }
                    },
                    Qt::QueuedConnection);
            }
        }
    }).detach();
}

} // namespace

int main(int argc, char* argv[]) {
    // read by the waiting thread only through queued calls on the user-interface thread
    static QPointer<CMainFrame> mainFrame;
    CloseOnTermination(&mainFrame);
    QApplication qtApplication(argc, argv);
    QStringList fieldFiles = QApplication::arguments();
    fieldFiles.removeFirst();

    // everything after this works relative to the chosen folder: settings, log, toys
    WorkingFolder::Choice folder;
    try {
        folder = WorkingFolder::Enter();
    } catch (const myexception& error) {
        ShowMessageBox(nullptr, QString::fromStdWString(error.what()));
        return 1;
    }

    CMirelApp application;
    if (!application.InitInstance(fieldFiles)) {
        return 1;
    }
    mainFrame = application.MainFrame();
    // the log's threshold lets only level 1 through; the folder in use belongs in every log
    Log(L".\\Kivaro", 30,
        (folder.kind == WorkingFolder::Kind::kUserNew ? L"working folder (made now): "
                                                      : L"working folder: ") +
            FromUtf8(folder.folder.string()),
        1);
    const int status = QApplication::exec();
    mainFrame = nullptr;
    return status;
}
