#pragma once
// The detectors in which a box meets the land or another box. Each yields at most one
// contact: a box resting flat is held by a single vertex contact that the world step
// settles over successive steps.

#include "collision/CollisionDetect.h"
#include "physics/Vector3.h"

class FieldItemBox;

/// A box's collision core in world coordinates: its centre and its three half-axis vectors
/// (the body axes scaled to half the collision sizes and turned into world orientation).
struct BoxShape {
    Vector3 centre;
    Vector3 halfAxes[3];
};

BoxShape MakeBoxShape(FieldItemBox& box);

/// Either order: (box, land) or (land, box). One contact at the lowest vertex; a box sunk
/// to any depth still touches the land.
class CollisionDetectBoxLand : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};

/// Separating-axis test over the fifteen face and edge axes; one contact on the axis of
/// least interpenetration, unless some axis separates the boxes by more than the tolerance
/// or every axis shows an interpenetration of the tolerance or more.
class CollisionDetectBoxBox : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};
