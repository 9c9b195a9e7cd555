#pragma once
// The render library as a module loaded at run time: drawing on no display at all,
// through Qt's "eglfs" platform with Mesa's display-less ("surfaceless") EGL, whose
// contexts EglContext makes. Built as kivaro-render.so; its one exported function,
// KivaroRenderModule, makes the GUI application and gives the module.

#include "framework/RenderModule.h"

class HeadlessRenderModule : public RenderModule, private RenderDeviceProvider {
public:
    RenderDeviceProvider& DeviceProvider() override { return *this; }
    std::unique_ptr<D3DObjectFactory> NewObjectFactory() override;
    void SaveFrame(RenderDevice& device, const std::wstring& path) override;

private:
    /// Chooses the display-less platform (unless the environment chose an EGL platform of its
    /// own, such as "device") and makes the GUI application when there is none yet; throws
    /// DirectX::init_error when EGL has no display there, before Qt would give up on it.
    void StartPlatform();
    /// An offscreen device on the display-less platform.
    std::unique_ptr<RenderDevice> CreateDevice(const Direct3DConfig& config) override;
};
