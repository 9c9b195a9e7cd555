#pragma once
// The tester's picture of the world on a drawing device: the fixed render states with
// the light and the planar shadows, and each pass of a frame (clear, light, projection,
// camera, the world with its shadows). The desktop program draws its frames with it,
// and kivaro-sim --render draws the last state of a run with it, so that both show the
// same picture.

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/Matrix4.h"

class FieldItemWorld;
class PlayerLocal;

class WorldPainter {
public:
    /// What a frame is drawn for: the window's size, the camera and the zoom.
    struct View {
        int width = 640;
        int height = 480;
        bool stereogram = false;
        int viewMode = 0;
        double zoomFactor = 1.0;
    };

    /// Grey 50 of the cleared background, opaque.
    static constexpr std::uint32_t kBackground = 0xFF323232;
    /// Grey 128 of the ambient light.
    static constexpr std::uint32_t kAmbient = 0xFF808080;

    /// Render states, light, shadow matrix and shadow material (the device may be null:
    /// then only the painter's own records are set).
    void SetupDeviceState(RenderDevice* device);
    /// One pass of a frame: the whole view, or one half of a stereogram (pass 0 left, 1 right).
    void DrawPass(RenderDevice& device, FieldItemWorld& world, PlayerLocal* player, const View& view,
                  int pass);

    const Matrix4& ViewMatrix() const { return view_; }
    const Matrix4& ProjectionMatrix() const { return projection_; }
    const Matrix4& ShadowMatrix() const { return shadowMatrix_; }
    const MaterialRecord& ShadowMaterial() const { return shadowMaterial_; }

private:
    Matrix4 view_;
    Matrix4 projection_;
    Matrix4 shadowMatrix_;
    MaterialRecord shadowMaterial_;
    LightRecord light_;
};
