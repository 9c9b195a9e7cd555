#pragma once
// Makes the program's drawing device on OpenGL through Qt: on the view window the
// provider was given, or offscreen (tests, benchmarks). Install it with
// Direct3D::SetDeviceProvider before CreateApplication; it must outlive the devices it makes.

#include <QSurfaceFormat>

#include "framework/RenderDevice.h"

class QWindow;

class GlDeviceProvider : public RenderDeviceProvider {
public:
    /// window: the view window (not owned), or null for an offscreen device. A window not
    /// created yet becomes an OpenGL surface of the device's format when the device is made;
    /// one already created must be an OpenGL surface. It must outlive the devices made on it.
    explicit GlDeviceProvider(QWindow* window = nullptr) : window_(window) {}

    /// The format to give the view window before it is created (QWindow::setFormat), so that
    /// its surface matches the device's context on every driver.
    static QSurfaceFormat SurfaceFormat();

    /// Call on the user-interface thread with a QGuiApplication in place. Writes
    /// "Direct3D8 を作成成功", then "CreateDevice T&L HAL" for a hardware renderer or
    /// "CreateDevice HEL" for software rasterisation; throws DirectX::init_error otherwise.
    std::unique_ptr<RenderDevice> CreateDevice(const Direct3DConfig& config) override;

private:
    QWindow* window_;
};
