#pragma once
// The graphics part of the application: creates the rendering device for the main
// window and releases it. The application's creation and free sequences reach the
// device only through Create, Release and the two device hooks below.

#include <memory>

#include "framework/DirectX.h"

class RenderDevice;
class RenderDeviceProvider;

struct Direct3DConfig {
    bool fullScreen = false;
    int width = 640;
    int height = 480;
    /// Used in full-screen mode only.
    int refreshRate = 0;
};

class Direct3D : public DirectX {
public:
    Direct3D();
    ~Direct3D() override;

    /// Copies the configuration, creates the device, then calls OnDeviceCreated().
    virtual void Create(const Direct3DConfig& config);
    /// Calls Release() (the application overrides it to free everything).
    void Free() override;
    /// Creates the device for the main window; throws init_error when it cannot.
    virtual void CreateDevice();
    /// OnDeviceReleasing(), then releases the device.
    virtual void Release();
    /// Called right after the device exists; empty here.
    virtual void OnDeviceCreated() {}
    /// Called before the device is released; empty here.
    virtual void OnDeviceReleasing() {}
    /// Whether a rendering device exists.
    virtual bool HasDevice() const { return device_ != nullptr; }
    /// The rendering device; null before CreateDevice, after Release and after ForgetDevice.
    RenderDevice* Device() const { return device_.get(); }
    /// The maker of the device (not owned); without one CreateDevice fails as a machine
    /// without graphics does. Set before CreateApplication.
    void SetDeviceProvider(RenderDeviceProvider* provider) { provider_ = provider; }
    /// Drops the device after a failed reset, so that nothing more is drawn.
    void ForgetDevice();

protected:
    bool fullScreen_ = false;
    int width_ = 0;
    int height_ = 0;
    int refreshRate_ = 0;

private:
    RenderDeviceProvider* provider_ = nullptr;
    std::unique_ptr<RenderDevice> device_;
};
