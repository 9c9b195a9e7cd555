#pragma once
// The detectors in which a disk (a solid flat cylinder such as a coin) meets the land, a
// sphere, another disk or a box. A disk has two flat faces, two rim circles and its side;
// the detectors test the features that can meet. Each sees the disk first; normals point
// from the second item towards the first.

#include "collision/CollisionDetect.h"
#include "physics/Vector3.h"

class FieldItemDisk;

/// A disk's collision core in world coordinates.
struct DiskShape {
    Vector3 centre;
    /// Half the collision thickness along the disk's axis (its body y axis), world orientation.
    Vector3 halfAxis;
    /// The unit axis.
    Vector3 axis;
    double radius = 0.0;
    double thickness = 0.0;
};

DiskShape MakeDiskShape(const FieldItemDisk& disk);

/// One contact at the lowest point: the centre of the lower face when the disk lies flat,
/// the lowest rim point otherwise. A disk sunk to any depth still touches the land.
class CollisionDetectDiskLand : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// At most one contact, on the sphere's surface towards the nearest point of the solid disk.
class CollisionDetectDiskSphere : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// Rim against rim, rim against face, side against side and rim against side; may append
/// several contacts.
class CollisionDetectDiskDisk : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
};

/// The box's vertices, edges and faces against the disk; may append several contacts.
class CollisionDetectDiskBox : public CollisionDetect {
public:
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override;
    /// One box vertex (world coordinates) against the disk: over a face, beside the side
    /// between the face planes, or beyond the rim; the normal points from the box towards the disk.
    virtual void DetectVertex(const DiskShape& disk, const Vector3& vertex, double tolerance,
                              std::vector<Contact>& contacts) const;
};
