#include "collision/CollisionDetectRay.h"

#include <array>
#include <cassert>
#include <cmath>
#include <utility>

#include "collision/CollisionDetectBox.h"
#include "collision/CollisionGeometry.h"
#include "collision/PolynomialRoots.h"
#include "collision/Vector3d.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemRay.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"

namespace {

// the hit computations run in double precision: picking rays start metres away from
// what they hit, and the quartic of the ring needs the digits
using geometry::ToVector3d;
using geometry::Vector3d;

/// The ray's origin and unit direction in world coordinates.
struct Line {
    Vector3d origin;
    Vector3d direction;

    Vector3d At(double parameter) const { return origin + direction * parameter; }
};

/// The ray's world line and the shape of the pair (ray first, as the registry hands it). A
/// ray without a usable direction, or with a non-finite origin, hits nothing.
template <class Shape>
bool FindShapes(const FieldItem& first, const FieldItem& second, Line& line, const Shape*& shape) {
    const auto* ray = dynamic_cast<const FieldItemRay*>(&first);
    shape = dynamic_cast<const Shape*>(&second);
    // the registry hands each detector only its own pair of shapes
    assert(ray != nullptr && shape != nullptr);
    if (ray == nullptr || shape == nullptr) {
        return false;
    }
    Vector3 direction = ray->Direction();
    ray->ToWorld(direction);
    Vector3d unit = ToVector3d(direction);
    double length = std::sqrt(Dot(unit, unit));
    if (!(length > 0.0) || !std::isfinite(length)) {
        return false;
    }
    line.direction = unit * (1.0 / length);
    line.origin = ToVector3d(ray->WorldPosition());
    return IsFinite(line.origin);
}

/// Appends a hit at the given parameter along the line; a ray contact has no normal.
void AppendHit(std::vector<Contact>& contacts, const Line& line, double parameter) {
    Contact& contact = contacts.emplace_back();
    contact.point = ToVector3(line.At(parameter));
    contact.distance = parameter;
    contact.normal = Vector3();
}

Vector3d LocalOf(const FieldItem& item, const Vector3d& worldVector) {
    Vector3 v = ToVector3(worldVector);
    item.ToLocal(v);
    return ToVector3d(v);
}

Vector3d WorldOf(const FieldItem& item, const Vector3& localVector) {
    Vector3 v = localVector;
    item.ToWorld(v);
    return ToVector3d(v);
}

} // namespace

void CollisionDetectRaySphere::Detect(const FieldItem& first, const FieldItem& second,
                                      const CollideSettings& settings, std::vector<Contact>& contacts) const {
    Line line;
    const FieldItemSphere* sphere = nullptr;
    if (!FindShapes(first, second, line, sphere)) {
        return;
    }
    const double radius = sphere->BoundingRadius() + settings.contactTolerance / 2.0;
    const Vector3d toCentre = ToVector3d(sphere->WorldPosition()) - line.origin;

    // the squared distance of the centre from the line, from the cross product to avoid cancellation
    const Vector3d offset = Cross(toCentre, line.direction);
    const double missSquared = Dot(offset, offset);
    // a ray that grazes the enlarged sphere exactly does not hit it
    if (!(missSquared < radius * radius)) {
        return;
    }
    const double entry = Dot(toCentre, line.direction) - std::sqrt(radius * radius - missSquared);
    // a sphere behind the origin, or one that contains it, is not entered ahead
    if (entry < 0.0) {
        return;
    }
    AppendHit(contacts, line, entry);
}

void CollisionDetectRayBox::Detect(const FieldItem& first, const FieldItem& second,
                                   const CollideSettings& settings, std::vector<Contact>& contacts) const {
    Line line;
    const FieldItemBox* box = nullptr;
    if (!FindShapes(first, second, line, box) || !HasBoxTopology(*box)) {
        return;
    }
    constexpr size_t kVertexCount = 8;
    const std::vector<Vector3>& localVertices = box->Vertices();
    const std::vector<FieldItemBox::Face>& faces = box->Faces();
    const std::vector<Vector3>& faceNormals = box->FaceNormals();

    // the core's corners moved outwards by half the tolerance on each axis
    const float grow = static_cast<float>(settings.contactTolerance / 2.0);
    const Vector3d centre = ToVector3d(box->WorldPosition());
    std::array<Vector3, kVertexCount> vertices;
    for (size_t i = 0; i < kVertexCount; ++i) {
        const Vector3& v = localVertices[i];
        Vector3 enlarged(v.x + (v.x > 0.0f ? grow : -grow), v.y + (v.y > 0.0f ? grow : -grow),
                         v.z + (v.z > 0.0f ? grow : -grow));
        vertices[i] = ToVector3(centre + WorldOf(*box, enlarged));
    }

    // every face turned towards the ray whose plane the ray meets ahead, within the face
    for (size_t f = 0; f < faces.size(); ++f) {
        const Vector3d normal = WorldOf(*box, faceNormals[f]);
        const double facing = Dot(normal, line.direction);
        if (!(facing < 0.0)) {
            continue;
        }
        const FieldItemBox::Face& face = faces[f];
        const double parameter = -Dot(normal, line.origin - ToVector3d(vertices[face[0]])) / facing;
        if (!(parameter >= 0.0)) {
            continue;
        }
        Contact over;
        if (PointInFacePolygon(ToVector3(line.At(parameter)), vertices[face[0]], vertices[face[1]],
                               vertices[face[2]], vertices[face[3]], ToVector3(normal), over)) {
            AppendHit(contacts, line, parameter);
        }
    }
}

