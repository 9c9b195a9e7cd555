#pragma once
// What the render library offers a program that loads it at run time instead of linking
// it (kivaro-sim --render, which carries no graphics library of its own): a maker of
// devices that draw without any display, the object factory of those devices, and the
// back buffer saved as an image.

#include <memory>
#include <string>

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"

class RenderModule {
public:
    /// The module's exported function, of type RenderModule* (), that gives its one module.
    static constexpr const char* kEntryName = "KivaroRenderModule";
    /// The module's file name, beside the program or in its private library folder.
    static constexpr const char* kFileName = "kivaro-render.so";

    virtual ~RenderModule() = default;

    /// Makes devices that draw into their back buffer only, on no display.
    virtual RenderDeviceProvider& DeviceProvider() = 0;
    /// The factory whose meshes, textures and fonts load and draw on those devices.
    virtual std::unique_ptr<D3DObjectFactory> NewObjectFactory() = 0;
    /// Writes the device's back buffer, as drawn so far, to a PNG file; throws file_error.
    virtual void SaveFrame(RenderDevice& device, const std::wstring& path) = 0;
};
