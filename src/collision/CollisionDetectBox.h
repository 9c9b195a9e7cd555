#pragma once
// The detectors in which a box meets the land or another box. The first contact is always
// the one at the deepest vertex (or on the crossing edges); a box lying on a face also gets
// a contact at each further corner within the tolerance band, so that it rests on its face
// instead of tipping onto, and balancing on, a single corner.

#include "collision/CollisionDetect.h"
#include "physics/Vector3.h"

class FieldItemBox;

/// A box's collision core in world coordinates: its centre and its three half-axis vectors
/// (the body axes scaled to half the collision sizes and turned into world orientation).
struct BoxShape {
    Vector3 centre;
    Vector3 halfAxes[3];
};

BoxShape MakeBoxShape(const FieldItemBox& box);

/// Whether the box holds the topology the detectors walk: eight vertices, six faces with their normals.
bool HasBoxTopology(const FieldItemBox& box);

/// (box, land). A contact at the lowest vertex, then one at every other vertex within the
/// tolerance band; a box sunk to any depth still touches.
class CollisionDetectBoxLand : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// Separating-axis test over the fifteen face and edge axes; contacts on the axis of least
/// interpenetration, unless some axis separates the boxes by more than the tolerance or every
/// axis shows an interpenetration of the tolerance or more. On a face axis: the deepest
/// vertex (where it lies over the face), then the corners of the touching patch (the other
/// box's facing face clipped to the face) within the band. On an edge axis: one contact on
/// the first box's edge where the second box's edge passes.
class CollisionDetectBoxBox : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};
