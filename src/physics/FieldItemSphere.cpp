#include "physics/FieldItemSphere.h"

#include <numbers>

#include "framework/D3DObjectManager.h"
#include "physics/PrimitiveDraw.h"
#include "physics/PrimitiveLimits.h"
#include "physics/SimulationParameters.h"

void FieldItemSphere::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemSphere::Initialize(const Record& record) {
    Record copy = record;
    Initialize(copy);
}

void FieldItemSphere::Initialize(Record& record) {
    FieldItem::Initialize(record);

    // clamp the shape: τ + 1 mm keeps the core radius positive
    const SimulationParameters& parameters = SimulationParameters::Instance();
    const double tolerance = parameters.contactTolerance;
    record.r = radius_ = ClampLength(record.r, tolerance + 0.001);
    record.density = density_ = ClampDensity(record.density, parameters.minimumDensity);

    const TextureMap textures = {{L"sphere.png", record.texture}};
    object_.Create(L"data\\sphere.x", textures);

    // mass and inertia of a uniform solid sphere
    mass_ = 4.0 / 3.0 * std::numbers::pi * radius_ * radius_ * radius_ * density_;
    const float inertia = static_cast<float>(0.4 * mass_ * radius_ * radius_);
    inertia_ = Matrix4();
    inertia_._11 = inertia;
    inertia_._22 = inertia;
    inertia_._33 = inertia;
    inverseInertia_ = MatrixInverse(inertia_);

    // the core radius is the bounding radius the detectors read
    boundingRadius_ = radius_ - tolerance / 2.0;
    const float core = static_cast<float>(boundingRadius_);
    halfExtents_ = Vector3(core, core, core);

    UpdateWorld(nullptr, nullptr);
}

void FieldItemSphere::Draw(DrawContext* context) {
    DrawPrimitive(*this, object_.Get(), context, radius_, radius_, radius_);
}
