// Ray detectors: the stated hit distances, grazing rays, rays that start inside or point
// away, and every hit against a brute-force march along the ray for random poses.

#include "collision/CollisionDetectRay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "physics/SimulationParameters.h"
#include "support/DetectPair.h"
#include "support/PrimitiveShapes.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;

class RayDetectors : public ::testing::Test {
protected:
    /// The contacts of the pair in the order (ray, shape), checked against the order
    /// (shape, ray), which must give the same list.
    template <class Detector> static std::vector<Contact> Cast(FieldItem& ray, FieldItem& shape) {
        Detector detector;
        std::vector<Contact> contacts;
        detector.Detect(ray, shape, CollideSettings(), contacts);
        const std::vector<Contact> reversed = DetectPair(shape, ray);
        EXPECT_EQ(contacts.size(), reversed.size());
        for (size_t i = 0; i < std::min(contacts.size(), reversed.size()); ++i) {
            EXPECT_EQ(contacts[i].distance, reversed[i].distance);
            EXPECT_EQ(contacts[i].point, reversed[i].point);
        }
        for (std::size_t i = 0; i < contacts.size(); ++i) {
            EXPECT_EQ(contacts[i].normal, Vector3());
            EXPECT_EQ(reversed[i].normal, Vector3());
        }
        return contacts;
    }
};

// ---- signed distances of the enlarged shapes (negative inside), in the shape's frame

double SphereDistance(const FieldItemSphere& sphere, const Vector3& p) {
    return Length(p - sphere.WorldPosition()) - (sphere.BoundingRadius() + kTolerance / 2.0);
}

double BoxDistance(const FieldItemBox& box, const Vector3& p) {
    Vector3 q = shapes::ToLocalPoint(box, p);
    double half[3] = {box.CoreSizeX() / 2.0 + kTolerance / 2.0, box.CoreSizeY() / 2.0 + kTolerance / 2.0,
                      box.CoreSizeZ() / 2.0 + kTolerance / 2.0};
    double d[3] = {std::abs(q.x) - half[0], std::abs(q.y) - half[1], std::abs(q.z) - half[2]};
    double outside = 0.0;
    for (double v : d) {
        outside += std::max(v, 0.0) * std::max(v, 0.0);
    }
    return std::sqrt(outside) + std::min(std::max({d[0], d[1], d[2]}), 0.0);
}

/// The disk as rays see it: radius enlarged by half the tolerance, faces at the given half height.
double DiskDistance(const FieldItemDisk& disk, const Vector3& p, double halfHeight) {
    Vector3 q = shapes::ToLocalPoint(disk, p);
    double radial = std::hypot(q.x, q.z) - (disk.CoreRadius() + kTolerance / 2.0);
    double axial = std::abs(q.y) - halfHeight;
    return std::hypot(std::max(radial, 0.0), std::max(axial, 0.0)) + std::min(std::max(radial, axial), 0.0);
}

double TorusDistance(const FieldItemTorus& torus, const Vector3& p) {
    Vector3 q = shapes::ToLocalPoint(torus, p);
    return std::hypot(std::hypot(q.x, q.z) - torus.Radius(), q.y) -
           (torus.CoreTubeRadius() + kTolerance / 2.0);
}

/// The first parameter along the ray where the signed distance turns negative, by marching
/// in small steps and bisecting the step that crosses; none within the range.
std::optional<double> March(const Vector3& origin, const Vector3& direction,
                            const std::function<double(const Vector3&)>& distance) {
    constexpr double kStep = 0.002;
    constexpr double kRange = 12.0;
    double previous = 0.0;
    for (double t = 0.0; t <= kRange; t += kStep) {
        if (distance(origin + direction * static_cast<float>(t)) < 0.0) {
            double low = previous;
            double high = t;
            for (int i = 0; i < 40; ++i) {
                double mid = 0.5 * (low + high);
                (distance(origin + direction * static_cast<float>(mid)) < 0.0 ? high : low) = mid;
            }
            return high;
        }
        previous = t;
    }
    return std::nullopt;
}

