#include "collision/CollisionDetectTorus.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>

#include "collision/CollisionDetectBox.h"
#include "collision/CollisionGeometry.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"

namespace {

/// A ring in world coordinates: its centre circle and its collision tube radius.
struct Ring {
    Circle circle;
    double tube = 0.0;
};

Ring RingOf(const FieldItemTorus& torus) {
    Vector3 axis(0.0f, 1.0f, 0.0f);
    torus.ToWorld(axis);
    Ring ring;
    ring.circle.centre = torus.WorldPosition();
    ring.circle.normal = Normalize(axis);
    ring.circle.radius = torus.Radius();
    ring.tube = torus.CoreTubeRadius();
    return ring;
}

/// The ring and the other shape of the pair (ring first, as the registry hands it).
template <class Other>
bool FindShapes(const FieldItem& first, const FieldItem& second, const FieldItemTorus*& torus,
                const Other*& other) {
    torus = dynamic_cast<const FieldItemTorus*>(&first);
    other = dynamic_cast<const Other*>(&second);
    // the registry hands each detector only its own pair of shapes
    assert(torus != nullptr && other != nullptr);
    return torus != nullptr && other != nullptr;
}

/// Whether a separation counts as touching; NaN never does.
bool WithinBand(double gap, double tolerance) {
    return gap >= -tolerance && gap <= tolerance;
}

bool IsZero(const Vector3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// Appends a contact unless its normal is zero (coinciding features give no direction in
/// which the bodies could be pushed apart) or anything in it is not finite (an item lost to
/// NaN or infinity must not spread it to what it touches).
void Append(std::vector<Contact>& contacts, double distance, const Vector3& point, const Vector3& normal) {
    if (IsZero(normal) || !std::isfinite(distance) || !IsFinite(point) || !IsFinite(normal)) {
        return;
    }
    Contact& contact = contacts.emplace_back();
    contact.distance = distance;
    contact.point = point;
    contact.normal = normal;
}

Vector3 WorldPoint(const FieldItem& item, const Vector3& local) {
    Vector3 point = local;
    item.ToWorld(point);
    return point + item.WorldPosition();
}

/// A lower bound of the distance between the segment a-b and the circle, cheap enough to
/// skip the iterative search for edges that are plainly too far away.
double SegmentCircleLowerBound(const Vector3& a, const Vector3& b, const Circle& circle) {
    // above or below the circle's plane on one side
    double heightA = Dot(a - circle.centre, circle.normal);
    double heightB = Dot(b - circle.centre, circle.normal);
    double bound = 0.0;
    if (heightA * heightB > 0.0) {
        bound = std::min(std::abs(heightA), std::abs(heightB));
    }
    // outside the circle's sphere: the segment's nearest point to the centre
    Vector3 along = b - a;
    double lengthSquared = Dot(along, along);
    double u =
        lengthSquared > 0.0 ? std::clamp(Dot(circle.centre - a, along) / lengthSquared, 0.0, 1.0) : 0.0;
    Vector3 nearest = a + along * static_cast<float>(u);
    bound = std::max(bound, static_cast<double>(Length(nearest - circle.centre)) - circle.radius);
    // well inside it: the segment's farthest point from the centre is an end point
    double farthest = std::max(Length(a - circle.centre), Length(b - circle.centre));
    return std::max(bound, circle.radius - farthest);
}

/// The point of the centre circle deepest towards a plane of the given outward unit normal,
/// for a face test; false when the ring does not reach over the face at all. A ring lying
/// parallel to the plane is equally deep all round and the deepest point is taken at its
/// centre, which keeps a flat ring level on a face; but the centre lies in the hole, so it
/// stands for the ring only where the ring passes over the face: the circle point nearest
/// the face's centre must lie over the face as well (isOverFace), else a ring would rest on
/// a post or a coin that fits into its hole.
template <class OverFace>
bool RingPointDeepestTowards(const Circle& circle, const Vector3& planeNormal, const Vector3& faceCentre,
                             const OverFace& isOverFace, Vector3& deepest) {
    deepest = CirclePointDeepestTowards(circle.centre, circle.normal, circle.radius, planeNormal);
    // the routine answers either the centre or a point one radius from it
    const bool parallel =
        static_cast<double>(Length(deepest - circle.centre)) < 0.5 * circle.radius || circle.radius <= 0.0;
    if (!parallel) {
        return true;
    }
    Contact nearest;
    ClosestPointOnCircle(faceCentre, circle.centre, circle.normal, circle.radius, nearest);
    return isOverFace(nearest.point);
}

} // namespace

void CollisionDetectTorusLand::Detect(const FieldItem& first, const FieldItem& second,
                                      const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const FieldItemTorus* torus = nullptr;
    const FieldItem* land = nullptr;
    if (!FindShapes(first, second, torus, land)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const Ring ring = RingOf(*torus);

    // the lowest point of the centre circle (its centre when the ring lies flat), then the tube below it
    const Vector3 up(0.0f, 1.0f, 0.0f);
    Vector3 lowest =
        CirclePointDeepestTowards(ring.circle.centre, ring.circle.normal, ring.circle.radius, up);
    double height = static_cast<double>(lowest.y) - ring.tube;
    // no lower bound: a ring sunk any depth still touches
    if (!(height <= tolerance)) {
        return;
    }
    Append(contacts, height, lowest - Vector3(0.0f, static_cast<float>(ring.tube), 0.0f), up);
}

void CollisionDetectTorusSphere::Detect(const FieldItem& first, const FieldItem& second,
                                        const CollideSettings& settings,
                                        std::vector<Contact>& contacts) const {
    const FieldItemTorus* torus = nullptr;
    const FieldItemSphere* sphere = nullptr;
    if (!FindShapes(first, second, torus, sphere)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const Ring ring = RingOf(*torus);
    const Vector3 centre = sphere->WorldPosition();

    Contact nearest;
    ClosestPointOnCircle(centre, ring.circle.centre, ring.circle.normal, ring.circle.radius, nearest);
    double gap = nearest.distance - (sphere->BoundingRadius() + ring.tube);
    if (!WithinBand(gap, tolerance)) {
        return;
    }
    // the tube's surface point facing the sphere; the normal points from the sphere into the ring
    Vector3 point = nearest.point + nearest.normal * static_cast<float>(ring.tube);
    Append(contacts, gap, point, -nearest.normal);
}

void CollisionDetectTorusTorus::Detect(const FieldItem& first, const FieldItem& second,
                                       const CollideSettings& settings,
                                       std::vector<Contact>& contacts) const {
    const FieldItemTorus* torusA = nullptr;
    const FieldItemTorus* torusB = nullptr;
    if (!FindShapes(first, second, torusA, torusB)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const Ring a = RingOf(*torusA);
    const Ring b = RingOf(*torusB);
    const double tubes = a.tube + b.tube;

    // from A's side: the point of A's tube facing B
    Contact fromA;
    ClosestPointsOfCircles(a.circle, b.circle, fromA);
    double gap = fromA.distance - tubes;
    if (WithinBand(gap, tolerance)) {
        Append(contacts, gap, fromA.point - fromA.normal * static_cast<float>(a.tube), fromA.normal);
    }

    // from B's side: the point of B's tube facing A; the routine's normal points from A to B
    Contact fromB;
    ClosestPointsOfCircles(b.circle, a.circle, fromB);
    gap = fromB.distance - tubes;
    if (WithinBand(gap, tolerance)) {
        Vector3 normal = -fromB.normal;
        Append(contacts, gap, fromB.point + normal * static_cast<float>(b.tube), normal);
    }
}

void CollisionDetectTorusBox::Detect(const FieldItem& first, const FieldItem& second,
                                     const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const FieldItemTorus* torus = nullptr;
    const FieldItemBox* box = nullptr;
    if (!FindShapes(first, second, torus, box) || !HasBoxTopology(*box)) {
        return;
    }
    constexpr size_t kVertexCount = 8;
    const std::vector<Vector3>& localVertices = box->Vertices();
    const std::vector<FieldItemBox::Face>& faces = box->Faces();
    const std::vector<Vector3>& faceNormals = box->FaceNormals();
    const double tolerance = settings.contactTolerance;
    const Ring ring = RingOf(*torus);
    const Circle& circle = ring.circle;
    const float tube = static_cast<float>(ring.tube);

    std::array<Vector3, kVertexCount> vertices;
    for (size_t i = 0; i < kVertexCount; ++i) {
        vertices[i] = WorldPoint(*box, localVertices[i]);
    }

    // vertices against the tube
    for (const Vector3& vertex : vertices) {
        Contact nearest;
        ClosestPointOnCircle(vertex, circle.centre, circle.normal, circle.radius, nearest);
        double gap = nearest.distance - ring.tube;
        if (WithinBand(gap, tolerance)) {
            Append(contacts, gap, vertex, -nearest.normal);
        }
    }

    // edges against the tube, face by face, so that an edge shared by two faces is reported
    // once for each; the search runs once per edge and its result is kept for the second face
    struct EdgeResult {
        bool searched = false;
        bool found = false;
        Contact pair;
    };
    constexpr size_t kEdgeCount = 12;
    std::array<EdgeResult, kEdgeCount> edgeResults;
    std::array<signed char, kVertexCount * kVertexCount> edgeSlots;
    edgeSlots.fill(-1);
    size_t edgesUsed = 0;
    for (const FieldItemBox::Face& face : faces) {
        for (size_t k = 0; k < face.size(); ++k) {
            int from = face[k];
            int to = face[(k + 1) % face.size()];
            if (from < 0 || to < 0 || static_cast<size_t>(from) >= kVertexCount ||
                static_cast<size_t>(to) >= kVertexCount) {
                assert(false && "box face with a vertex index out of range");
                continue;
            }
            signed char& slot = edgeSlots[std::min(from, to) * kVertexCount + std::max(from, to)];
            if (slot < 0) {
                if (edgesUsed == kEdgeCount) {
                    assert(false && "box with more than twelve edges");
                    continue;
                }
                slot = static_cast<signed char>(edgesUsed++);
            }
            EdgeResult& edge = edgeResults[slot];
            if (!edge.searched) {
                edge.searched = true;
                const Vector3& start = vertices[from];
                const Vector3& end = vertices[to];
                edge.found = SegmentCircleLowerBound(start, end, circle) - ring.tube <= tolerance &&
                             ClosestPointsOfSegmentAndCircle(start, end, circle, edge.pair);
            }
            if (!edge.found) {
                continue;
            }
            double gap = edge.pair.distance - ring.tube;
            if (WithinBand(gap, tolerance)) {
                // the pair's normal points from the circle towards the edge
                Vector3 onCircle =
                    edge.pair.point - edge.pair.normal * static_cast<float>(edge.pair.distance);
                Append(contacts, gap, onCircle + edge.pair.normal * tube, -edge.pair.normal);
            }
        }
    }

    // faces against the tube point deepest towards each face
    for (size_t f = 0; f < faces.size(); ++f) {
        Vector3 normal = faceNormals[f];
        box->ToWorld(normal);
        const FieldItemBox::Face& face = faces[f];
        Contact over;
        auto inFace = [&](const Vector3& p) {
            return PointInFacePolygon(p, vertices[face[0]], vertices[face[1]], vertices[face[2]],
                                      vertices[face[3]], normal, over);
        };
        const Vector3 faceCentre =
            (vertices[face[0]] + vertices[face[1]] + vertices[face[2]] + vertices[face[3]]) * 0.25f;
        Vector3 deepest;
        if (!RingPointDeepestTowards(circle, normal, faceCentre, inFace, deepest)) {
            continue;
        }
        Vector3 point = deepest - normal * tube;
        if (inFace(point) && WithinBand(over.distance, tolerance)) {
            Append(contacts, over.distance, point, normal);
        }
    }
}

void CollisionDetectTorusDisk::Detect(const FieldItem& first, const FieldItem& second,
                                      const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const FieldItemTorus* torus = nullptr;
    const FieldItemDisk* disk = nullptr;
    if (!FindShapes(first, second, torus, disk)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const Ring ring = RingOf(*torus);
    const Circle& circle = ring.circle;
    const float tube = static_cast<float>(ring.tube);

    const Vector3 diskCentre = disk->WorldPosition();
    const double diskRadius = disk->CoreRadius();
    Vector3 halfAxis(0.0f, static_cast<float>(disk->CoreHeight() / 2.0), 0.0f);
    disk->ToWorld(halfAxis);
    const Vector3 diskAxis = Normalize(halfAxis);

    for (float side : {1.0f, -1.0f}) {
        const Vector3 faceNormal = diskAxis * side;
        const Vector3 faceCentre = diskCentre + halfAxis * side;

        // the face's rim against the centre circle; the pair's normal points from the ring to
        // the rim. Both rims are tested whatever side the ring's centre is on: a ring hung over
        // the edge of a thick disk has its centre below the top face, yet rests on its rim
        Contact rimPair;
        ClosestPointsOfCircles(Circle{faceCentre, faceNormal, diskRadius}, circle, rimPair);
        double gap = rimPair.distance - ring.tube;
        if (WithinBand(gap, tolerance)) {
            Append(contacts, gap, rimPair.point, -rimPair.normal);
        }

        // the centre circle's point deepest towards a face that is turned towards the ring's
        // centre, over the face enlarged by the tolerance
        if (Dot(faceNormal, circle.centre - faceCentre) < 0.0f) {
            continue;
        }
        Contact over;
        auto overFace = [&](const Vector3& p) {
            return PointOverFace(p, faceCentre, faceNormal, diskRadius + tolerance, over);
        };
        Vector3 deepest;
        if (!RingPointDeepestTowards(circle, faceNormal, faceCentre, overFace, deepest)) {
            continue;
        }
        if (overFace(deepest)) {
            gap = over.distance - ring.tube;
            if (WithinBand(gap, tolerance)) {
                Append(contacts, gap, deepest - faceNormal * tube, faceNormal);
            }
        }
    }

    // the centre circle against the cylindrical side, found from the disk's axis; the pair's
    // normal points from the circle towards the axis
    Contact sidePair;
    if (ClosestPointsOfSegmentAndCircle(diskCentre - halfAxis, diskCentre + halfAxis, circle, sidePair)) {
        double gap = sidePair.distance - diskRadius - ring.tube;
        if (WithinBand(gap, tolerance)) {
            Vector3 onSide = sidePair.point - sidePair.normal * static_cast<float>(diskRadius);
            Append(contacts, gap, onSide, -sidePair.normal);
        }
    }
}
