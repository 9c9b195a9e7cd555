#include "render/GlDeviceProvider.h"

#include "framework/Direct3D.h"
#include "render/GlDevice.h"

std::unique_ptr<RenderDevice> GlDeviceProvider::CreateDevice(const Direct3DConfig& config) {
    return GlDevice::Create(window_, config);
}

QSurfaceFormat GlDeviceProvider::SurfaceFormat() {
    return GlDevice::SurfaceFormat();
}
