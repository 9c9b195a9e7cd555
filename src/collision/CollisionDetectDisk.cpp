// Disk against land, sphere, disk and box.

#include "collision/CollisionDetectDisk.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "collision/CollisionDetectBox.h"
#include "collision/CollisionGeometry.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"

namespace {

void Append(std::vector<Contact>& contacts, const Vector3& point, double distance, const Vector3& normal) {
    Contact contact;
    contact.point = point;
    contact.distance = distance;
    contact.normal = normal;
    contacts.push_back(contact);
}

bool WithinTolerance(double distance, double tolerance) {
    return -tolerance <= distance && distance <= tolerance;
}

/// The rim circle of the disk's face on the given side of its centre (+1 or -1).
Circle Rim(const DiskShape& disk, float side) {
    return {disk.centre + disk.halfAxis * side, disk.axis, disk.radius};
}

/// Whether the nearest pair of two rims (result: point on rim A, normal from rim B towards
/// rim A) leaves each disk outwards: the direction from B's point to A's point points out
/// of B's face or out of B's side there, and the opposite direction out of A's.
bool RimsLookAtEachOther(const Contact& result, const Vector3& faceCentreA, const Vector3& normalA,
                         const Vector3& faceCentreB, const Vector3& normalB) {
    // a slack for the pairs of crossing rims, whose joining line lies exactly in a side surface
    constexpr float kSlack = 1e-3f;
    const Vector3 pointA = result.point;
    const Vector3 pointB = pointA - result.normal * static_cast<float>(result.distance);
    const Vector3& towardsA = result.normal;
    const Vector3 outwardB = Normalize(pointB - faceCentreB);
    const Vector3 outwardA = Normalize(pointA - faceCentreA);
    const bool leavesB = Dot(towardsA, normalB) > kSlack || Dot(towardsA, outwardB) > kSlack;
    const bool leavesA = -Dot(towardsA, normalA) > kSlack || -Dot(towardsA, outwardA) > kSlack;
    return leavesA && leavesB;
}

/// Whether p lies within the disk's collision core: strictly between its face planes and
/// within its radius, a little slack included so that a point on the side surface counts.
bool WithinCore(const DiskShape& disk, const Vector3& p) {
    // slack of the radius, m: rounding puts a rim on another disk's side either way
    constexpr double kSideSlack = 1e-5;
    const Vector3 offset = p - disk.centre;
    const double height = Dot(offset, disk.axis);
    const double rhoSquared = static_cast<double>(Dot(offset, offset)) - height * height;
    const double reach = disk.radius + kSideSlack;
    return std::fabs(height) < disk.thickness / 2.0 && rhoSquared <= reach * reach;
}

/// A nearest pair of a rim and another feature (point on the first feature, normal from the
/// second towards the first) measures no more than the gap between two curves: once the
/// features have crossed, one end lies inside the other shape and the pair is an overlap.
/// Then the distance is negated and the normal turned, so that it parts the shapes.
void SignCrossedPair(Contact& pair) {
    pair.distance = -pair.distance;
    pair.normal = -pair.normal;
}

} // namespace

DiskShape MakeDiskShape(const FieldItemDisk& disk) {
    DiskShape shape;
    shape.centre = disk.WorldTransform().Translation();
    shape.radius = disk.CoreRadius();
    shape.thickness = disk.CoreHeight();
    shape.halfAxis = Vector3(0.0f, static_cast<float>(shape.thickness / 2.0), 0.0f);
    disk.ToWorld(shape.halfAxis);
    shape.axis = Normalize(shape.halfAxis);
    return shape;
}

