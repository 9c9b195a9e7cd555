#include "framework/Direct3D.h"

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "framework/RenderDevice.h"

namespace {
const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\Direct3D";
}

Direct3D::Direct3D() = default;

Direct3D::~Direct3D() = default;

void Direct3D::Create(const Direct3DConfig& config) {
    fullScreen_ = config.fullScreen;
    width_ = config.width;
    height_ = config.height;
    refreshRate_ = config.refreshRate;
    CreateDevice();
    OnDeviceCreated();
}

void Direct3D::Free() {
    Release();
}

// the device comes from the provider the program installed (the render library's
// OpenGL device); without one the part reports what a machine without graphics reports
void Direct3D::CreateDevice() {
    if (provider_ != nullptr) {
        const Direct3DConfig config{fullScreen_, width_, height_, refreshRate_};
        device_ = provider_->CreateDevice(config);
        return;
    }
    Log(kSource, __LINE__, L"Direct3D8 の作成に失敗", 1);
    throw init_error(CommonMessage(117) + L"[Direct3DCreate8]");
}

void Direct3D::Release() {
    OnDeviceReleasing();
    device_.reset();
}

void Direct3D::ForgetDevice() {
    device_.reset();
}
