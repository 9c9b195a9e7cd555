#pragma once
// Detectors in which a ring (torus) meets the land, a sphere, another ring, a box or a
// disk. Each reduces the ring to its centre circle and its collision tube radius: a
// point lies on the ring's surface when its distance from the centre circle equals the
// tube radius. Mixed pairs accept their shapes in either order; normals always point
// from the second item towards the first.

#include "collision/CollisionDetect.h"

/// One contact at the lowest point of the tube (below the centre when the ring lies flat).
class CollisionDetectTorusLand : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};

/// One contact on the tube, on the line from the nearest centre-circle point to the sphere's centre.
class CollisionDetectTorusSphere : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};

/// Up to two contacts: the nearest pair of centre circles searched from each ring's side.
class CollisionDetectTorusTorus : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};

/// Contacts of the box's vertices, edges and faces with the tube.
class CollisionDetectTorusBox : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};

/// Contacts of the disk's rims, faces and side with the tube.
class CollisionDetectTorusDisk : public CollisionDetect {
public:
    void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) override;
};
