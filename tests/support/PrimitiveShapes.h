#pragma once
// Primitive bodies placed for detector tests, and random poses for brute-force checks.
// The bodies are built through their own initialization, so their collision cores are
// the ones the detectors see in the world.

#include <cmath>
#include <memory>
#include <numbers>
#include <random>

#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemRay.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"

namespace shapes {

/// Rotation vector of a right angle about x: lays a body's y axis horizontal, along world z.
inline Vector3 QuarterTurnX() {
    return {static_cast<float>(std::numbers::pi / 2.0), 0.0f, 0.0f};
}

template <class Item>
std::unique_ptr<Item> Place(typename Item::Record& record, const Vector3& position, const Vector3& angle) {
    record.position = position;
    record.angle = angle;
    auto item = std::make_unique<Item>();
    item->Initialize(record);
    return item;
}

/// A ring of ring radius r (tube 0.2 r).
inline std::unique_ptr<FieldItemTorus> Torus(const Vector3& position, double r, const Vector3& angle = {}) {
    FieldItemTorus::Record record;
    record.r = r;
    return Place<FieldItemTorus>(record, position, angle);
}

inline std::unique_ptr<FieldItemSphere> Sphere(const Vector3& position, double r) {
    FieldItemSphere::Record record;
    record.r = r;
    return Place<FieldItemSphere>(record, position, {});
}

inline std::unique_ptr<FieldItemBox> Box(const Vector3& position, const Vector3& size,
                                         const Vector3& angle = {}) {
    FieldItemBox::Record record;
    record.sizeX = size.x;
    record.sizeY = size.y;
    record.sizeZ = size.z;
    return Place<FieldItemBox>(record, position, angle);
}

inline std::unique_ptr<FieldItemDisk> Disk(const Vector3& position, double r, double height,
                                           const Vector3& angle = {}) {
    FieldItemDisk::Record record;
    record.r = r;
    record.height = height;
    return Place<FieldItemDisk>(record, position, angle);
}

inline std::unique_ptr<FieldItemRay> Ray(const Vector3& origin, const Vector3& direction) {
    FieldItemRay::Record record;
    record.position = origin;
    record.direction = direction;
    auto ray = std::make_unique<FieldItemRay>();
    ray->Initialize(record);
    return ray;
}

/// A uniformly random unit vector.
inline Vector3 RandomDirection(std::mt19937& random) {
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (;;) {
        Vector3 v(normal(random), normal(random), normal(random));
        if (Length(v) > 1e-3f) {
            return Normalize(v);
        }
    }
}

/// A random rotation vector (axis times angle up to half a turn).
inline Vector3 RandomAngle(std::mt19937& random) {
    std::uniform_real_distribution<float> angle(0.0f, static_cast<float>(std::numbers::pi));
    return RandomDirection(random) * angle(random);
}

/// A point given in the item's body axes, in world coordinates.
inline Vector3 ToWorldPoint(const FieldItem& item, const Vector3& local) {
    Vector3 v = local;
    item.ToWorld(v);
    return v + item.WorldPosition();
}

/// A world point in the item's body axes.
inline Vector3 ToLocalPoint(const FieldItem& item, const Vector3& world) {
    Vector3 v = world - item.WorldPosition();
    item.ToLocal(v);
    return v;
}

} // namespace shapes
