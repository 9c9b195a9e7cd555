#pragma once
// Detectors in which a picking ray meets a sphere, a box, a disk or a ring. A ray contact
// tells where the ray enters the shape: its point is the hit point and its distance the
// distance from the ray's origin to the hit; its normal is left zero. Every shape is
// enlarged by half the contact tolerance beyond its collision core so that thin shapes
// are easy to hit. Only surfaces ahead of the origin that the ray enters count: a shape
// behind the origin, or one that contains it, is not hit.

#include "collision/CollisionDetect.h"

class CollisionDetectRaySphere : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// One contact per face turned towards the ray whose plane the ray meets within the face.
class CollisionDetectRayBox : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// The face turned towards the ray and the cylindrical side, the nearer hit first.
class CollisionDetectRayDisk : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// The nearest entry into the tube, from the quartic of the line meeting the ring's surface.
class CollisionDetectRayTorus : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};