/// Checks a detector's nearest hit against marches along the ray: where the ray enters the
/// shape it must hit no later; where it may hit, it must not hit earlier; and its hit must lie
/// on the surface.
void CompareWithMarch(const std::vector<Contact>& contacts, const Vector3& origin, const Vector3& direction,
                      const std::function<double(const Vector3&)>& mustHit,
                      const std::function<double(const Vector3&)>& mayHit,
                      const std::function<double(const Vector3&)>& surface, const char* shape, int trial,
                      int& hits) {
    std::optional<double> entered = March(origin, direction, mustHit);
    std::optional<double> earliest = March(origin, direction, mayHit);
    std::optional<double> nearest;
    for (const Contact& c : contacts) {
        nearest = nearest ? std::min(*nearest, c.distance) : c.distance;
        // the point and the distance describe the same place on the ray
        EXPECT_TRUE(VectorNear(c.point, origin + direction * static_cast<float>(c.distance), 1e-4f))
            << shape << " trial " << trial;
    }
    if (entered) {
        ASSERT_TRUE(nearest.has_value()) << shape << " trial " << trial << ": march enters at " << *entered;
        EXPECT_LE(*nearest, *entered + 1e-4) << shape << " trial " << trial;
        ++hits;
    }
    if (nearest) {
        // picking reads the first contact: it is the nearest
        EXPECT_EQ(contacts.front().distance, *nearest) << shape << " trial " << trial;
        EXPECT_LT(std::abs(surface(origin + direction * static_cast<float>(*nearest))), 2e-4)
            << shape << " trial " << trial << ": hit at " << *nearest << " is off the surface";
        if (earliest) {
            EXPECT_GE(*nearest, *earliest - 3e-3) << shape << " trial " << trial;
        }
    }
}

/// A random ray from about four units away, aimed near the given point.
void RandomRay(std::mt19937& random, const Vector3& target, Vector3& origin, Vector3& direction) {
    std::uniform_real_distribution<float> scatter(-0.4f, 0.4f);
    origin = target + shapes::RandomDirection(random) * 4.0f;
    Vector3 aim = target + Vector3(scatter(random), scatter(random), scatter(random));
    // the detectors normalise the direction themselves
    direction = (aim - origin) * 0.37f;
}

} // namespace

TEST_F(RayDetectors, RayThroughSphereHitsItsEnlargedSurface) {
    // collision radius 1, enlarged to 1.015
    auto sphere = shapes::Sphere({0.0f, 0.0f, 0.0f}, 1.0 + kTolerance / 2.0);
    ASSERT_DOUBLE_EQ(sphere->BoundingRadius(), 1.0);
    auto ray = shapes::Ray({0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 3.0f});
    auto contacts = Cast<CollisionDetectRaySphere>(*ray, *sphere);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 3.985, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.0f, 0.0f, -1.015f), 1e-6f);

    // grazing: 1.01 from the centre hits, 1.02 misses
    auto near = shapes::Ray({1.01f, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    contacts = Cast<CollisionDetectRaySphere>(*near, *sphere);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 5.0 - std::sqrt(1.015 * 1.015 - 1.01 * 1.01), 1e-5);
    auto past = shapes::Ray({1.02f, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*past, *sphere).empty());
}

TEST_F(RayDetectors, RaysMissShapesBehindOrAroundTheirOrigin) {
    auto sphere = shapes::Sphere({0.0f, 0.0f, 0.0f}, 1.0 + kTolerance / 2.0);
    auto box = shapes::Box({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f});
    auto disk = shapes::Disk({0.0f, 0.0f, 0.0f}, 1.0, 0.2);
    auto torus = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    // pointing away from a shape 5 units behind the origin
    auto away = shapes::Ray({0.0f, 0.0f, 5.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*away, *sphere).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayBox>(*away, *box).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayDisk>(*away, *disk).empty());
    auto awayFromRing = shapes::Ray({5.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*awayFromRing, *torus).empty());
    // starting inside: the surface ahead is left, not entered
    auto inside = shapes::Ray({0.1f, 0.0f, 0.0f}, {0.3f, 0.2f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*inside, *sphere).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayBox>(*inside, *box).empty());
    auto insideTube = shapes::Ray({1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*insideTube, *torus).empty());
    // a ray without a direction, or from a non-finite origin, hits nothing
    auto still = shapes::Ray({0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*still, *sphere).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*still, *torus).empty());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto lost = shapes::Ray({nan, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*lost, *sphere).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayBox>(*lost, *box).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayDisk>(*lost, *disk).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*lost, *torus).empty());
    // shapes lost to NaN are not hit
    auto front = shapes::Ray({0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRaySphere>(*front, *shapes::Sphere({nan, 0.0f, 0.0f}, 1.0)).empty());
    EXPECT_TRUE(
        Cast<CollisionDetectRayBox>(*front, *shapes::Box({0.0f, nan, 0.0f}, {1.0f, 1.0f, 1.0f})).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayDisk>(*front, *shapes::Disk({0.0f, 0.0f, nan}, 1.0, 0.2)).empty());
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*front, *shapes::Torus({nan, 0.0f, 0.0f}, 1.0)).empty());
    // a very long direction vector is normalised without overflow
    auto far = shapes::Ray({0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 1e30f});
    auto hits = Cast<CollisionDetectRaySphere>(*far, *sphere);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(hits[0].distance, 3.985, 1e-6);
}

