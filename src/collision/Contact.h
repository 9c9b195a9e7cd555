#pragma once
// One contact between two items, appended by a detector and resolved by the world step.

#include <cstdint>

#include "physics/Vector3.h"

class FieldItem;

struct Contact {
    /// Filled by the world step; detectors leave it unset.
    FieldItem* other = nullptr;
    std::int32_t spare = 0;
    /// Signed separation along the normal: positive apart, negative interpenetrating.
    /// Ray detectors store the distance from the ray's origin to the hit instead.
    double distance = 0.0;
    /// Contact point in world coordinates.
    Vector3 point;
    /// Unit normal in world coordinates, pointing from the second item towards the first.
    Vector3 normal;
    /// Working fields of the world step; detectors leave them unset.
    Vector3 tangent;
    double normal_speed = 0.0;
    double sliding_speed = 0.0;
};
