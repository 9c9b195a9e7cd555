#include "shell/CMainFrame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <filesystem>

#include "common/LogWriterFile.h"
#include "definition/FieldCatalog.h"
#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/SimulationParameters.h"
#include "render/GlDeviceProvider.h"
#include "render/GlObjectFactory.h"
#include "shell/CItemPage.h"
#include "shell/CMirelView.h"
#include "shell/CToolboxSheet.h"
#include "shell/CVersionDialog.h"
#include "shell/DesktopKeyboard.h"
#include "shell/ShellText.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

namespace {

constexpr const wchar_t* kSource = L".\\MainFrm";
/// How long a status text stays in the title, ms.
constexpr int kStatusMilliseconds = 4000;

} // namespace

CMainFrame::CMainFrame() {
    // the log first: everything after it may report failures
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(kLogFile), ignored);
    log_ = std::make_unique<LogWriterFile>(kLogFile);
    log_->level = 1;
    SetLogWriter(log_.get());
    Log(kSource, 52, L"----------- start -----------", 2);
    MirelConfig& config = MirelConfig::Instance();
    config.Load();

    // a fixed client area of the configured screen size; no menu, no resizing, no maximising
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(ShellText(kTextTitle));
    setWindowIcon(QIcon(QStringLiteral(":/kivaro/kivaro.png")));
    view_ = new CMirelView;
    // the drawing device is made at this size, before the container lays the view out
    view_->resize(config.ScreenWidth(), config.ScreenHeight());
    viewContainer_ = QWidget::createWindowContainer(view_, this);
    viewContainer_->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(viewContainer_);
    setFixedSize(config.ScreenWidth(), config.ScreenHeight());
    move(config.windowX, config.windowY);
    setAcceptDrops(true);
}

CMainFrame::~CMainFrame() {
    delete toolbox_;
    // a window closed without its close event (a failed start) still frees the tester first
    if (application_) {
        view_->SetInputSink(nullptr);
        application_.reset();
    }
    MirelConfig::Destroy();
    SimulationParameters::Destroy();
    Log(kSource, 68, L"----------- end -----------", 2);
    SetLogWriter(nullptr);
    log_.reset();
}

void CMainFrame::CreateTesterAndToolbox() {
    application_ = std::make_unique<MirelApplication>(nullptr, this, view_);
    renderProvider_ = std::make_unique<GlDeviceProvider>(view_);
    application_->SetDeviceProvider(renderProvider_.get());
    D3DObjectManager::Instance().SetFactory(std::make_unique<GlObjectFactory>());
    view_->SetInputSink(application_.get());
    application_->CreateApplication();

    toolbox_ = new CToolboxSheet(application_.get(), this);
    connect(toolbox_->ItemPage(), &CItemPage::mainWindowFocusWanted, this, &CMainFrame::FocusView);
    connect(view_, &CMirelView::saveSceneWanted, toolbox_->ItemPage(), &CItemPage::AskAndSaveScene);
    toolbox_->Create();
    FocusView();
    toolbox_->Update();
}

void CMainFrame::FocusView() {
    activateWindow();
    viewContainer_->setFocus();
}

void CMainFrame::OnUiThread(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void CMainFrame::RequestClose() {
    // also called by the application thread while the window closes: only ever queued
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool CMainFrame::ReadKeyboardSetting(const std::wstring& name, std::wstring& value) {
    return ReadDesktopKeyboardSetting(name, value);
}

void CMainFrame::ResizeClient(int width, int height) {
    // queued even on the user-interface thread: the caller holds the exec lock
    QMetaObject::invokeMethod(
        this, [this, width, height] { setFixedSize(width, height); }, Qt::QueuedConnection);
}

void CMainFrame::ShowMessage(const std::wstring& text) {
    OnUiThread([this, text] { ShowMessageBox(this, QString::fromStdWString(text)); });
}

void CMainFrame::ShowStatus(const std::wstring& text) {
    OnUiThread([this, text] {
        const QString title = ShellText(kTextTitle) + QStringLiteral(" - ") + QString::fromStdWString(text);
        setWindowTitle(title);
        // a later text keeps the title until its own time is up
        QTimer::singleShot(kStatusMilliseconds, this, [this, title] {
            if (windowTitle() == title) {
                setWindowTitle(ShellText(kTextTitle));
            }
        });
    });
}

QStringList CMainFrame::DroppedFieldFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && FieldCatalog::IsFieldPath(url.toLocalFile().toStdWString())) {
            files.append(url.toLocalFile());
        }
    }
    return files;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (toolbox_ && !DroppedFieldFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFieldFiles(event->mimeData());
    if (!toolbox_ || files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // each as the main page's Add: its item definitions are those the last update loaded
    for (const QString& file : files) {
        toolbox_->ItemPage()->AddFile(file.toStdWString());
    }
}

void CMainFrame::ShowVersion() {
    OnUiThread([this] {
        CVersionDialog dialog(this);
        dialog.exec();
    });
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        active_ = isActiveWindow();
        if (application_) {
            application_->WindowActivated(active_);
            if (active_) {
                application_->Acquire();
            } else {
                application_->Unacquire();
            }
        }
    }
    QMainWindow::changeEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (toolbox_) {
        toolbox_->StoreSettings();
        toolbox_->hide();
    }
    // the tester stops its thread and releases the devices before the view goes
    view_->SetInputSink(nullptr);
    application_.reset();
    MirelConfig& config = MirelConfig::Instance();
    config.windowX = pos().x();
    config.windowY = pos().y();
    config.Save();
    event->accept();
}