TEST_F(RayDetectors, RayHitsTheBoxFaceTurnedTowardsIt) {
    // core 0.97, enlarged by half the tolerance to a half size of 0.5
    auto box = shapes::Box({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f});
    auto ray = shapes::Ray({0.2f, 0.1f, -5.0f}, {0.0f, 0.0f, 1.0f});
    auto contacts = Cast<CollisionDetectRayBox>(*ray, *box);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 4.5, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.2f, 0.1f, -0.5f), 1e-6f);

    // parallel to the x faces just inside them: only the -z face is met
    auto grazing = shapes::Ray({0.49f, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    contacts = Cast<CollisionDetectRayBox>(*grazing, *box);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].point.z, -0.5f, 1e-6f);
    auto beside = shapes::Ray({0.51f, 0.0f, -5.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayBox>(*beside, *box).empty());

    // a turned box, hit along a diagonal of its top face
    auto turned = shapes::Box({1.0f, 2.0f, 3.0f}, {2.0f, 0.5f, 1.0f},
                              {0.0f, static_cast<float>(std::numbers::pi / 4.0), 0.0f});
    auto down = shapes::Ray({1.0f, 7.0f, 3.0f}, {0.0f, -1.0f, 0.0f});
    contacts = Cast<CollisionDetectRayBox>(*down, *turned);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 5.0 - 0.25, 1e-5);
}

TEST_F(RayDetectors, RayMeetsDiskFaceThenSide) {
    // collision thickness 0.07: a ray down the axis from 5 above meets the face at 0.035
    auto disk = shapes::Disk({0.0f, 0.0f, 0.0f}, 0.5, 0.1);
    auto down = shapes::Ray({0.0f, 5.0f, 0.0f}, {0.0f, -1.0f, 0.0f});
    auto contacts = Cast<CollisionDetectRayDisk>(*down, *disk);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 4.965, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.0f, 0.035f, 0.0f), 1e-6f);
    // from below, the other face
    auto up = shapes::Ray({0.1f, -5.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    contacts = Cast<CollisionDetectRayDisk>(*up, *disk);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 4.965, 1e-6);

    // parallel to the faces through the disk: only the side, at the enlarged radius 0.5
    auto across = shapes::Ray({-5.0f, 0.01f, 0.0f}, {1.0f, 0.0f, 0.0f});
    contacts = Cast<CollisionDetectRayDisk>(*across, *disk);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 4.5, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(-0.5f, 0.01f, 0.0f), 1e-6f);

    // the side band reaches the tolerance beyond each face; farther off, nothing
    auto edge = shapes::Ray({-5.0f, 0.035f + 0.029f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_EQ(Cast<CollisionDetectRayDisk>(*edge, *disk).size(), 1u);
    auto over = shapes::Ray({-5.0f, 0.035f + 0.031f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayDisk>(*over, *disk).empty());

    // a ray sinking slowly enters the side band above the face (height 0.05 at the enlarged
    // radius) and reaches the face plane later, over the face: both are hits, and the
    // entry through the side, the nearer, comes first, as picking reads the first contact
    auto sinking = shapes::Ray({-3.0f, 0.1f, 0.0f}, {1.0f, -0.02f, 0.0f});
    contacts = Cast<CollisionDetectRayDisk>(*sinking, *disk);
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_NEAR(contacts[0].distance, 2.5 * std::sqrt(1.0 + 0.02 * 0.02), 1e-5);
    EXPECT_NEAR(contacts[0].point.x, -0.5f, 1e-5f);
    EXPECT_NEAR(contacts[1].distance, 3.25 * std::sqrt(1.0 + 0.02 * 0.02), 1e-5);
}

TEST_F(RayDetectors, RayMeetsRingTubeButNotItsHole) {
    // ring radius 1, tube enlarged to 0.185 + 0.015 = 0.2
    auto torus = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    auto alongAxis = shapes::Ray({0.0f, 5.0f, 0.0f}, {0.0f, -1.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*alongAxis, *torus).empty());
    auto slantThroughHole = shapes::Ray({0.3f, 5.0f, 0.2f}, {-0.02f, -1.0f, 0.01f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*slantThroughHole, *torus).empty());

    auto across = shapes::Ray({-5.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    auto contacts = Cast<CollisionDetectRayTorus>(*across, *torus);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 3.8, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(-1.2f, 0.0f, 0.0f), 1e-5f);
    // from the centre of the hole, the inner side of the tube
    auto fromCentre = shapes::Ray({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f});
    contacts = Cast<CollisionDetectRayTorus>(*fromCentre, *torus);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.8, 1e-5);
    // from inside the tube: out through the hole and into the far side
    auto fromTube = shapes::Ray({1.0f, 0.0f, 0.0f}, {-1.0f, 0.0f, 0.0f});
    contacts = Cast<CollisionDetectRayTorus>(*fromTube, *torus);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 1.8, 1e-5);

    // over the top of the tube: just below the crest hits, just above misses
    auto belowCrest = shapes::Ray({-5.0f, 0.1999f, 0.0f}, {1.0f, 0.0f, 0.0f});
    contacts = Cast<CollisionDetectRayTorus>(*belowCrest, *torus);
    ASSERT_FALSE(contacts.empty());
    EXPECT_NEAR(contacts[0].distance, 4.0, 0.01);
    auto aboveCrest = shapes::Ray({-5.0f, 0.2001f, 0.0f}, {1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*aboveCrest, *torus).empty());

    // a turned ring seen from far away
    auto upright = shapes::Torus({0.0f, 1.0f, 0.0f}, 0.5, shapes::QuarterTurnX());
    auto distant = shapes::Ray({0.0f, 1.0f, -80.0f}, {0.0f, 0.0f, 1.0f});
    EXPECT_TRUE(Cast<CollisionDetectRayTorus>(*distant, *upright).empty());
    auto distantTube = shapes::Ray({0.5f, 1.0f, -80.0f}, {0.0f, 0.0f, 1.0f});
    contacts = Cast<CollisionDetectRayTorus>(*distantTube, *upright);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 80.0 - (0.085 + 0.015), 1e-4);
}

