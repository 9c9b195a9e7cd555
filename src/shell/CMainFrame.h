#pragma once
// The main window: owns the log, the tester application and the toolbox; its client
// area, fixed at the configured screen size, is the view the world is drawn in. It is
// the framework's link to the window (close, resize, messages, status texts, the version
// dialog). Field definition files dropped on it are added as the main page's Add adds them.
// Built on QMainWindow.

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

#include "framework/MainWindowLink.h"
#include "shell/CMirelDoc.h"

class CMirelView;
class QMimeData;
class CToolboxSheet;
class LogWriterFile;
class MirelApplication;
class RenderDeviceProvider;

class CMainFrame : public QMainWindow, public MainWindowLink {
    Q_OBJECT
public:
    /// The log file, deleted and opened anew at every start.
    static constexpr const wchar_t* kLogFile = L"Kivaro.log";

    /// Opens the log (threshold 1, with its start line), loads the configuration and makes
    /// the window: fixed client area of the configured screen size at the configured place.
    CMainFrame();
    /// Destroys the toolbox, the configuration and the simulation parameters, then ends the log.
    ~CMainFrame() override;

    /// Creates and starts the tester application, then the toolbox, and fills the toolbox's
    /// lists. Throws the myexception of a failure.
    void CreateTesterAndToolbox();
    /// Activates the window and gives the view the keyboard.
    void FocusView();
    /// The local field definition files (extension "wtf") among dropped data, in their order.
    static QStringList DroppedFieldFiles(const QMimeData* data);

    // the framework's requests
    void RequestClose() override;
    bool ReadKeyboardSetting(const std::wstring& name, std::wstring& value) override;
    void ResizeClient(int width, int height) override;
    void ShowMessage(const std::wstring& text) override;
    /// Shows the text in the window's title for a few seconds.
    void ShowStatus(const std::wstring& text) override;
    void ShowVersion() override;

    MirelApplication* Application() const { return application_.get(); }
    CToolboxSheet* Toolbox() const { return toolbox_; }
    CMirelView* View() const { return view_; }
    QWidget* ViewContainer() const { return viewContainer_; }
    CMirelDoc& Document() { return document_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    /// Runs on the user-interface thread: at once when called there, queued otherwise.
    void OnUiThread(std::function<void()> work);

    std::unique_ptr<LogWriterFile> log_;
    CMirelDoc document_;
    CMirelView* view_ = nullptr;
    QWidget* viewContainer_ = nullptr;
    std::unique_ptr<RenderDeviceProvider> renderProvider_;
    /// Null until it is created and after it was destroyed at closing.
    std::unique_ptr<MirelApplication> application_;
    // a child window of this one, destroyed first by the destructor
    QPointer<CToolboxSheet> toolbox_;
    bool active_ = false;
};
