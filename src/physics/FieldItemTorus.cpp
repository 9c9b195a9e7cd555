#include "physics/FieldItemTorus.h"

#include <algorithm>
#include <numbers>

#include "framework/D3DObjectManager.h"
#include "physics/PrimitiveDraw.h"
#include "physics/PrimitiveLimits.h"
#include "physics/SimulationParameters.h"

void FieldItemTorus::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemTorus::Initialize(const Record& record) {
    Record copy = record;
    Initialize(copy);
}

void FieldItemTorus::Initialize(Record& record) {
    FieldItem::Initialize(record);

    // clamp the shape. τ + 17 mm alone would leave a tube of 0.2 R thinner than the half
    // tolerance it loses for collisions (a negative core tube), so the ring radius is also
    // raised until the core tube keeps 1 mm
    const SimulationParameters& parameters = SimulationParameters::Instance();
    tolerance_ = parameters.contactTolerance;
    const double minimumRadius = std::max(tolerance_ + 0.017, (tolerance_ / 2.0 + 0.001) / kTubeRatio);
    record.r = radius_ = ClampLength(record.r, minimumRadius);
    tubeRadius_ = kTubeRatio * radius_;
    record.density = density_ = ClampDensity(record.density, parameters.minimumDensity);

    const TextureMap textures = {{L"torus.png", record.texture}};
    object_.Create(L"data\\torus.x", textures);

    // mass and inertia of a uniform solid ring about its y axis
    const double ring = radius_;
    const double tube = tubeRadius_;
    mass_ = 2.0 * std::numbers::pi * std::numbers::pi * ring * tube * tube * density_;
    const double across = mass_ * (4.0 * tube * tube + 5.0 * ring * ring) / 8.0;
    inertia_ = Matrix4();
    inertia_._11 = static_cast<float>(across);
    inertia_._22 = static_cast<float>(mass_ * (0.75 * ring * ring + tube * tube));
    inertia_._33 = static_cast<float>(across);
    inverseInertia_ = MatrixInverse(inertia_);

    // bounds of the core: the centre circle widened by the core tube
    const double coreTube = CoreTubeRadius();
    boundingRadius_ = ring + coreTube;
    halfExtents_ = Vector3(static_cast<float>(ring + coreTube), static_cast<float>(coreTube),
                           static_cast<float>(ring + coreTube));

    UpdateWorld(nullptr, nullptr);
}

void FieldItemTorus::Draw(DrawContext* context) {
    DrawPrimitive(*this, object_.Get(), context, radius_, radius_, radius_);
}
