// Box against land and box against box.

#include "collision/CollisionDetectBox.h"

#include <cmath>

#include "collision/CollisionGeometry.h"
#include "physics/FieldItemBox.h"

namespace {

/// The vertex of the box deepest in the direction v, with the sign taken along each half-axis
/// (+1 where the half-axis does not point against v).
Vector3 DeepestVertex(const BoxShape& box, const Vector3& v, float signs[3]) {
    Vector3 vertex = box.centre;
    for (int k = 0; k < 3; ++k) {
        signs[k] = Dot(box.halfAxes[k], v) >= 0.0f ? 1.0f : -1.0f;
        vertex += box.halfAxes[k] * signs[k];
    }
    return vertex;
}

/// Lateral slack of the face containment tests, m: corners of equal faces lie on each other's edges.
constexpr float kFaceMargin = 1e-5f;

/// A point of the clipped contact polygon: world position and its coordinates along the
/// reference face's two in-plane axes.
struct PolygonPoint {
    Vector3 world;
    float u;
    float v;
};

/// Keeps the part of the polygon on the side where sign * coordinate <= limit (coordinate u when
/// alongU, else v), cutting edges that cross the line. Returns the new point count.
int ClipPolygon(const PolygonPoint* input, int count, bool alongU, float sign, float limit,
                PolygonPoint* output) {
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const PolygonPoint& from = input[i];
        const PolygonPoint& to = input[(i + 1) % count];
        const float fromSide = sign * (alongU ? from.u : from.v) - limit;
        const float toSide = sign * (alongU ? to.u : to.v) - limit;
        if (fromSide <= 0.0f) {
            output[written++] = from;
        }
        if ((fromSide < 0.0f && toSide > 0.0f) || (fromSide > 0.0f && toSide < 0.0f)) {
            const float share = fromSide / (fromSide - toSide);
            output[written++] = {from.world + (to.world - from.world) * share,
                                 from.u + (to.u - from.u) * share, from.v + (to.v - from.v) * share};
        }
    }
    return written;
}

/// Appends the contacts of a face contact beyond the deepest vertex: the incident box's face
/// that looks at the reference face, clipped to the reference face's rectangle, gives the
/// corners of the touching patch; those within the tolerance band become contacts. A box
/// resting on a face is then held at the corners of the patch rather than at one vertex, on
/// which a tall box would otherwise tip and balance. outward is the reference face's unit
/// outward normal. The deepest-vertex contact (first) is kept only where it lies over the
/// reference face, or where the patch yields nothing.
void AppendFaceContacts(const BoxShape& reference, int axis, const Vector3& outward, const BoxShape& incident,
                        const Contact& deepest, double tolerance, std::vector<Contact>& contacts) {
    const float halfDepth = Length(reference.halfAxes[axis]);
    const Vector3& half1 = reference.halfAxes[(axis + 1) % 3];
    const Vector3& half2 = reference.halfAxes[(axis + 2) % 3];
    const float extent1 = Length(half1);
    const float extent2 = Length(half2);
    const Vector3 unit1 = half1 * (1.0f / extent1);
    const Vector3 unit2 = half2 * (1.0f / extent2);
    const Vector3 faceCentre = reference.centre + outward * halfDepth;

    // the deepest vertex counts where it lies over the reference face
    const Vector3 deepestOffset = deepest.point - faceCentre;
    const bool deepestOverFace = std::fabs(Dot(deepestOffset, unit1)) <= extent1 + kFaceMargin &&
                                 std::fabs(Dot(deepestOffset, unit2)) <= extent2 + kFaceMargin;
    const std::size_t before = contacts.size();
    if (deepestOverFace) {
        contacts.push_back(deepest);
    }

    // the incident box's face that looks most directly at the reference face
    int facing = 0;
    float facingDot = -1.0f;
    for (int k = 0; k < 3; ++k) {
        const float along = std::fabs(Dot(incident.halfAxes[k], outward)) / Length(incident.halfAxes[k]);
        if (along > facingDot) {
            facing = k, facingDot = along;
        }
    }
    const float towards = Dot(incident.halfAxes[facing], outward) > 0.0f ? -1.0f : 1.0f;
    const Vector3 facingCentre = incident.centre + incident.halfAxes[facing] * towards;
    const Vector3& side1 = incident.halfAxes[(facing + 1) % 3];
    const Vector3& side2 = incident.halfAxes[(facing + 2) % 3];

    // its corners in loop order, clipped to the reference rectangle
    PolygonPoint polygon[8];
    PolygonPoint clipped[8];
    const float corners[4][2] = {{1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}, {-1.0f, 1.0f}};
    for (int i = 0; i < 4; ++i) {
        const Vector3 world = facingCentre + side1 * corners[i][0] + side2 * corners[i][1];
        polygon[i] = {world, Dot(world - faceCentre, unit1), Dot(world - faceCentre, unit2)};
    }
    int count = 4;
    count = ClipPolygon(polygon, count, true, 1.0f, extent1, clipped);
    count = ClipPolygon(clipped, count, true, -1.0f, extent1, polygon);
    count = ClipPolygon(polygon, count, false, 1.0f, extent2, clipped);
    count = ClipPolygon(clipped, count, false, -1.0f, extent2, polygon);

    // the patch corners within the band (the deepest vertex, if among them, only once)
    Contact contact = deepest;
    for (int i = 0; i < count; ++i) {
        const double height = static_cast<double>(Dot(polygon[i].world - faceCentre, outward));
        if (!(-tolerance <= height && height <= tolerance)) {
            continue;
        }
        if (deepestOverFace && Length(polygon[i].world - deepest.point) < kFaceMargin) {
            continue;
        }
        contact.point = polygon[i].world;
        contact.distance = height;
        contacts.push_back(contact);
    }
    if (contacts.size() == before) {
        contacts.push_back(deepest);
    }
}

} // namespace