void CollisionDetectDiskLand::Detect(const FieldItem& first, const FieldItem& /*land*/,
                                     const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* diskItem = dynamic_cast<const FieldItemDisk*>(&first);
    if (diskItem == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const DiskShape disk = MakeDiskShape(*diskItem);

    // a disk whose position is no longer finite touches nothing
    if (!std::isfinite(disk.centre.x) || !std::isfinite(disk.centre.y) || !std::isfinite(disk.centre.z)) {
        return;
    }

    // the lower face, then its rim point that points most steeply downwards (the face centre
    // when the disk lies flat)
    const Vector3 down = disk.halfAxis.y > 0.0f ? -disk.halfAxis : disk.halfAxis;
    const Vector3 lowest =
        CirclePointDeepestTowards(disk.centre + down, disk.axis, disk.radius, Vector3(0.0f, 1.0f, 0.0f));

    // no lower bound: a sunk disk is pushed out from any depth
    const double height = lowest.y;
    if (!(height <= tolerance)) {
        return;
    }
    Append(contacts, lowest, height, Vector3(0.0f, 1.0f, 0.0f));
}

void CollisionDetectDiskSphere::Detect(const FieldItem& first, const FieldItem& sphere,
                                       const CollideSettings& settings,
                                       std::vector<Contact>& contacts) const {
    const auto* diskItem = dynamic_cast<const FieldItemDisk*>(&first);
    if (diskItem == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const double radius = sphere.BoundingRadius();
    const double diskRadius = diskItem->CoreRadius();
    const double halfThickness = diskItem->CoreHeight() / 2.0;
    const Vector3 centre = diskItem->WorldTransform().Translation();
    const Vector3 spherePosition = sphere.WorldTransform().Translation();

    // the sphere's centre in the disk's axes, rejected when out of reach along and across the axis
    Vector3 local = spherePosition - centre;
    diskItem->ToLocal(local);
    if (!(std::fabs(local.y) <= static_cast<float>(halfThickness + radius + tolerance))) {
        return;
    }
    const float rhoSquared = local.x * local.x + local.z * local.z;
    const float reach = static_cast<float>(radius + diskRadius + tolerance);
    if (!(rhoSquared <= reach * reach)) {
        return;
    }

    // the nearest point of the solid cylinder, back in world coordinates
    const float halfT = static_cast<float>(halfThickness);
    const float diskR = static_cast<float>(diskRadius);
    if (std::fabs(local.y) <= halfT && rhoSquared <= diskR * diskR) {
        // the sphere's centre has sunk into the core, where the nearest point is the centre
        // itself and gives no direction: push it out through the nearest surface
        const float rho = std::sqrt(rhoSquared);
        const float faceDepth = halfT - std::fabs(local.y);
        const float sideDepth = diskR - rho;
        Vector3 outward;
        float depth;
        if (faceDepth <= sideDepth || rho == 0.0f) {
            outward = Vector3(0.0f, local.y >= 0.0f ? 1.0f : -1.0f, 0.0f);
            depth = faceDepth;
        } else {
            outward = Vector3(local.x / rho, 0.0f, local.z / rho);
            depth = sideDepth;
        }
        diskItem->ToWorld(outward);
        const double gap = -(static_cast<double>(depth) + radius);
        if (WithinTolerance(gap, tolerance)) {
            // from the sphere into the disk, against the way out
            const Vector3 normal = -Normalize(outward);
            Append(contacts, spherePosition + normal * static_cast<float>(radius), gap, normal);
        }
        return;
    }
    Vector3 nearest(local.x, std::clamp(local.y, -halfT, halfT), local.z);
    if (diskR * diskR < rhoSquared) {
        const float scale = diskR / std::sqrt(rhoSquared);
        nearest.x *= scale;
        nearest.z *= scale;
    }
    diskItem->ToWorld(nearest);
    nearest += centre;

    const Vector3 towardsDisk = nearest - spherePosition;
    const double gap = static_cast<double>(std::sqrt(Dot(towardsDisk, towardsDisk))) - radius;
    if (!WithinTolerance(gap, tolerance)) {
        return;
    }
    const Vector3 normal = Normalize(towardsDisk);
    Append(contacts, spherePosition + normal * static_cast<float>(radius), gap, normal);
}

void CollisionDetectDiskDisk::Detect(const FieldItem& first, const FieldItem& second,
                                     const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* firstDisk = dynamic_cast<const FieldItemDisk*>(&first);
    const auto* secondDisk = dynamic_cast<const FieldItemDisk*>(&second);
    if (firstDisk == nullptr || secondDisk == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const DiskShape a = MakeDiskShape(*firstDisk);
    const DiskShape b = MakeDiskShape(*secondDisk);
    const Vector3 axisStartA = a.centre - a.halfAxis, axisA = a.halfAxis * 2.0f;
    const Vector3 axisStartB = b.centre - b.halfAxis, axisB = b.halfAxis * 2.0f;

    // rejection: every point of a disk lies within its radius of its axis segment
    Contact result;
    ClosestPointsOfSegments(axisStartA, axisA, axisStartB, axisB, true, result);
    if (!(result.distance - (a.radius + b.radius) <= tolerance)) {
        return;
    }

    // side against side: the axes' nearest pair within both segments, one radius each from the
    // sides; appended after the face pairs
    Contact side;
    double sideGap = 0.0;
    bool sidesTouch = false;
    if (ClosestPointsOfSegments(axisStartA, axisA, axisStartB, axisB, false, side)) {
        sideGap = side.distance - a.radius - b.radius;
        sidesTouch = WithinTolerance(sideGap, tolerance);
    }

    // of the four face pairs, two have their faces turned the same way
    Contact alignedRims[2];
    int alignedRimCount = 0;

    // face pairs: the rims of every pair, the rims against the faces where the outward normals
    // do not point the same way. Two coins knocking rims at an angle meet with their faces
    // turned the same way as often as not; such a rim pair counts where each rim point looks
    // out of the other disk (not where, as for two thin coins stacked, the line between the
    // rims runs through a disk)
    for (float sideA : {1.0f, -1.0f}) {
        const Vector3 faceCentreA = a.centre + a.halfAxis * sideA;
        const Vector3 normalA = a.axis * sideA;
        for (float sideB : {1.0f, -1.0f}) {
            const Vector3 faceCentreB = b.centre + b.halfAxis * sideB;
            const Vector3 normalB = b.axis * sideB;
            const bool facing = Dot(normalA, normalB) <= 0.0f;
            // rims turned the same way are not tested where the sides touch: there they are the
            // edges of the touching sides, whose contact stands for them
            if (!facing && sidesTouch) {
                continue;
            }
            // rim against rim: point on A's rim, normal from B's rim towards A's. Rims whose
            // centres are farther apart than both radii and the band cannot touch, nor can a rim
            // B that lies wholly beyond the band on either side of A's face plane
            const double heightB = Dot(faceCentreB - faceCentreA, normalA);
            const double spreadB = b.radius * static_cast<double>(Length(Cross(normalA, b.axis)));
            if (static_cast<double>(Length(faceCentreA - faceCentreB)) - a.radius - b.radius <= tolerance &&
                heightB - spreadB <= tolerance && heightB + spreadB >= -tolerance) {
                ClosestPointsOfCircles(Rim(a, sideA), Rim(b, sideB), result);
                // crossed rims of faces turned towards each other: each point inside the other disk
                const Vector3 onB = result.point - result.normal * static_cast<float>(result.distance);
                if (facing && (WithinCore(a, onB) || WithinCore(b, result.point))) {
                    SignCrossedPair(result);
                }
                if (WithinTolerance(result.distance, tolerance)) {
                    if (facing) {
                        contacts.push_back(result);
                    } else if (RimsLookAtEachOther(result, faceCentreA, normalA, faceCentreB, normalB)) {
                        assert(alignedRimCount < 2);
                        alignedRims[alignedRimCount++] = result;
                    }
                }
            }
            if (!facing) {
                continue;
            }
            // B's rim against A's face: the normal -normalA points from B towards A. A point
            // deeper than A's thickness has passed through A: it is a far face of a thin disk
            // (thinner than the band), whose contact would pull the disks together
            const Vector3 deepestB = CirclePointDeepestTowards(faceCentreB, b.axis, b.radius, normalA);
            if (PointOverFace(deepestB, faceCentreA, normalA, a.radius, result) &&
                WithinTolerance(result.distance, tolerance) && result.distance >= -a.thickness) {
                contacts.push_back(result);
            }
            // A's rim against B's face: the normal -normalB points from A towards B, so negate it
            const Vector3 deepestA = CirclePointDeepestTowards(faceCentreA, a.axis, a.radius, normalB);
            if (PointOverFace(deepestA, faceCentreB, normalB, b.radius, result) &&
                WithinTolerance(result.distance, tolerance) && result.distance >= -b.thickness) {
                result.normal = -result.normal;
                contacts.push_back(result);
            }
        }
    }

    // the rims turned the same way, nearer first, so that both argument orders list them alike
    if (alignedRimCount == 2 && alignedRims[1].distance < alignedRims[0].distance) {
        std::swap(alignedRims[0], alignedRims[1]);
    }
    for (int i = 0; i < alignedRimCount; ++i) {
        contacts.push_back(alignedRims[i]);
    }

    // side against side (found above)
    if (sidesTouch) {
        Append(contacts, side.point - side.normal * static_cast<float>(a.radius), sideGap, side.normal);
        return;
    }

    // rim against side: the rim of B's face turned towards A against A's side; the routine's
    // normal runs from B's rim to A's axis, from second to first
    const float sideTowardsA = Dot(b.halfAxis, a.centre - b.centre) >= 0.0f ? 1.0f : -1.0f;
    if (ClosestPointsOfSegmentAndCircle(axisStartA, a.centre + a.halfAxis, Rim(b, sideTowardsA), result,
                                        a.radius + tolerance)) {
        const double gap = result.distance - a.radius;
        if (WithinTolerance(gap, tolerance)) {
            Append(contacts, result.point - result.normal * static_cast<float>(a.radius), gap, result.normal);
            return;
        }
    }
    // then A's rim against B's side; this normal runs from A's rim to B's axis, so negate it
    const float sideTowardsB = Dot(a.halfAxis, b.centre - a.centre) >= 0.0f ? 1.0f : -1.0f;
    if (ClosestPointsOfSegmentAndCircle(axisStartB, b.centre + b.halfAxis, Rim(a, sideTowardsB), result,
                                        b.radius + tolerance)) {
        const double gap = result.distance - b.radius;
        if (WithinTolerance(gap, tolerance)) {
            Append(contacts, result.point - result.normal * static_cast<float>(b.radius), gap,
                   -result.normal);
        }
    }
}

void CollisionDetectDiskBox::Detect(const FieldItem& first, const FieldItem& second,
                                    const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* diskItem = dynamic_cast<const FieldItemDisk*>(&first);
    const auto* box = dynamic_cast<const FieldItemBox*>(&second);
    if (diskItem == nullptr || box == nullptr || !HasBoxTopology(*box)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const DiskShape disk = MakeDiskShape(*diskItem);

    // the box's vertices and face normals in world coordinates, through its rotated unit axes
    const std::vector<Vector3>& localVertices = box->Vertices();
    const std::vector<FieldItemBox::Face>& faces = box->Faces();
    const std::vector<Vector3>& localNormals = box->FaceNormals();
    Vector3 unitAxes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    for (Vector3& unitAxis : unitAxes) {
        box->ToWorld(unitAxis);
    }
    auto toWorld = [&](const Vector3& local) {
        return unitAxes[0] * local.x + unitAxes[1] * local.y + unitAxes[2] * local.z;
    };
    const Vector3 boxCentre = box->WorldTransform().Translation();
    const double halfSizes[3] = {box->CoreSizeX() / 2.0, box->CoreSizeY() / 2.0, box->CoreSizeZ() / 2.0};
    auto withinBox = [&](const Vector3& p) {
        const Vector3 offset = p - boxCentre;
        for (int k = 0; k < 3; ++k) {
            if (!(std::fabs(static_cast<double>(Dot(offset, unitAxes[k]))) < halfSizes[k])) {
                return false;
            }
        }
        return true;
    };
    Vector3 vertices[8];
    for (int k = 0; k < 8; ++k) {
        vertices[k] = boxCentre + toWorld(localVertices[k]);
    }

    // vertices
    for (const Vector3& vertex : vertices) {
        DetectVertex(disk, vertex, tolerance, contacts);
    }

    // edges, once for each face they bound (so each edge's contacts appear twice), against both
    // rims and the side; the routines' normals run from the disk towards the box, so the
    // contact normal is their negative. Each edge is worked out once and its contacts kept
    // for its second face.
    const Vector3 axisStart = disk.centre - disk.halfAxis;
    const Vector3 axisDirection = disk.halfAxis * 2.0f;
    const float reach = static_cast<float>(disk.radius + tolerance);
    struct EdgeContacts {
        int count = 0;
        Contact found[3];
    };
    // a box has twelve edges; slots index them by their two vertices
    EdgeContacts edges[12];
    int edgeSlots[8][8];
    std::fill(&edgeSlots[0][0], &edgeSlots[0][0] + 64, -1);
    int usedSlots = 0;
    Contact result;
    for (const FieldItemBox::Face& face : faces) {
        for (int corner = 0; corner < 4; ++corner) {
            const int from = face[corner];
            const int to = face[(corner + 1) % 4];
            if (from < 0 || from >= 8 || to < 0 || to >= 8) {
                continue;
            }
            int& slot = edgeSlots[std::min(from, to)][std::max(from, to)];
            const bool fresh = slot < 0;
            if (fresh) {
                if (usedSlots == 12) {
                    continue;
                }
                slot = usedSlots++;
            }
            EdgeContacts& edge = edges[slot];
            if (fresh) {
                const Vector3& start = vertices[from];
                const Vector3& end = vertices[to];
                for (float side : {1.0f, -1.0f}) {
                    const Circle rim = Rim(disk, side);
                    // cheap rejections: the whole edge beyond the rim's plane, or out of the rim's reach
                    const float startHeight = Dot(start - rim.centre, rim.normal);
                    const float endHeight = Dot(end - rim.centre, rim.normal);
                    if ((startHeight > tolerance && endHeight > tolerance) ||
                        (startHeight < -tolerance && endHeight < -tolerance)) {
                        continue;
                    }
                    Contact near;
                    ClosestPointOnSegment(rim.centre, start, end, true, near);
                    if (near.distance > reach) {
                        continue;
                    }
                    if (!ClosestPointsOfSegmentAndCircle(start, end, rim, result, tolerance)) {
                        continue;
                    }
                    // an edge that has passed the rim into the disk, or a rim into the box
                    const Vector3 onRim = result.point - result.normal * static_cast<float>(result.distance);
                    if (WithinCore(disk, result.point) || withinBox(onRim)) {
                        SignCrossedPair(result);
                    }
                    if (WithinTolerance(result.distance, tolerance)) {
                        result.normal = -result.normal;
                        edge.found[edge.count++] = result;
                    }
                }
                if (ClosestPointsOfSegments(start, end - start, axisStart, axisDirection, false, result)) {
                    const double gap = result.distance - disk.radius;
                    if (WithinTolerance(gap, tolerance)) {
                        result.distance = gap;
                        result.normal = -result.normal;
                        edge.found[edge.count++] = result;
                    }
                }
            }
            for (int i = 0; i < edge.count; ++i) {
                Append(contacts, edge.found[i].point, edge.found[i].distance, edge.found[i].normal);
            }
        }
    }

    // faces: the rim point of the disk face turned towards the box face, deepest towards it
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Vector3 faceNormal = toWorld(localNormals[f]);
        const Vector3 halfAxis = Dot(disk.halfAxis, faceNormal) > 0.0f ? -disk.halfAxis : disk.halfAxis;
        const Vector3 deepest =
            CirclePointDeepestTowards(disk.centre + halfAxis, disk.axis, disk.radius, faceNormal);
        const FieldItemBox::Face& face = faces[f];
        if (PointInFacePolygon(deepest, vertices[face[0]], vertices[face[1]], vertices[face[2]],
                               vertices[face[3]], faceNormal, result) &&
            WithinTolerance(result.distance, tolerance)) {
            Append(contacts, deepest, result.distance, faceNormal);
        }
    }
}

void CollisionDetectDiskBox::DetectVertex(const DiskShape& disk, const Vector3& vertex, double tolerance,
                                          std::vector<Contact>& contacts) const {
    // the disk face towards the vertex and the vertex's height above its plane
    const Vector3 halfAxis = Dot(disk.halfAxis, vertex - disk.centre) < 0.0f ? -disk.halfAxis : disk.halfAxis;
    const Vector3 unitAxis = Normalize(halfAxis);
    const Vector3 offset = vertex - (disk.centre + halfAxis);
    const float height = Dot(unitAxis, offset);
    const float rhoSquared = Dot(offset, offset) - height * height;
    const float radius = static_cast<float>(disk.radius);

    if (rhoSquared < radius * radius) {
        // over the face: the normal points from the vertex into the disk
        if (WithinTolerance(height, tolerance)) {
            Append(contacts, vertex, height, -unitAxis);
        }
    } else if (height < 0.0f) {
        // between the face planes, beside the side surface
        const double gap = static_cast<double>(std::sqrt(std::max(rhoSquared, 0.0f))) - disk.radius;
        if (WithinTolerance(gap, tolerance)) {
            const Vector3 towardsAxis = Normalize(unitAxis * height - offset);
            Append(contacts, vertex, gap, towardsAxis);
        }
    } else {
        // above the face plane and outside the radius: the nearest point of the disk is on the
        // rim, and no edge test sees a corner there (an edge's nearest point to the rim is then
        // its end), so the corner is tested against the rim itself
        const float rho = std::sqrt(std::max(rhoSquared, 0.0f));
        const Vector3 rimPoint = disk.centre + halfAxis + (offset - unitAxis * height) * (radius / rho);
        const Vector3 towardsRim = rimPoint - vertex;
        const double gap = Length(towardsRim);
        if (WithinTolerance(gap, tolerance)) {
            Append(contacts, vertex, gap, Normalize(towardsRim));
        }
    }
}
