// Box against land and box against box.

#include "collision/CollisionDetectBox.h"

#include <cmath>

#include "collision/Collide.h"
#include "collision/CollisionGeometry.h"
#include "physics/FieldItemBox.h"
#include "physics/SimulationParameters.h"

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

} // namespace

BoxShape MakeBoxShape(FieldItemBox& box) {
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

void CollisionDetectBoxLand::Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) {
    // roles: the normal points from second to first, so it is -y when the land is first
    const bool boxFirst = ShapeKindOf(first) == ShapeKind::kBox;
    auto* box = dynamic_cast<FieldItemBox*>(boxFirst ? &first : &second);
    if (box == nullptr) {
        return;
    }
    const float sign = boxFirst ? 1.0f : -1.0f;
    const double tolerance = SimulationParameters::Instance().contactTolerance;
    const BoxShape shape = MakeBoxShape(*box);

    // height of the lowest point; no lower bound, a sunk box is pushed out from any depth
    const double height = static_cast<double>(shape.centre.y) -
                          (static_cast<double>(std::fabs(shape.halfAxes[0].y)) +
                           std::fabs(shape.halfAxes[1].y) + std::fabs(shape.halfAxes[2].y));
    if (!(height <= tolerance)) {
        return;
    }

    // the lowest vertex: a level half-axis (y exactly 0) takes the minus sign
    Vector3 lowest = shape.centre;
    for (const Vector3& halfAxis : shape.halfAxes) {
        lowest += halfAxis.y < 0.0f ? halfAxis : -halfAxis;
    }

    Contact contact;
    contact.distance = height;
    contact.point = lowest;
    contact.normal = Vector3(0.0f, sign, 0.0f);
    contacts.push_back(contact);
}

void CollisionDetectBoxBox::Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) {
    auto* firstBox = dynamic_cast<FieldItemBox*>(&first);
    auto* secondBox = dynamic_cast<FieldItemBox*>(&second);
    if (firstBox == nullptr || secondBox == nullptr) {
        return;
    }
    const double tolerance = SimulationParameters::Instance().contactTolerance;
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
    float signs[3];
    if (bestIndex < 3) {
        contact.point = DeepestVertex(b, towardsFirst, signs);
    } else if (bestIndex < 6) {
        contact.point = DeepestVertex(a, -towardsFirst, signs);
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
    }
    contact.normal = Normalize(towardsFirst);
    contact.distance = bestSeparation;
    contacts.push_back(contact);
}
