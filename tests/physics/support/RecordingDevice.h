#pragma once
// A rendering device that writes down what drawing asks of it, for the drawing tests of
// the items.

#include <string>
#include <vector>

#include "framework/RenderDevice.h"

/// Every call that drawing makes, in order, on the device and on the drawn objects.
struct DrawLog {
    std::vector<std::string> calls;
    std::vector<Matrix4> worldTransforms;
    std::vector<MaterialRecord> materials;
};

class RecordingDevice : public RenderDevice {
public:
    explicit RecordingDevice(DrawLog& log) : log_(log) {}
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void Present() override {}
    void SetViewport(const Viewport&) override {}
    void Clear(std::uint32_t, float, std::uint32_t) override {}
    void SetTransform(TransformState state, const Matrix4& matrix) override {
        log_.calls.push_back(state == TransformState::world ? "world" : "other transform");
        log_.worldTransforms.push_back(matrix);
    }
    void SetRenderState(RenderState state, std::uint32_t value) override {
        const char* name = state == RenderState::stencilEnable      ? "stencil "
                           : state == RenderState::alphaBlendEnable ? "blend "
                                                                    : "state ";
        log_.calls.push_back(name + std::to_string(value));
    }
    void SetLight(int, const LightRecord&) override {}
    void LightEnable(int, bool) override {}
    void SetMaterial(const MaterialRecord& material) override {
        log_.calls.push_back("material");
        log_.materials.push_back(material);
    }
    void SetTexture(int stage, D3DTexture* texture) override {
        log_.calls.push_back("texture " + std::to_string(stage) + (texture == nullptr ? " none" : ""));
    }
    void DrawTriangleStrip(const TileVertex*, int) override { log_.calls.push_back("strip"); }
    bool DrawText(D3DFont*, const std::wstring&, int, int, std::uint32_t) override { return true; }
    void Reset(int, int) override {}
    int Width() const override { return 640; }
    int Height() const override { return 480; }

private:
    DrawLog& log_;
};
