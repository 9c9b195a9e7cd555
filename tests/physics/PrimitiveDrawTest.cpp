#include "physics/PrimitiveDraw.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemSphere.h"
#include "physics/support/RecordingDevice.h"

namespace {

/// Objects that write their draws into the log, with or without their own materials.
class RecordingFactory : public D3DObjectFactory {
public:
    explicit RecordingFactory(DrawLog& log) : log_(log) {}
    std::unique_ptr<D3DModel> NewModel() override { return std::make_unique<D3DModel>(); }
    std::unique_ptr<D3DTexture> NewTexture() override { return std::make_unique<D3DTexture>(); }
    std::unique_ptr<D3DMaterial> NewMaterial() override { return std::make_unique<D3DMaterial>(); }
    std::unique_ptr<D3DFont> NewFont() override { return std::make_unique<D3DFont>(); }
    std::unique_ptr<D3DObject> NewObject(D3DObjectManager& manager) override {
        return std::make_unique<RecordingObject>(manager, log_);
    }

private:
    class RecordingObject : public D3DObject {
    public:
        RecordingObject(D3DObjectManager& manager, DrawLog& log) : D3DObject(manager), log_(log) {}
        void Draw(bool useMaterials) override {
            log_.calls.push_back(useMaterials ? "object" : "object without materials");
            D3DObject::Draw(useMaterials);
        }

    private:
        DrawLog& log_;
    };

    DrawLog& log_;
};

} // namespace

TEST(PrimitiveDraw, BodyThenShadowFlattenedInTheShadowMaterialWithStencilAndBlending) {
    DrawLog log;
    D3DObjectManager::Instance().SetFactory(std::make_unique<RecordingFactory>(log));
    FieldItemSphere sphere;
    FieldItemSphere::Record record;
    record.position = Vector3(1.0f, 2.0f, 3.0f);
    record.r = 0.5;
    sphere.Initialize(record);

    RecordingDevice device(log);
    const Matrix4 flatten = MatrixScaling(1.0f, 0.0f, 1.0f);
    MaterialRecord shadowMaterial;
    shadowMaterial.diffuse = ColorValue{0.0f, 0.0f, 0.0f, 0.5f};
    DrawContext context;
    context.device = &device;
    context.zoomFactor = 2.0;
    context.shadowMatrix = &flatten;
    context.shadowMaterial = &shadowMaterial;
    sphere.Draw(&context);

    const std::vector<std::string> expected = {
        "world",          "object",    "world",   "material",
        "texture 0 none", "stencil 1", "blend 1", "object without materials",
        "stencil 0",      "blend 0"};
    EXPECT_EQ(log.calls, expected);
    // the body in its own world matrix, the shadow in the flattened one, at the context's zoom
    Matrix4 world;
    Matrix4 shadow;
    sphere.DrawMatrices(world, shadow, &context, 0.5f, 0.5f, 0.5f);
    ASSERT_EQ(log.worldTransforms.size(), 2u);
    EXPECT_EQ(log.worldTransforms[0], world);
    EXPECT_EQ(log.worldTransforms[1], shadow);
    EXPECT_EQ(shadow._42, 0.0f);
    EXPECT_EQ(world._41, 2.0f);
    ASSERT_EQ(log.materials.size(), 1u);
    EXPECT_EQ(log.materials[0].diffuse.a, 0.5f);

    // without a device the object still draws body and shadow, and nothing else happens
    log.calls.clear();
    context.device = nullptr;
    sphere.Draw(&context);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"object", "object without materials"}));
    EXPECT_EQ(sphere.Object()->DrawCount(), 4u);
    D3DObjectManager::Destroy();
}
