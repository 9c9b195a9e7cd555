#pragma once
// Detectors in which a ring (torus) meets the land, a sphere, another ring, a box or a
// disk. Each reduces the ring to its centre circle and its collision tube radius: a
// point lies on the ring's surface when its distance from the centre circle equals the
// tube radius. Each sees the ring first; normals point from the second item towards the
// first.

#include "collision/CollisionDetect.h"

/// One contact at the lowest point of the tube (below the centre when the ring lies flat).
class CollisionDetectTorusLand : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// One contact on the tube, on the line from the nearest centre-circle point to the sphere's centre.
class CollisionDetectTorusSphere : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// Up to two contacts: the nearest pair of centre circles searched from each ring's side.
class CollisionDetectTorusTorus : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// Contacts of the box's vertices, edges and faces with the tube.
class CollisionDetectTorusBox : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// Contacts of the disk's rims, faces and side with the tube.
class CollisionDetectTorusDisk : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};
