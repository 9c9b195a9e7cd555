#pragma once
// The application object: starts the program in the design's order (profile file, main
// window with its log and configuration, tester application and toolbox) and adds the
// field files named on the command line. A plain class beside QApplication, which the
// caller creates first.

#include <QStringList>

#include <memory>

class CMainFrame;

class CMirelApp {
public:
    /// The private profile file, in the current directory.
    static constexpr const wchar_t* kProfileFile = L".\\Kivaro.ini";

    CMirelApp();
    /// Destroys the main window (which ends the log).
    ~CMirelApp();

    /// Starts the program; false when it cannot run (the reason was shown in a message box).
    /// fieldFiles are added after start-up as the main page's Add adds them.
    bool InitInstance(const QStringList& fieldFiles = {});

    /// Null before InitInstance.
    CMainFrame* MainFrame() const { return mainFrame_.get(); }

private:
    std::unique_ptr<CMainFrame> mainFrame_;
};
