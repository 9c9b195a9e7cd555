#pragma once
// The graphics part of the application: creates the rendering device for the main
// window and releases it. The application's creation and free sequences reach the
// device only through Create, Release and the two device hooks below.

#include "framework/DirectX.h"

struct Direct3DConfig {
    bool fullScreen = false;
    int width = 640;
    int height = 480;
    /// Used in full-screen mode only.
    int refreshRate = 0;
};

class Direct3D : public DirectX {
public:
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
    virtual bool HasDevice() const { return false; }

protected:
    bool fullScreen_ = false;
    int width_ = 0;
    int height_ = 0;
    int refreshRate_ = 0;
};
