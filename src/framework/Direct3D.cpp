#include "framework/Direct3D.h"

#include "common/LogWriter.h"
#include "common/Messages.h"

namespace {
const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\Direct3D";
}

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

// the OpenGL rendering device is not part of this library yet: until it is, the
// part reports what a machine without a graphics device reports
void Direct3D::CreateDevice() {
    Log(kSource, __LINE__, L"Direct3D8 の作成に失敗", 1);
    throw init_error(CommonMessage(117) + L"[Direct3DCreate8]");
}

void Direct3D::Release() {
    OnDeviceReleasing();
}