BoxShape MakeBoxShape(const FieldItemBox& box) {
    BoxShape shape;
    shape.centre = box.WorldTransform().Translation();
    shape.halfAxes[0] = Vector3(static_cast<float>(box.CoreSizeX() / 2.0), 0.0f, 0.0f);
    shape.halfAxes[1] = Vector3(0.0f, static_cast<float>(box.CoreSizeY() / 2.0), 0.0f);
    shape.halfAxes[2] = Vector3(0.0f, 0.0f, static_cast<float>(box.CoreSizeZ() / 2.0));
    for (Vector3& halfAxis : shape.halfAxes) {
        box.ToWorld(halfAxis);
    }
    return shape;
}

bool HasBoxTopology(const FieldItemBox& box) {
    return box.Vertices().size() == 8 && box.Faces().size() == 6 && box.FaceNormals().size() == 6;
}

void CollisionDetectBoxLand::Detect(const FieldItem& first, const FieldItem& /*land*/,
                                    const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* box = dynamic_cast<const FieldItemBox*>(&first);
    if (box == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const BoxShape shape = MakeBoxShape(*box);

    // a box whose position is no longer finite touches nothing
    if (!std::isfinite(shape.centre.x) || !std::isfinite(shape.centre.y) || !std::isfinite(shape.centre.z)) {
        return;
    }

    // height of the lowest point; no lower bound, a sunk box is pushed out from any depth
    const double height = static_cast<double>(shape.centre.y) -
                          (static_cast<double>(std::fabs(shape.halfAxes[0].y)) +
                           std::fabs(shape.halfAxes[1].y) + std::fabs(shape.halfAxes[2].y));
    if (!(height <= tolerance)) {
        return;
    }

    // the lowest vertex: a level half-axis (y exactly 0) takes the minus sign
    float lowestSigns[3];
    Vector3 lowest = shape.centre;
    for (int k = 0; k < 3; ++k) {
        lowestSigns[k] = shape.halfAxes[k].y < 0.0f ? 1.0f : -1.0f;
        lowest += shape.halfAxes[k] * lowestSigns[k];
    }
    Contact contact;
    contact.distance = height;
    contact.point = lowest;
    contact.normal = Vector3(0.0f, 1.0f, 0.0f);
    contacts.push_back(contact);

    // every other vertex within the band as well: a box resting on a face stands on its four
    // corners (with the lowest alone, the spring at one corner tips a tall box onto that
    // corner, where it balances)
    for (int vertex = 0; vertex < 8; ++vertex) {
        const float signs[3] = {vertex & 1 ? 1.0f : -1.0f, vertex & 2 ? 1.0f : -1.0f,
                                vertex & 4 ? 1.0f : -1.0f};
        if (signs[0] == lowestSigns[0] && signs[1] == lowestSigns[1] && signs[2] == lowestSigns[2]) {
            continue;
        }
        const Vector3 point = shape.centre + shape.halfAxes[0] * signs[0] + shape.halfAxes[1] * signs[1] +
                              shape.halfAxes[2] * signs[2];
        if (point.y <= tolerance) {
            contact.distance = point.y;
            contact.point = point;
            contacts.push_back(contact);
        }
    }
}

void CollisionDetectBoxBox::Detect(const FieldItem& first, const FieldItem& second,
                                   const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* firstBox = dynamic_cast<const FieldItemBox*>(&first);
    const auto* secondBox = dynamic_cast<const FieldItemBox*>(&second);
    if (firstBox == nullptr || secondBox == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const BoxShape a = MakeBoxShape(*firstBox);
    const BoxShape b = MakeBoxShape(*secondBox);
    const Vector3 offset = a.centre - b.centre;

    // separating-axis test over the candidate axes in their fixed order: the first box's
    // faces (0 to 2), the second box's faces (3 to 5), the edge pairs (6 to 14)
    double bestSeparation = -1000.0;
    int bestIndex = -1;
    Vector3 bestAxis;
    for (int index = 0; index < 15; ++index) {
        Vector3 candidate;
        if (index < 3) {
            candidate = a.halfAxes[index];
        } else if (index < 6) {
            candidate = b.halfAxes[index - 3];
        } else {
            candidate = Cross(a.halfAxes[(index - 6) / 3], b.halfAxes[(index - 6) % 3]);
            // parallel edges span no axis
            if (Length(candidate) < 0.0001f) {
                continue;
            }
        }
        const Vector3 axis = Normalize(candidate);
        const double separation =
            static_cast<double>(std::fabs(Dot(axis, offset))) -
            (static_cast<double>(std::fabs(Dot(axis, a.halfAxes[0]))) + std::fabs(Dot(axis, a.halfAxes[1])) +
             std::fabs(Dot(axis, a.halfAxes[2])) + std::fabs(Dot(axis, b.halfAxes[0])) +
             std::fabs(Dot(axis, b.halfAxes[1])) + std::fabs(Dot(axis, b.halfAxes[2])));
        if (separation > tolerance) {
            return;
        }
        // strict comparisons: among equal separations the earlier axis wins, and an axis
        // interpenetrated by the tolerance or more never becomes the best
        if (-tolerance < separation && separation > bestSeparation) {
            bestSeparation = separation;
            bestIndex = index;
            bestAxis = axis;
        }
    }
    if (bestIndex < 0) {
        return;
    }

    // the direction from the second box towards the first along the best axis
    const Vector3 towardsFirst = Dot(bestAxis, offset) > 0.0f ? bestAxis : -bestAxis;

    // contact point by the kind of the best axis
    Contact contact;
    contact.normal = Normalize(towardsFirst);
    contact.distance = bestSeparation;
    float signs[3];
    if (bestIndex < 3) {
        contact.point = DeepestVertex(b, towardsFirst, signs);
        AppendFaceContacts(a, bestIndex, -contact.normal, b, contact, tolerance, contacts);
    } else if (bestIndex < 6) {
        contact.point = DeepestVertex(a, -towardsFirst, signs);
        AppendFaceContacts(b, bestIndex - 3, contact.normal, a, contact, tolerance, contacts);
    } else {
        // the two supporting edges, each through its box's vertex deepest towards the other
        const int i = (bestIndex - 6) / 3;
        const int j = (bestIndex - 6) % 3;
        float signsA[3];
        float signsB[3];
        const Vector3 vertexA = DeepestVertex(a, -towardsFirst, signsA);
        const Vector3 vertexB = DeepestVertex(b, towardsFirst, signsB);
        const Vector3 edgeA = a.halfAxes[i] * (-2.0f * signsA[i]);
        const Vector3 edgeB = b.halfAxes[j] * (-2.0f * signsB[j]);
        Contact closest;
        ClosestPointsOfSegments(vertexA, edgeA, vertexB, edgeB, true, closest);
        contact.point = closest.point;
        contacts.push_back(contact);
    }
}