void CollisionDetectRayDisk::Detect(const FieldItem& first, const FieldItem& second,
                                    const CollideSettings& settings, std::vector<Contact>& contacts) const {
    Line line;
    const FieldItemDisk* disk = nullptr;
    if (!FindShapes(first, second, line, disk)) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const double halfHeight = disk->CoreHeight() / 2.0;
    const double radius = disk->CoreRadius() + tolerance / 2.0;
    const Vector3d centre = ToVector3d(disk->WorldPosition());
    const size_t before = contacts.size();

    // the face turned towards the ray: its plane, then whether the crossing lies over the face
    Vector3d halfAxis = WorldOf(*disk, Vector3(0.0f, static_cast<float>(halfHeight), 0.0f));
    if (Dot(halfAxis, line.direction) > 0.0) {
        halfAxis = halfAxis * -1.0;
    }
    const double axisLength = std::sqrt(Dot(halfAxis, halfAxis));
    if (axisLength > 0.0) {
        const Vector3d faceNormal = halfAxis * (1.0 / axisLength);
        const Vector3d faceCentre = centre + halfAxis;
        const double facing = Dot(faceNormal, line.direction);
        // a ray parallel to the face never crosses its plane
        if (facing < 0.0) {
            const double parameter = -Dot(faceNormal, line.origin - faceCentre) / facing;
            Contact over;
            if (parameter >= 0.0 && PointOverFace(ToVector3(line.At(parameter)), ToVector3(faceCentre),
                                                  ToVector3(faceNormal), radius, over)) {
                AppendHit(contacts, line, parameter);
            }
        }
    }

    // the side: the line against the infinite cylinder about the local y axis, entry root
    const Vector3d origin = LocalOf(*disk, line.origin - centre);
    const Vector3d direction = LocalOf(*disk, line.direction);
    const double a = direction.x * direction.x + direction.z * direction.z;
    const double b = origin.x * direction.x + origin.z * direction.z;
    const double c = origin.x * origin.x + origin.z * origin.z - radius * radius;
    const double discriminant = b * b - a * c;
    // a ray along the axis never meets the side (and the quadratic degenerates)
    if (a > 0.0 && discriminant >= 0.0) {
        const double parameter = (-b - std::sqrt(discriminant)) / a;
        const double height = origin.y + parameter * direction.y;
        if (parameter >= 0.0 && height >= -halfHeight - tolerance && height <= halfHeight + tolerance) {
            AppendHit(contacts, line, parameter);
        }
    }

    // the side band reaches beyond the face planes, so a ray can enter it above the face and
    // cross the face plane farther on: the nearer hit comes first, as picking reads the first
    if (contacts.size() == before + 2 && contacts[before + 1].distance < contacts[before].distance) {
        std::swap(contacts[before], contacts[before + 1]);
    }
}

void CollisionDetectRayTorus::Detect(const FieldItem& first, const FieldItem& second,
                                     const CollideSettings& settings, std::vector<Contact>& contacts) const {
    Line line;
    const FieldItemTorus* torus = nullptr;
    if (!FindShapes(first, second, line, torus)) {
        return;
    }
    const double ringRadius = torus->Radius();
    const double tubeRadius = torus->CoreTubeRadius() + settings.contactTolerance / 2.0;

    // the line in the ring's frame, its origin moved to the line's point nearest the ring's
    // centre, which keeps the quartic well scaled however far away the ray starts
    Vector3d direction = LocalOf(*torus, line.direction);
    direction = direction * (1.0 / std::sqrt(Dot(direction, direction)));
    const Vector3d origin = LocalOf(*torus, line.origin - ToVector3d(torus->WorldPosition()));
    const double shift = -Dot(origin, direction);
    const Vector3d nearest = origin + direction * shift;

    // (|P|² + R² - r²)² = 4R²(Px² + Pz²) for P = nearest + μ·direction, with nearest ⟂ direction
    const double ring2 = ringRadius * ringRadius;
    const double g = Dot(nearest, nearest) + ring2 - tubeRadius * tubeRadius;
    const double planar = direction.x * direction.x + direction.z * direction.z;
    const double mixed = nearest.x * direction.x + nearest.z * direction.z;
    const double offPlanar = nearest.x * nearest.x + nearest.z * nearest.z;
    std::array<double, 4> roots{};
    const int count = SolveQuartic(1.0, 0.0, 2.0 * g - 4.0 * ring2 * planar, -8.0 * ring2 * mixed,
                                   g * g - 4.0 * ring2 * offPlanar, roots);

    // the first root ahead of the origin where the line enters the tube: just beyond it, the
    // point lies inside (the roots alternate entry and exit)
    auto inside = [&](double mu) {
        Vector3d p = nearest + direction * mu;
        double h = Dot(p, p) + ring2 - tubeRadius * tubeRadius;
        return h * h < 4.0 * ring2 * (p.x * p.x + p.z * p.z);
    };
    for (int i = 0; i < count; ++i) {
        const double parameter = shift + roots[i];
        if (parameter < 0.0) {
            continue;
        }
        const double beyond = i + 1 < count ? 0.5 * (roots[i] + roots[i + 1]) : roots[i] + tubeRadius;
        if (inside(beyond)) {
            AppendHit(contacts, line, parameter);
            return;
        }
    }
}
