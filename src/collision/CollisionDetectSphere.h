#pragma once
// The detectors in which a sphere meets a sphere, the land or a box. Each yields at most
// one contact, when the surfaces' separation lies within the contact tolerance.

#include "collision/CollisionDetect.h"

class CollisionDetectSphereSphere : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
    /// The same from the spheres' centres and radii.
    static void Between(const Vector3& firstPosition, double firstRadius, const Vector3& secondPosition,
                        double secondRadius, const CollideSettings& settings, std::vector<Contact>& contacts);
};

/// (sphere, land). The land is the plane y = 0; a sphere sunk to any depth still touches it.
class CollisionDetectSphereLand : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
    /// The same from the sphere's centre and radius.
    static void Between(const Vector3& position, double radius, const CollideSettings& settings,
                        std::vector<Contact>& contacts);
};

/// (sphere, box).
class CollisionDetectSphereBox : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};
