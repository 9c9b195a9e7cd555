#pragma once
// The drawing device that the world's items and the tester application draw on: the
// small fixed-function model they need (world, view and projection transforms, one
// directional light, materials, textures on stage 0, alpha blending and a stencil for
// planar shadows, text). The render library implements it on OpenGL; the simulation
// core only ever sees this interface, and draws nothing where there is none.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "physics/Matrix4.h"
#include "physics/Vector3.h"

struct Direct3DConfig;

enum class TransformState { world, view, projection };

/// Render states the program changes, with the values each takes.
enum class RenderState {
    zEnable,          ///< 0 or 1
    alphaBlendEnable, ///< 0 or 1
    stencilEnable,    ///< 0 or 1
    blendOp,          ///< BlendOp
    srcBlend,         ///< BlendFactor
    destBlend,        ///< BlendFactor
    stencilFunc,      ///< CompareFunc
    stencilFail,      ///< StencilOp
    stencilZFail,     ///< StencilOp
    stencilPass,      ///< StencilOp
    stencilRef,       ///< reference value
    ambient,          ///< global ambient colour, 0xAARRGGBB
};

enum class BlendOp : std::uint32_t { add = 1 };
enum class BlendFactor : std::uint32_t { zero = 1, one = 2, srcAlpha = 5, invSrcAlpha = 6 };
enum class CompareFunc : std::uint32_t {
    never = 1,
    less,
    equal,
    lessEqual,
    greater,
    notEqual,
    greaterEqual,
    always
};
enum class StencilOp : std::uint32_t { keep = 1, zero, replace };

struct Viewport {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

/// A directional light: the direction light travels, its diffuse and ambient colours.
struct LightRecord {
    Vector3 direction;
    ColorValue diffuse;
    ColorValue ambient;
};

/// A lit-less vertex of the land's tile quad: position, colour (0xAARRGGBB), texture u and v.
struct TileVertex {
    float x, y, z;
    std::uint32_t color;
    float u, v;
};
static_assert(sizeof(TileVertex) == 24);

/// A frame read back from the device: width x height pixels of four bytes (red, green, blue,
/// alpha 255), the top row first.
struct FrameImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

class RenderDevice {
public:
    virtual ~RenderDevice() = default;

    /// Makes the device current on the calling thread and starts a frame; false when it cannot draw.
    virtual bool BeginScene() = 0;
    virtual void EndScene() = 0;
    /// Shows the finished frame.
    virtual void Present() = 0;

    virtual void SetViewport(const Viewport& viewport) = 0;
    /// Clears colour (0xAARRGGBB), depth and stencil of the current viewport.
    virtual void Clear(std::uint32_t color, float depth, std::uint32_t stencil) = 0;
    virtual void SetTransform(TransformState state, const Matrix4& matrix) = 0;
    virtual void SetRenderState(RenderState state, std::uint32_t value) = 0;
    virtual void SetLight(int index, const LightRecord& light) = 0;
    virtual void LightEnable(int index, bool on) = 0;
    virtual void SetMaterial(const MaterialRecord& material) = 0;
    /// Null leaves the stage without a texture.
    virtual void SetTexture(int stage, D3DTexture* texture) = 0;
    /// Draws a strip of triangles in the world, view and projection transforms as they stand.
    virtual void DrawTriangleStrip(const TileVertex* vertices, int vertexCount) = 0;
    /// Draws one line of text unclipped with its top-left corner at (x, y) in window pixels; false on
    /// failure.
    virtual bool DrawText(D3DFont* font, const std::wstring& text, int x, int y, std::uint32_t color) = 0;

    /// Draws line segments (vertex pairs) in the current transforms, each vertex in its own colour,
    /// with the depth test as set. For the tools of the view; a device without them draws nothing.
    virtual void DrawLineList(const TileVertex* /*vertices*/, int /*vertexCount*/) {}
    /// Draws a strip of triangles in back-buffer pixels (x right, y down; z and u, v unused) over
    /// everything, blended by the vertices' alpha, outside the viewport's clipping.
    virtual void DrawScreenStrip(const TileVertex* /*vertices*/, int /*vertexCount*/) {}
    /// The size in pixels DrawText gives the text; false when the font cannot say.
    virtual bool TextExtent(D3DFont* /*font*/, const std::wstring& /*text*/, int& /*width*/,
                            int& /*height*/) {
        return false;
    }
    /// Reads the back buffer as drawn so far (within a scene, before Present); false when it cannot.
    virtual bool ReadBackBuffer(FrameImage& /*frame*/) { return false; }
    /// Writes a frame as a PNG file at the native path; false when it cannot.
    virtual bool WritePng(const FrameImage& /*frame*/, const std::string& /*path*/) { return false; }
    /// Gives the back buffer a new size; throws DirectX::init_error when it cannot.
    virtual void Reset(int width, int height) = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

/// The fixed states of a scene with planar shadows: depth test, alpha blending by source alpha,
/// and a stencil that lets each shadow pixel be darkened once per frame (not-equal to reference
/// 1, replace); ambient is the global ambient colour, 0xAARRGGBB.
inline void SetPlanarShadowStates(RenderDevice& device, std::uint32_t ambient) {
    device.SetRenderState(RenderState::zEnable, 1);
    device.SetRenderState(RenderState::blendOp, static_cast<std::uint32_t>(BlendOp::add));
    device.SetRenderState(RenderState::srcBlend, static_cast<std::uint32_t>(BlendFactor::srcAlpha));
    device.SetRenderState(RenderState::destBlend, static_cast<std::uint32_t>(BlendFactor::invSrcAlpha));
    device.SetRenderState(RenderState::stencilFunc, static_cast<std::uint32_t>(CompareFunc::notEqual));
    device.SetRenderState(RenderState::stencilFail, static_cast<std::uint32_t>(StencilOp::keep));
    device.SetRenderState(RenderState::stencilZFail, static_cast<std::uint32_t>(StencilOp::keep));
    device.SetRenderState(RenderState::stencilPass, static_cast<std::uint32_t>(StencilOp::replace));
    device.SetRenderState(RenderState::stencilRef, 1);
    device.SetRenderState(RenderState::ambient, ambient);
}

/// Makes the rendering device for the main window; installed by the desktop program.
class RenderDeviceProvider {
public:
    virtual ~RenderDeviceProvider() = default;
    /// Tries a hardware device first, then software rendering; writes the device's log
    /// records and throws DirectX::init_error when no device can be made.
    virtual std::unique_ptr<RenderDevice> CreateDevice(const Direct3DConfig& config) = 0;
};
