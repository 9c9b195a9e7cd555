#include "physics/FieldItemDisk.h"

#include <cmath>
#include <numbers>

#include "framework/D3DObjectManager.h"
#include "physics/PrimitiveDraw.h"
#include "physics/PrimitiveLimits.h"
#include "physics/SimulationParameters.h"

void FieldItemDisk::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemDisk::Initialize(const Record& record) {
    Record copy = record;
    Initialize(copy);
}

void FieldItemDisk::Initialize(Record& record) {
    FieldItem::Initialize(record);

    // clamp the shape: τ + 1 mm keeps the core radius and the core height positive
    const SimulationParameters& parameters = SimulationParameters::Instance();
    tolerance_ = parameters.contactTolerance;
    const double minimumSize = tolerance_ + 0.001;
    record.r = radius_ = ClampLength(record.r, minimumSize);
    record.height = height_ = ClampLength(record.height, minimumSize);
    record.density = density_ = ClampDensity(record.density, parameters.minimumDensity);

    const TextureMap textures = {{L"disk_head.png", record.textureHead},
                                 {L"disk_tail.png", record.textureTail},
                                 {L"disk_side.png", record.textureSide}};
    object_.Create(L"data\\disk.x", textures);

    // mass and inertia of a uniform solid cylinder about its y axis
    mass_ = std::numbers::pi * radius_ * radius_ * height_ * density_;
    const double across = mass_ * height_ * height_ / 12.0 + mass_ * radius_ * radius_ / 4.0;
    inertia_ = Matrix4();
    inertia_._11 = static_cast<float>(across);
    inertia_._22 = static_cast<float>(mass_ * radius_ * radius_ / 2.0);
    inertia_._33 = static_cast<float>(across);
    inverseInertia_ = MatrixInverse(inertia_);

    // bounds of the core; the extent along y is the whole core height, which is generous
    const double coreRadius = CoreRadius();
    const double coreHeight = CoreHeight();
    boundingRadius_ = std::sqrt(coreRadius * coreRadius + coreHeight * coreHeight / 4.0);
    halfExtents_ = Vector3(static_cast<float>(coreRadius), static_cast<float>(coreHeight),
                           static_cast<float>(coreRadius));

    UpdateWorld(nullptr, nullptr);
}

void FieldItemDisk::Draw(DrawContext* context) {
    DrawPrimitive(*this, object_.Get(), context, radius_, height_, radius_);
}
