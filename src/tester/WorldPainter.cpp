#include "tester/WorldPainter.h"

#include "physics/DrawContext.h"
#include "physics/FieldItemWorld.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"

namespace {

/// Shadows lie this far above the ground, so that they are drawn over it, m.
constexpr float kShadowHeight = 0.005f;

} // namespace

void WorldPainter::SetupDeviceState(RenderDevice* device) {
    // shadows: blended over what is drawn, each pixel once (the world draws them with reference 1)
    if (device != nullptr) {
        SetPlanarShadowStates(*device, kAmbient);
    }

    // one directional light; every frame turns it into the viewer's axes
    light_ = LightRecord{};
    light_.diffuse = ColorValue{0.3f, 0.3f, 0.3f, 0.0f};
    light_.ambient = ColorValue{0.3f, 0.3f, 0.3f, 0.0f};

    // flatten along the light onto the plane just above the ground: with the plane P and the
    // vector L towards the light, M = (P.L) I - P^T L
    const Vector3& direction = SimulationParameters::Instance().lightDirection;
    const float plane[4] = {0.0f, 1.0f, 0.0f, -kShadowHeight};
    const float light[4] = {-direction.x, -direction.y, -direction.z, 0.0f};
    shadowMatrix_ = MatrixShadow(light, plane);

    shadowMaterial_ = MaterialRecord{};
    shadowMaterial_.diffuse.a = 0.5f;
}

void WorldPainter::DrawPass(RenderDevice& device, FieldItemWorld& world, PlayerLocal* player,
                            const View& view, int pass) {
    const SimulationParameters& parameters = SimulationParameters::Instance();

    // the whole window, or its left or right half
    Viewport viewport;
    viewport.x = pass == 0 ? 0 : view.width / 2;
    viewport.width = view.stereogram ? view.width / 2 : view.width;
    viewport.height = view.height;
    device.SetViewport(viewport);
    device.Clear(kBackground, 1.0f, 0);

    // the light comes from a fixed direction of the world, seen from the viewer
    Vector3 lightDirection = Normalize(parameters.lightDirection);
    if (player != nullptr) {
        player->ToLocal(lightDirection);
    }
    light_.direction = lightDirection;
    device.SetLight(0, light_);
    device.LightEnable(0, true);

    float aspect = static_cast<float>(view.width) / static_cast<float>(view.height);
    if (view.stereogram) {
        aspect /= 2.0f;
    }
    projection_ = PlayerLocal::Projection(aspect);
    device.SetTransform(TransformState::projection, projection_);

    // each half of a stereogram sees from its own eye
    const float eyeShift = view.stereogram ? static_cast<float>(pass == 0 ? -parameters.stereogramEyeShift
                                                                          : parameters.stereogramEyeShift)
                                           : 0.0f;
    view_ = PlayerLocal::LookAt(PlayerLocal::CameraOf(view.viewMode, eyeShift));
    device.SetTransform(TransformState::view, view_);

    // the world as the viewer sees it: moved by the viewer's position, turned back by its orientation
    DrawContext context;
    context.device = &device;
    context.zoomFactor = view.zoomFactor;
    context.shadowMatrix = &shadowMatrix_;
    context.shadowMaterial = &shadowMaterial_;
    if (player != nullptr) {
        context.view = player->Transform();
        context.view._41 = -context.view._41;
        context.view._42 = -context.view._42;
        context.view._43 = -context.view._43;
        context.viewRotation = QuaternionInverse(player->Orientation());
    }
    world.Draw(&context);
}
