#include "render/HeadlessRenderModule.h"

#include <EGL/egl.h>

#include <cstdlib>

#include <QGuiApplication>
#include <QImage>

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "framework/DirectX.h"
#include "render/GlDevice.h"
#include "render/GlObjectFactory.h"

namespace {

constexpr const wchar_t* kSource = L".\\HeadlessRenderModule";

/// Qt's own remarks (no runtime folder, a software rasteriser) go to the log as details,
/// not to the program's standard error, which carries its own messages only.
void LogQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    Log(kSource, __LINE__, L"Qt: " + message.toStdWString(), type == QtFatalMsg ? 1 : 3);
}

} // namespace

void HeadlessRenderModule::StartPlatform() {
    if (qGuiApp != nullptr) {
        return;
    }
    // eglfs reads no screen when its frame buffer device is a null device, takes no input,
    // and asks EGL for its default display, which Mesa makes display-less on request
    setenv("QT_QPA_PLATFORM", "eglfs", 1);
    setenv("QT_QPA_EGLFS_INTEGRATION", "none", 1);
    setenv("QT_QPA_EGLFS_FB", "/dev/null", 1);
    setenv("QT_QPA_EGLFS_DISABLE_INPUT", "1", 1);
    setenv("EGL_PLATFORM", "surfaceless", 0);

    // Qt ends the process when EGL has no display: asked here first, it is an error to report
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        const std::wstring call =
            L"eglInitialize(EGL_PLATFORM=" + FromUtf8(std::getenv("EGL_PLATFORM")) + L")";
        Log(kSource, __LINE__, call + L" に失敗", 1);
        throw DirectX::init_error(CommonMessage(117) + L"[" + call + L"]");
    }

    qInstallMessageHandler(LogQtMessage);
    static int argc = 1;
    static char name[] = "kivaro-sim";
    static char* argv[] = {name, nullptr};
    // made once and kept: Qt's platform must outlive every device
    new QGuiApplication(argc, argv);
}

std::unique_ptr<RenderDevice> HeadlessRenderModule::CreateDevice(const Direct3DConfig& config) {
    StartPlatform();
    return GlDevice::Create(nullptr, config);
}

std::unique_ptr<D3DObjectFactory> HeadlessRenderModule::NewObjectFactory() {
    return std::make_unique<GlObjectFactory>();
}

void HeadlessRenderModule::SaveFrame(RenderDevice& device, const std::wstring& path) {
    auto* glDevice = dynamic_cast<GlDevice*>(&device);
    const QImage frame = glDevice != nullptr ? glDevice->ReadFrame() : QImage();
    if (frame.isNull() || !frame.save(QString::fromStdString(ToUtf8(path)), "PNG")) {
        Log(kSource, __LINE__, L"file[" + path + L"]PNG の書き込みに失敗", 1);
        throw file_error(CommonMessage(138) + L"[" + path + L"]");
    }
}

/// The module's one entry: the module, made on the first call.
extern "C" __attribute__((visibility("default"))) RenderModule* KivaroRenderModule() {
    static HeadlessRenderModule module;
    return &module;
}
