#pragma once
// A pair of items through the detector registry as the world step dispatches it (without
// the pair filter): the detector registered for the two kinds, the reversing adapter for
// the swapped order of a mixed pair. Fills the registry on first use.

#include <vector>

#include "collision/Collide.h"
#include "collision/CollisionRegistry.h"

/// The contacts of first against second.
inline std::vector<Contact> DetectPair(const FieldItem& first, const FieldItem& second,
                                       const CollideSettings& settings = CollideSettings()) {
    if (CollisionRegistry::Current() == nullptr) {
        RegisterCollisionDetectors();
    }
    std::vector<Contact> contacts;
    if (const CollisionDetect* detector = FindDetector(ShapeKindOf(first), ShapeKindOf(second))) {
        detector->Detect(first, second, settings, contacts);
    }
    return contacts;
}
