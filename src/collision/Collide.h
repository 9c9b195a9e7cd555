#pragma once
// Pair dispatch: unwraps composites down to their primitives, filters pairs with a
// cheap bounding test and hands each primitive pair to its registered detector.

#include <vector>

#include "collision/CollisionRegistry.h"
#include "collision/Contact.h"
#include "physics/Vector3.h"

class FieldItem;

/// The registered shape kind of an item: decided by its class for the built-in
/// primitives and the land, by its type name for anything else.
ShapeKind ShapeKindOf(const FieldItem& item);

/// The geometric half of the pair filter on plain values, in two stages: the bounding boxes,
/// widened by the tolerance, overlap on every axis; then the centres lie within the sum of the
/// bounding radii and the tolerance. offset is the first position minus the second. Computed
/// as the filter computes it, so a caller holding the bounds in flat arrays gets the filter's
/// own answer; a NaN anywhere rejects.
inline bool BoundingBoxesOverlap(const Vector3& offset, const Vector3& firstExtent,
                                 const Vector3& secondExtent, double tolerance) {
    const float widening = static_cast<float>(tolerance);
    const float limitX = firstExtent.x + secondExtent.x + widening;
    const float limitY = firstExtent.y + secondExtent.y + widening;
    const float limitZ = firstExtent.z + secondExtent.z + widening;
    return -limitX <= offset.x && offset.x <= limitX && -limitY <= offset.y && offset.y <= limitY &&
           -limitZ <= offset.z && offset.z <= limitZ;
}

inline bool BoundingSpheresOverlap(const Vector3& offset, double firstRadius, double secondRadius,
                                   double tolerance) {
    const double reach = firstRadius + secondRadius + tolerance;
    return static_cast<double>(Dot(offset, offset)) <= reach * reach;
}

/// The bounding test that a pair must pass before any detector runs (single precision),
/// widened by the settings' contact tolerance. Pairs with the land or a ray always pass;
/// deleted items pass nothing else.
bool PairFilterAccepts(const FieldItem& first, const FieldItem& second, const CollideSettings& settings);
/// The same for items whose kinds (ShapeKindOf) the caller already knows.
bool PairFilterAccepts(const FieldItem& first, ShapeKind firstKind, const FieldItem& second,
                       ShapeKind secondKind, const CollideSettings& settings);

/// Appends the contacts of first against second. Normals point from second towards first.
/// Called from several worker threads at once; reads the registry only.
void Collide(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
             std::vector<Contact>& contacts);
/// The same with the built-in settings, for callers outside a step (picking).
inline void Collide(const FieldItem& first, const FieldItem& second, std::vector<Contact>& contacts) {
    Collide(first, second, CollideSettings(), contacts);
}
