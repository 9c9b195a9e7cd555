#include "collision/CollisionDetectSphere.h"

#include <algorithm>
#include <cmath>

#include "physics/FieldItemBox.h"

void CollisionDetectSphereSphere::Detect(const FieldItem& first, const FieldItem& second,
                                         const CollideSettings& settings,
                                         std::vector<Contact>& contacts) const {
    Between(first.WorldTransform().Translation(), first.BoundingRadius(), second.WorldTransform().Translation(),
            second.BoundingRadius(), settings, contacts);
}

void CollisionDetectSphereSphere::Between(const Vector3& firstPosition, double firstRadius,
                                          const Vector3& secondPosition, double secondRadius,
                                          const CollideSettings& settings, std::vector<Contact>& contacts) {
    const double tolerance = settings.contactTolerance;
    const Vector3 offset = firstPosition - secondPosition;

    // separation of the surfaces along the line of centres
    const float centreDistance = std::sqrt(Dot(offset, offset));
    const double gap = static_cast<double>(centreDistance) - firstRadius - secondRadius;
    if (!(-tolerance <= gap && gap <= tolerance)) {
        return;
    }

    // the point of the first surface that faces the second
    const Vector3 normal = Normalize(offset);
    Contact contact;
    contact.distance = gap;
    contact.point = firstPosition - normal * static_cast<float>(firstRadius);
    contact.normal = normal;
    contacts.push_back(contact);
}

void CollisionDetectSphereLand::Detect(const FieldItem& sphere, const FieldItem& /*land*/,
                                       const CollideSettings& settings,
                                       std::vector<Contact>& contacts) const {
    Between(sphere.WorldTransform().Translation(), sphere.BoundingRadius(), settings, contacts);
}

void CollisionDetectSphereLand::Between(const Vector3& position, double radius, const CollideSettings& settings,
                                        std::vector<Contact>& contacts) {
    // height of the lowest point; no lower bound, a sunk sphere is pushed out from any depth
    const double tolerance = settings.contactTolerance;
    const double height = static_cast<double>(position.y) - radius;
    if (!(height <= tolerance)) {
        return;
    }

    Contact contact;
    contact.distance = height;
    contact.point = position - Vector3(0.0f, static_cast<float>(radius), 0.0f);
    contact.normal = Vector3(0.0f, 1.0f, 0.0f);
    contacts.push_back(contact);
}

void CollisionDetectSphereBox::Detect(const FieldItem& sphere, const FieldItem& second,
                                      const CollideSettings& settings, std::vector<Contact>& contacts) const {
    const auto* box = dynamic_cast<const FieldItemBox*>(&second);
    if (box == nullptr) {
        return;
    }
    const double tolerance = settings.contactTolerance;
    const double radius = sphere.BoundingRadius();
    const Vector3 spherePosition = sphere.WorldTransform().Translation();
    const Vector3 boxPosition = box->WorldTransform().Translation();

    // the sphere's centre in the box's axes
    Vector3 local = spherePosition - boxPosition;
    box->ToLocal(local);

    // early rejection, axis by axis
    const double halfX = box->CoreSizeX() / 2.0;
    const double halfY = box->CoreSizeY() / 2.0;
    const double halfZ = box->CoreSizeZ() / 2.0;
    if (std::fabs(local.x) > static_cast<float>(halfX + radius + tolerance) ||
        std::fabs(local.y) > static_cast<float>(halfY + radius + tolerance) ||
        std::fabs(local.z) > static_cast<float>(halfZ + radius + tolerance)) {
        return;
    }

    // the point of the box nearest to the sphere's centre, back in world coordinates
    const float hx = static_cast<float>(halfX);
    const float hy = static_cast<float>(halfY);
    const float hz = static_cast<float>(halfZ);
    Vector3 nearest(std::clamp(local.x, -hx, hx), std::clamp(local.y, -hy, hy), std::clamp(local.z, -hz, hz));
    box->ToWorld(nearest);
    nearest += boxPosition;

    const Vector3 offset = spherePosition - nearest;
    const float centreDistance = std::sqrt(Dot(offset, offset));
    const double gap = static_cast<double>(centreDistance) - radius;
    if (!(-tolerance <= gap && gap <= tolerance)) {
        return;
    }

    // the point of the sphere's surface nearest to the box
    const Vector3 normal = Normalize(offset);
    Contact contact;
    contact.distance = gap;
    contact.point = spherePosition - normal * static_cast<float>(radius);
    contact.normal = normal;
    contacts.push_back(contact);
}