TEST_F(RayDetectors, HitsMatchAMarchAlongTheRay) {
    std::mt19937 random(17);
    std::uniform_real_distribution<float> size(0.08f, 1.5f);
    std::uniform_real_distribution<float> place(-1.0f, 1.0f);
    int hits[4] = {};
    for (int trial = 0; trial < 300; ++trial) {
        const Vector3 centre(place(random), place(random) + 1.0f, place(random));
        const Vector3 angle = shapes::RandomAngle(random);
        Vector3 origin;
        Vector3 direction;
        RandomRay(random, centre, origin, direction);
        auto ray = shapes::Ray(origin, direction);
        const Vector3 unit = Normalize(direction);

        auto sphere = shapes::Sphere(centre, size(random));
        auto sphereDistance = [&](const Vector3& p) { return SphereDistance(*sphere, p); };
        CompareWithMarch(Cast<CollisionDetectRaySphere>(*ray, *sphere), origin, unit, sphereDistance,
                         sphereDistance, sphereDistance, "sphere", trial, hits[0]);

        auto box = shapes::Box(centre, {size(random), size(random), size(random)}, angle);
        auto boxDistance = [&](const Vector3& p) { return BoxDistance(*box, p); };
        CompareWithMarch(Cast<CollisionDetectRayBox>(*ray, *box), origin, unit, boxDistance, boxDistance,
                         boxDistance, "box", trial, hits[1]);

        // the disk's faces stay at the collision thickness while its side reaches the
        // tolerance beyond them: a march into the thinner disk must be hit, and a hit lies on
        // the thinner disk's face or on the thicker one's side
        auto disk = shapes::Disk(centre, size(random), size(random) * 0.3, angle);
        const double halfHeight = disk->CoreHeight() / 2.0;
        auto thin = [&](const Vector3& p) { return DiskDistance(*disk, p, halfHeight); };
        auto thick = [&](const Vector3& p) { return DiskDistance(*disk, p, halfHeight + kTolerance); };
        auto onSurface = [&](const Vector3& p) { return std::min(std::abs(thin(p)), std::abs(thick(p))); };
        CompareWithMarch(Cast<CollisionDetectRayDisk>(*ray, *disk), origin, unit, thin, thick, onSurface,
                         "disk", trial, hits[2]);

        auto torus = shapes::Torus(centre, size(random), angle);
        auto torusDistance = [&](const Vector3& p) { return TorusDistance(*torus, p); };
        CompareWithMarch(Cast<CollisionDetectRayTorus>(*ray, *torus), origin, unit, torusDistance,
                         torusDistance, torusDistance, "torus", trial, hits[3]);
        if (HasFatalFailure()) {
            return;
        }
    }
    // enough of the rays met their shape for the comparison to mean something
    for (int count : hits) {
        EXPECT_GT(count, 60);
    }
}
