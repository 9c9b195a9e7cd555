#include "physics/FieldItemSky.h"

#include <algorithm>

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/DrawContext.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldSettings.h"

void FieldItemSky::Initialize(const Placement& placement) {
    FieldItem::Initialize(placement);
    const TextureMap textures = {{L"sphere.png", L"data\\sky.png"}};
    object_.Create(L"data\\sphere.x", textures);
    spinRate_ = NextSpinChange();
    UpdateWorld(nullptr, nullptr);
}

void FieldItemSky::Integrate(const TickInput* /*input*/) {
    const double timeStep = StepSettings().timeStep;
    const Quaternion turn =
        QuaternionRotationAxis(Vector3(0.0f, 1.0f, 0.0f), static_cast<float>(timeStep * spinRate_));
    orientation_ = QuaternionNormalize(QuaternionMultiply(orientation_, turn));
    spinRate_ = std::clamp(spinRate_ + NextSpinChange(), -kMaximumSpinRate, kMaximumSpinRate);
}

void FieldItemSky::Draw(DrawContext* context) {
    if (object_.Get() == nullptr || context == nullptr) {
        return;
    }
    // centred on the viewer: scaled to the draw range (inside out), turned, never translated
    const float range = static_cast<float>(SimulationParameters::Instance().drawRange);
    Matrix4 world = MatrixScaling(range, range, -range);
    world = MatrixMultiply(world, MatrixRotationQuaternion(orientation_));
    world = MatrixMultiply(world, MatrixRotationQuaternion(context->viewRotation));
    if (context->device != nullptr) {
        context->device->SetTransform(TransformState::world, world);
    }
    object_.Get()->Draw(true);
}

double FieldItemSky::NextSpinChange() {
    const long long r = static_cast<long long>(random_());
    return static_cast<double>(r % 3 - 1) * kSpinStep;
}
