// Ring detectors: the stated resting cases (the swapped orders are the registry's adapter), and the
// distances to boxes, disks and rings against a brute-force search over the centre circle.

#include "collision/CollisionDetectTorus.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "collision/CollisionDetectRay.h"
#include "framework/D3DObjectManager.h"
#include "physics/SimulationParameters.h"
#include "support/DetectPair.h"
#include "support/FieldItemTestBody.h"
#include "support/PrimitiveShapes.h"
#include "support/TestSupport.h"

// counts the allocations of this test program while a test asks for it, to show that the
// detectors allocate nothing beyond the contacts they append
namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<int> allocationCount{0};
} // namespace

// the replacements pair malloc with free; inlined into the library's allocators, the
// compiler would take them for a mismatch of new and free. Under the address sanitizer its
// own operator new stays (it checks new against delete), and nothing is counted.
#if defined(__SANITIZE_ADDRESS__)
#define KIVARO_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIVARO_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef KIVARO_COUNTS_ALLOCATIONS
#define KIVARO_COUNTS_ALLOCATIONS 1
#endif
#if KIVARO_COUNTS_ALLOCATIONS
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (countingAllocations.load(std::memory_order_relaxed)) {
        allocationCount.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop
#endif

namespace {

constexpr double kTolerance = 0.03;

using TorusDetectors = ::testing::Test;

/// Every contact of the list, for failure messages.
std::string Describe(const std::vector<Contact>& contacts) {
    std::string text;
    for (const Contact& c : contacts) {
        text += "\n  distance " + std::to_string(c.distance) + " point (" + std::to_string(c.point.x) + ", " +
                std::to_string(c.point.y) + ", " + std::to_string(c.point.z) + ") normal (" +
                std::to_string(c.normal.x) + ", " + std::to_string(c.normal.y) + ", " +
                std::to_string(c.normal.z) + ")";
    }
    return text;
}

/// A contact's normal has unit length.
::testing::AssertionResult UnitNormals(const std::vector<Contact>& contacts) {
    for (const Contact& c : contacts) {
        if (std::abs(Length(c.normal) - 1.0f) > 1e-4f) {
            return ::testing::AssertionFailure() << "normal not of unit length:" << Describe(contacts);
        }
    }
    return ::testing::AssertionSuccess();
}

// ---- brute force over the centre circle, in double precision

struct Point {
    double x = 0.0, y = 0.0, z = 0.0;
};
Point operator+(Point a, Point b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Point operator-(Point a, Point b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Point operator*(Point a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(Point a, Point b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double Norm(Point a) {
    return std::sqrt(Dot(a, a));
}
Point FromVector(const Vector3& v) {
    return {v.x, v.y, v.z};
}
Vector3 ToVector(Point p) {
    return {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
}

/// A ring's centre circle and its collision tube radius, in world coordinates.
struct RingShape {
    Point centre;
    Point axis;
    double radius = 0.0;
    double tube = 0.0;

    /// The circle point at the given angle.
    Point At(double angle) const {
        Point helper = std::abs(axis.x) < 0.9 ? Point{1, 0, 0} : Point{0, 1, 0};
        Point e1 = helper - axis * Dot(helper, axis);
        e1 = e1 * (1.0 / Norm(e1));
        Point e2{axis.y * e1.z - axis.z * e1.y, axis.z * e1.x - axis.x * e1.z, axis.x * e1.y - axis.y * e1.x};
        return centre + (e1 * std::cos(angle) + e2 * std::sin(angle)) * radius;
    }
};

RingShape ShapeOf(const FieldItemTorus& torus) {
    Vector3 axis(0.0f, 1.0f, 0.0f);
    torus.ToWorld(axis);
    return {FromVector(torus.WorldPosition()), FromVector(Normalize(axis)), torus.Radius(),
            torus.CoreTubeRadius()};
}

/// The smallest value of f over the circle's angle: dense samples, then a golden-section
/// search around the best one.
double MinimumOverCircle(const std::function<double(double)>& f) {
    constexpr int kSamples = 1440;
    const double step = 2.0 * std::numbers::pi / kSamples;
    int best = 0;
    double bestValue = f(0.0);
    for (int i = 1; i < kSamples; ++i) {
        double value = f(i * step);
        if (value < bestValue) {
            best = i;
            bestValue = value;
        }
    }
    double low = (best - 1) * step;
    double high = (best + 1) * step;
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 60; ++i) {
        double a = high - ratio * (high - low);
        double b = low + ratio * (high - low);
        if (f(a) < f(b)) {
            high = b;
        } else {
            low = a;
        }
    }
    return std::min(bestValue, f(0.5 * (low + high)));
}

/// Distance from p to the solid box (zero inside).
double DistanceToBox(const FieldItemBox& box, Point p) {
    Vector3 local = shapes::ToLocalPoint(box, ToVector(p));
    double half[3] = {box.CoreSizeX() / 2.0, box.CoreSizeY() / 2.0, box.CoreSizeZ() / 2.0};
    double q[3] = {local.x, local.y, local.z};
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        double excess = std::max(std::abs(q[i]) - half[i], 0.0);
        sum += excess * excess;
    }
    return std::sqrt(sum);
}

/// Distance from p to the solid disk (zero inside).
double DistanceToDisk(const FieldItemDisk& disk, Point p) {
    Vector3 local = shapes::ToLocalPoint(disk, ToVector(p));
    double radial = std::max(std::hypot(local.x, local.z) - disk.CoreRadius(), 0.0);
    double axial = std::max(std::abs(local.y) - disk.CoreHeight() / 2.0, 0.0);
    return std::hypot(radial, axial);
}

/// Distance from p to a circle.
double DistanceToCircle(const RingShape& ring, Point p) {
    Point w = p - ring.centre;
    double height = Dot(w, ring.axis);
    double planar = Norm(w - ring.axis * height);
    return std::hypot(height, planar - ring.radius);
}

/// Moves the ring towards or away from target along the line of centres until the
/// brute-force gap reaches wanted; false when it does not settle or the circle enters.
bool PlaceAtGap(RingShape& ring, Point target, double wanted, const std::function<double(double)>& distanceAt,
                const std::function<void()>& rebuild) {
    for (int iteration = 0; iteration < 40; ++iteration) {
        double distance = MinimumOverCircle(distanceAt);
        if (distance <= 1e-9) {
            return false;
        }
        double gap = distance - ring.tube;
        if (std::abs(gap - wanted) < 1e-6) {
            return true;
        }
        Point towards = target - ring.centre;
        ring.centre = ring.centre + towards * ((gap - wanted) / Norm(towards));
        rebuild();
    }
    return false;
}

/// A torus item at the given circle (the axis is reached by a rotation from y).
std::unique_ptr<FieldItemTorus> TorusAt(const RingShape& ring, const Vector3& angle) {
    return shapes::Torus(ToVector(ring.centre), ring.radius, angle);
}

} // namespace

TEST_F(TorusDetectors, UprightRingOnLandTouchesAtTubeBottom) {
    FieldItemTestBody land(L"land");
    // ring radius 1, collision tube 0.185; the centre circle's lowest point at 0.2
    auto ring = shapes::Torus({0.5f, 1.2f, -0.25f}, 1.0, shapes::QuarterTurnX());
    auto contacts = DetectPair(*ring, land);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.015, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.5f, 0.015f, -0.25f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 1e-6f);

    // lifted beyond the tolerance: nothing; sunk deep: still a contact
    auto lifted = shapes::Torus({0.0f, 1.2f + 0.031f, 0.0f}, 1.0, shapes::QuarterTurnX());
    EXPECT_TRUE(DetectPair(*lifted, land).empty());
    auto sunk = shapes::Torus({0.0f, 0.5f, 0.0f}, 1.0, shapes::QuarterTurnX());
    auto deep = DetectPair(*sunk, land);
    ASSERT_EQ(deep.size(), 1u);
    EXPECT_NEAR(deep[0].distance, -0.685, 1e-5);
}

TEST_F(TorusDetectors, FlatAndTiltedRingsOnLandTouchAtTheirLowestTubePoint) {
    FieldItemTestBody land(L"land");
    // lying flat: the point below the centre, at the depth of the tube's bottom
    auto flat = shapes::Torus({2.0f, 0.2f, 3.0f}, 1.0);
    auto contacts = DetectPair(*flat, land);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.015, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(2.0f, 0.015f, 3.0f), 1e-6f);

    // tilted by 30 degrees about z: the lowest circle point is R sin 30 below the centre
    const float tilt = static_cast<float>(std::numbers::pi / 6.0);
    auto tilted = shapes::Torus({0.0f, 0.7f, 0.0f}, 1.0, {0.0f, 0.0f, tilt});
    contacts = DetectPair(*tilted, land);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.7 - 0.5 - 0.185, 1e-5);
    EXPECT_NEAR(std::abs(contacts[0].point.x), std::cos(tilt), 1e-5);
    EXPECT_NEAR(contacts[0].point.y, 0.015, 1e-5);
    EXPECT_NEAR(contacts[0].point.z, 0.0, 1e-6);
}

TEST_F(TorusDetectors, SphereInRingTouchesTubeOnLineFromNearestCirclePoint) {
    // a flat ring at the origin; the sphere's centre (0.2, 0.6, 0) is 1.0 from the circle
    // point (1, 0, 0), so a collision radius of 0.815 touches the 0.185 tube exactly
    auto ring = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    auto sphere = shapes::Sphere({0.2f, 0.6f, 0.0f}, 0.815 + kTolerance / 2.0);
    auto contacts = DetectPair(*ring, *sphere);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.0, 1e-5);
    const Vector3 towardsSphere(-0.8f, 0.6f, 0.0f);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(1.0f, 0.0f, 0.0f) + towardsSphere * 0.185f, 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, -towardsSphere, 1e-5f);

    // out of the band on either side
    auto small = shapes::Sphere({0.2f, 0.6f, 0.0f}, 0.815 - 0.031 + kTolerance / 2.0);
    EXPECT_TRUE(DetectPair(*ring, *small).empty());
    auto large = shapes::Sphere({0.2f, 0.6f, 0.0f}, 0.815 + 0.031 + kTolerance / 2.0);
    EXPECT_TRUE(DetectPair(*ring, *large).empty());
}

TEST_F(TorusDetectors, SphereOnRingAxisTouchesTheTube) {
    // every circle point is equally near: whichever the circle routine picks, the contact
    // lies on the tube on the line from that point to the sphere's centre
    auto ring = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    const Vector3 centre(0.0f, 0.5f, 0.0f);
    const double reach = std::sqrt(1.25) - 0.185;
    auto sphere = shapes::Sphere(centre, reach + 0.01 + kTolerance / 2.0);
    auto contacts = DetectPair(*sphere, *ring);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, -0.01, 1e-4);
    const Vector3 point = contacts[0].point;
    EXPECT_NEAR(std::hypot(point.x, point.z), 1.0 - 0.185 / std::sqrt(1.25), 1e-4);
    EXPECT_NEAR(Length(point - centre), reach, 1e-4);
    // sphere first: the normal points from the ring towards the sphere's centre
    EXPECT_VECTOR_NEAR(contacts[0].normal, Normalize(centre - point), 1e-4f);
}

TEST_F(TorusDetectors, FlatRingsSideBySideGiveTwoContacts) {
    auto first = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    auto second = shapes::Torus({2.38f, 0.0f, 0.0f}, 1.0);
    auto contacts = DetectPair(*first, *second);
    ASSERT_EQ(contacts.size(), 2u) << Describe(contacts);
    for (const Contact& c : contacts) {
        EXPECT_NEAR(c.distance, 0.01, 1e-5);
        EXPECT_VECTOR_NEAR(c.normal, Vector3(-1.0f, 0.0f, 0.0f), 1e-5f);
    }
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(1.185f, 0.0f, 0.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[1].point, Vector3(1.195f, 0.0f, 0.0f), 1e-5f);

    // apart beyond the band: nothing
    auto far = shapes::Torus({2.41f, 0.0f, 0.0f}, 1.0);
    EXPECT_TRUE(DetectPair(*first, *far).empty());
}

TEST_F(TorusDetectors, InterlockedRingsTouchFromBothSides) {
    // a flat ring at the origin and an upright one hanging on it: the upright ring's top
    // passes through the flat ring's hole and its tube rests on the flat ring's tube
    auto flat = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    auto hanging = shapes::Torus({1.0f, -0.63f, 0.0f}, 1.0, shapes::QuarterTurnX());
    auto contacts = DetectPair(*flat, *hanging);
    ASSERT_EQ(contacts.size(), 2u) << Describe(contacts);
    for (const Contact& c : contacts) {
        EXPECT_NEAR(c.distance, 0.0, 1e-4);
        EXPECT_VECTOR_NEAR(c.normal, Vector3(0.0f, -1.0f, 0.0f), 1e-3f);
        EXPECT_VECTOR_NEAR(c.point, Vector3(1.0f, 0.185f, 0.0f), 1e-3f);
    }
    auto reversed = DetectPair(*hanging, *flat);
    ASSERT_EQ(reversed.size(), 2u);
    for (const Contact& c : reversed) {
        EXPECT_VECTOR_NEAR(c.normal, Vector3(0.0f, 1.0f, 0.0f), 1e-3f);
    }
}

TEST_F(TorusDetectors, RingRingDistanceMatchesBruteForce) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> radius(0.3, 1.0);
    std::uniform_real_distribution<double> wanted(-0.025, 0.025);
    int checked = 0;
    for (int trial = 0; trial < 150; ++trial) {
        auto fixed = shapes::Torus({0.0f, 0.5f, 0.0f}, radius(random), shapes::RandomAngle(random));
        const RingShape fixedShape = ShapeOf(*fixed);
        const Vector3 angle = shapes::RandomAngle(random);
        auto moving = shapes::Torus(shapes::RandomDirection(random) * 1.5f, radius(random), angle);
        RingShape shape = ShapeOf(*moving);
        auto distanceAt = [&](double a) { return DistanceToCircle(fixedShape, shape.At(a)); };
        // the tubes of both rings take the place of one ring's tube
        RingShape both = shape;
        both.tube = shape.tube + fixedShape.tube;
        if (!PlaceAtGap(both, fixedShape.centre, wanted(random), distanceAt,
                        [&] { shape.centre = both.centre; })) {
            continue;
        }
        const double gap = MinimumOverCircle(distanceAt) - both.tube;
        moving = TorusAt(shape, angle);
        auto contacts = DetectPair(*moving, *fixed);
        ASSERT_FALSE(contacts.empty()) << "trial " << trial << " gap " << gap;
        for (const Contact& c : contacts) {
            EXPECT_NEAR(c.distance, gap, 2e-4) << "trial " << trial << Describe(contacts);
        }
        EXPECT_TRUE(UnitNormals(contacts));
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(TorusDetectors, RingFlatOnBoxFaceGivesOneFaceContact) {
    // box core 2.97 x 0.97 x 2.97, top face at 0.485; the ring's tube bottom 0.01 above it
    auto box = shapes::Box({0.0f, 0.0f, 0.0f}, {3.0f, 1.0f, 3.0f});
    auto ring = shapes::Torus({0.3f, 0.485f + 0.185f + 0.01f, -0.2f}, 1.0);
    auto contacts = DetectPair(*ring, *box);
    ASSERT_EQ(contacts.size(), 1u) << Describe(contacts);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.3f, 0.495f, -0.2f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 1e-6f);

    // the ring's centre beyond the face: the deepest point is not over it, no face contact
    auto beside = shapes::Torus({1.6f, 0.485f + 0.185f + 0.01f, 0.0f}, 1.0);
    for (const Contact& c : DetectPair(*beside, *box)) {
        EXPECT_GT(std::abs(c.point.x - 1.6f), 0.1f) << Describe({c});
    }
}

TEST_F(TorusDetectors, FlatRingOverSmallerFaceDoesNotRestOnItsHole) {
    // a flat ring (radius 1, tube 0.185) hovering over a small coin and a small box that fit
    // in its hole, its tube bottom 0.01 above their top faces: the tube is far beside them
    // (its inner edge 0.815 from the axis), so nothing touches
    auto coin = shapes::Disk({0.0f, 0.0f, 0.0f}, 0.4, 0.13);
    auto overCoin = shapes::Torus({0.0f, 0.05f + 0.185f + 0.01f, 0.0f}, 1.0);
    EXPECT_TRUE(DetectPair(*overCoin, *coin).empty()) << Describe(DetectPair(*overCoin, *coin));
    EXPECT_TRUE(DetectPair(*coin, *overCoin).empty());
    auto post = shapes::Box({0.1f, 0.0f, -0.1f}, {0.6f, 0.6f, 0.6f});
    auto overPost = shapes::Torus({0.0f, 0.285f + 0.185f + 0.01f, 0.0f}, 1.0);
    EXPECT_TRUE(DetectPair(*overPost, *post).empty()) << Describe(DetectPair(*overPost, *post));
    EXPECT_TRUE(DetectPair(*post, *overPost).empty());

    // a small flat ring on a wide coin still rests on the face below its centre
    auto wide = shapes::Disk({0.0f, 0.0f, 0.0f}, 1.0, 0.13);
    auto small = shapes::Torus({0.1f, 0.05f + 0.045f + 0.01f, 0.2f}, 0.3);
    auto contacts = DetectPair(*small, *wide);
    ASSERT_EQ(contacts.size(), 1u) << Describe(contacts);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.1f, 0.06f, 0.2f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 1e-6f);
}

TEST_F(TorusDetectors, RingOnBoxEdgeTouchesTheEdgeOncePerFace) {
    // an upright ring (plane z = 0) beside the box's +x/+y edge, its circle 0.095 from the
    // edge along the diagonal: the edge meets the 0.085 tube 0.01 away
    auto box = shapes::Box({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f});
    const float edge = 0.485f;
    const Vector3 diagonal = Normalize(Vector3(1.0f, 1.0f, 0.0f));
    auto ring =
        shapes::Torus(Vector3(edge, edge, 0.0f) + diagonal * (0.5f + 0.095f), 0.5, shapes::QuarterTurnX());
    auto contacts = DetectPair(*ring, *box);
    // the edge belongs to the +x and the +y face and is reported for each
    ASSERT_EQ(contacts.size(), 2u) << Describe(contacts);
    for (const Contact& c : contacts) {
        EXPECT_NEAR(c.distance, 0.01, 1e-4);
        EXPECT_VECTOR_NEAR(c.normal, diagonal, 1e-3f);
        EXPECT_VECTOR_NEAR(c.point, Vector3(edge, edge, 0.0f) + diagonal * 0.01f, 1e-3f);
    }

    // a ring whose plane holds the box's corner direction, its circle 0.095 from the corner:
    // a vertex contact at the corner
    const Vector3 cornerPoint(edge, edge, edge);
    auto tilted = shapes::Torus({}, 0.5, {0.0f, 0.0f, static_cast<float>(std::numbers::pi / 4.0)});
    const RingShape tiltedShape = ShapeOf(*tilted);
    const Vector3 axis = ToVector(tiltedShape.axis);
    const Vector3 outwards = Normalize(Vector3(1.0f, 1.0f, 1.0f));
    const Vector3 inPlane = Normalize(outwards - axis * Dot(outwards, axis));
    auto corner = shapes::Torus(cornerPoint + inPlane * (0.5f + 0.095f), 0.5,
                                {0.0f, 0.0f, static_cast<float>(std::numbers::pi / 4.0)});
    contacts = DetectPair(*corner, *box);
    auto vertex = std::find_if(contacts.begin(), contacts.end(),
                               [&](const Contact& c) { return Length(c.point - cornerPoint) < 1e-5f; });
    ASSERT_NE(vertex, contacts.end()) << Describe(contacts);
    EXPECT_NEAR(vertex->distance, 0.01, 1e-4);
    EXPECT_VECTOR_NEAR(vertex->normal, inPlane, 1e-3f);
}

TEST_F(TorusDetectors, RingBoxDistanceMatchesBruteForce) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> size(0.1f, 1.2f);
    std::uniform_real_distribution<double> radius(0.3, 1.0);
    std::uniform_real_distribution<double> wanted(-0.025, 0.025);
    int checked = 0;
    for (int trial = 0; trial < 200; ++trial) {
        auto box = shapes::Box({0.0f, 0.5f, 0.0f}, {size(random), size(random), size(random)},
                               shapes::RandomAngle(random));
        const Vector3 angle = shapes::RandomAngle(random);
        auto ring = shapes::Torus(Vector3(0.0f, 0.5f, 0.0f) + shapes::RandomDirection(random) * 1.5f,
                                  radius(random), angle);
        RingShape shape = ShapeOf(*ring);
        auto distanceAt = [&](double a) { return DistanceToBox(*box, shape.At(a)); };
        if (!PlaceAtGap(shape, FromVector(box->WorldPosition()), wanted(random), distanceAt, [] {})) {
            continue;
        }
        const double gap = MinimumOverCircle(distanceAt) - shape.tube;
        ring = TorusAt(shape, angle);
        auto contacts = DetectPair(*ring, *box);
        ASSERT_FALSE(contacts.empty()) << "trial " << trial << " gap " << gap;
        double nearest = 1e9;
        for (const Contact& c : contacts) {
            // no feature is nearer than the shapes are
            EXPECT_GE(c.distance, gap - 1e-4) << "trial " << trial << Describe(contacts);
            nearest = std::min(nearest, c.distance);
        }
        EXPECT_NEAR(nearest, gap, 1e-3) << "trial " << trial << Describe(contacts);
        EXPECT_TRUE(UnitNormals(contacts));
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(TorusDetectors, RingOnDiskFaceRimAndSide) {
    // disk of collision radius 0.985 and thickness 0.1 lying flat: top face at 0.05
    auto disk = shapes::Disk({0.0f, 0.0f, 0.0f}, 1.0, 0.13);

    // an upright ring of radius 0.5 (tube 0.085) standing on the face, 0.01 above it
    auto standing = shapes::Torus({0.2f, 0.05f + 0.5f + 0.085f + 0.01f, 0.0f}, 0.5, shapes::QuarterTurnX());
    auto contacts = DetectPair(*standing, *disk);
    ASSERT_EQ(contacts.size(), 1u) << Describe(contacts);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.2f, 0.06f, 0.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 1e-5f);

    // the same ring leaning on the rim along the diagonal: a rim contact at the rim point
    const Vector3 diagonal = Normalize(Vector3(1.0f, 1.0f, 0.0f));
    const Vector3 rimPoint(0.985f, 0.05f, 0.0f);
    auto leaning = shapes::Torus(rimPoint + diagonal * (0.5f + 0.095f), 0.5, shapes::QuarterTurnX());
    contacts = DetectPair(*leaning, *disk);
    ASSERT_EQ(contacts.size(), 1u) << Describe(contacts);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-4);
    EXPECT_VECTOR_NEAR(contacts[0].point, rimPoint, 1e-3f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, diagonal, 1e-3f);

    // a coin lying in the hole of a flat ring touches the tube with its side (the side
    // contact comes last), and its two rims lie within the band of the tube as well
    auto ring = shapes::Torus({0.0f, 0.0f, 0.0f}, 1.0);
    auto coin = shapes::Disk({0.0f, 0.0f, 0.0f}, 0.805 + kTolerance / 2.0, 0.13);
    contacts = DetectPair(*coin, *ring);
    ASSERT_EQ(contacts.size(), 3u) << Describe(contacts);
    const Contact& sideContact = contacts.back();
    EXPECT_NEAR(sideContact.distance, 0.01, 1e-4);
    EXPECT_NEAR(sideContact.point.y, 0.0, 1e-6);
    EXPECT_NEAR(std::hypot(sideContact.point.x, sideContact.point.z), 0.805, 1e-4);
    // coin first: the normal points from the ring inwards, towards the coin
    const Vector3 radial = Normalize(Vector3(sideContact.point.x, 0.0f, sideContact.point.z));
    EXPECT_VECTOR_NEAR(sideContact.normal, -radial, 1e-4f);
    for (int rim = 0; rim < 2; ++rim) {
        EXPECT_NEAR(contacts[rim].distance, std::hypot(0.05, 0.195) - 0.185, 1e-4);
        EXPECT_NEAR(std::abs(contacts[rim].point.y), 0.05, 1e-6);
        EXPECT_LT(Dot(contacts[rim].normal, Vector3(contacts[rim].point.x, 0.0f, contacts[rim].point.z)),
                  0.0f);
    }
}

TEST_F(TorusDetectors, RingHungOnThickDiskEdgeIsHeldByTheTopRim) {
    // a thick disk (collision thickness 0.4, top face at 0.2) with an upright ring hung over
    // its edge: the ring's centre lies below the top face, yet its tube rests on the top rim
    auto disk = shapes::Disk({0.0f, 0.0f, 0.0f}, 1.0, 0.43);
    auto ring = shapes::Torus({0.9f, -0.205f, 0.0f}, 0.5, shapes::QuarterTurnX());
    const RingShape shape = ShapeOf(*ring);
    const double rimGap = DistanceToCircle(shape, {0.985, 0.2, 0.0}) - shape.tube;
    ASSERT_LT(std::abs(rimGap), kTolerance);
    auto contacts = DetectPair(*ring, *disk);
    ASSERT_FALSE(contacts.empty());
    EXPECT_NEAR(contacts[0].distance, rimGap, 1e-4);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.985f, 0.2f, 0.0f), 1e-3f);
    // pushes the ring up and outwards
    EXPECT_GT(contacts[0].normal.y, 0.9f);
}

TEST_F(TorusDetectors, RingDiskDistanceMatchesBruteForce) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> diskRadius(0.1, 1.0);
    std::uniform_real_distribution<double> height(0.05, 0.8);
    std::uniform_real_distribution<double> radius(0.3, 1.0);
    std::uniform_real_distribution<double> wanted(-0.025, 0.025);
    int checked = 0;
    for (int trial = 0; trial < 200; ++trial) {
        auto disk =
            shapes::Disk({0.0f, 0.5f, 0.0f}, diskRadius(random), height(random), shapes::RandomAngle(random));
        const Vector3 angle = shapes::RandomAngle(random);
        auto ring = shapes::Torus(Vector3(0.0f, 0.5f, 0.0f) + shapes::RandomDirection(random) * 1.5f,
                                  radius(random), angle);
        RingShape shape = ShapeOf(*ring);
        auto distanceAt = [&](double a) { return DistanceToDisk(*disk, shape.At(a)); };
        if (!PlaceAtGap(shape, FromVector(disk->WorldPosition()), wanted(random), distanceAt, [] {})) {
            continue;
        }
        const double gap = MinimumOverCircle(distanceAt) - shape.tube;
        ring = TorusAt(shape, angle);
        auto contacts = DetectPair(*disk, *ring);
        ASSERT_FALSE(contacts.empty()) << "trial " << trial << " gap " << gap;
        double nearest = 1e9;
        for (const Contact& c : contacts) {
            // the face test accepts points up to the tolerance beyond the rim, measured
            // straight down to the face plane, so it may read a little short there
            EXPECT_GE(c.distance, gap - 0.01) << "trial " << trial << Describe(contacts);
            nearest = std::min(nearest, c.distance);
        }
        EXPECT_NEAR(nearest, gap, 1e-3) << "trial " << trial << " gap " << gap << Describe(contacts);
        EXPECT_TRUE(UnitNormals(contacts));
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(TorusDetectors, NonFinitePositionsGiveNoContacts) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    FieldItemTestBody land(L"land");
    auto ring = shapes::Torus({0.0f, 0.2f, 0.0f}, 1.0);
    auto sphere = shapes::Sphere({0.0f, 0.0f, 0.0f}, 0.5);
    auto box = shapes::Box({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f});
    auto disk = shapes::Disk({0.0f, 0.0f, 0.0f}, 0.5, 0.1);
    for (const Vector3& bad :
         {Vector3(nan, 0.2f, 0.0f), Vector3(0.0f, inf, 0.0f), Vector3(0.0f, 0.0f, -inf)}) {
        auto lostRing = shapes::Torus(bad, 1.0);
        auto lostSphere = shapes::Sphere(bad, 0.5);
        auto lostBox = shapes::Box(bad, {1.0f, 1.0f, 1.0f});
        auto lostDisk = shapes::Disk(bad, 0.5, 0.1);
        for (auto [first, second] : {std::pair<FieldItem*, FieldItem*>{lostRing.get(), &land},
                                     {ring.get(), lostSphere.get()},
                                     {lostRing.get(), sphere.get()},
                                     {ring.get(), lostRing.get()},
                                     {lostRing.get(), ring.get()},
                                     {ring.get(), lostBox.get()},
                                     {lostRing.get(), box.get()},
                                     {ring.get(), lostDisk.get()},
                                     {lostRing.get(), disk.get()}}) {
            const std::vector<Contact> contacts = DetectPair(*first, *second);
            EXPECT_TRUE(contacts.empty()) << Describe(contacts);
        }
    }
}

TEST_F(TorusDetectors, DetectorsAllocateNothingBeyondTheirContacts) {
    FieldItemTestBody land(L"land");
    auto ring = shapes::Torus({0.0f, 0.2f, 0.0f}, 1.0);
    auto other = shapes::Torus({2.38f, 0.2f, 0.0f}, 1.0);
    auto sphere = shapes::Sphere({0.2f, 0.8f, 0.0f}, 0.83);
    auto box = shapes::Box({0.0f, -0.495f, 0.0f}, {3.0f, 1.0f, 3.0f});
    auto disk = shapes::Disk({0.0f, -0.025f, 0.0f}, 1.0, 0.13);
    auto ray = shapes::Ray({-5.0f, 0.2f, 0.1f}, {1.0f, 0.0f, 0.0f});
    std::vector<Contact> contacts;
    contacts.reserve(256);
    const CollideSettings settings;
    auto runAll = [&] {
        CollisionDetectTorusLand().Detect(*ring, land, settings, contacts);
        CollisionDetectTorusSphere().Detect(*ring, *sphere, settings, contacts);
        CollisionDetectTorusTorus().Detect(*ring, *other, settings, contacts);
        CollisionDetectTorusBox().Detect(*ring, *box, settings, contacts);
        CollisionDetectTorusDisk().Detect(*ring, *disk, settings, contacts);
        CollisionDetectRaySphere().Detect(*ray, *sphere, settings, contacts);
        CollisionDetectRayBox().Detect(*ray, *box, settings, contacts);
        CollisionDetectRayDisk().Detect(*ray, *disk, settings, contacts);
        CollisionDetectRayTorus().Detect(*ray, *ring, settings, contacts);
    };
    // once to create whatever is made on first use
    runAll();
    const size_t firstRun = contacts.size();
    contacts.clear();
    allocationCount = 0;
    countingAllocations = true;
    runAll();
    countingAllocations = false;
    if (KIVARO_COUNTS_ALLOCATIONS) {
        EXPECT_EQ(allocationCount.load(), 0);
    }
    // the calls did real work: every ring detector found its contact
    EXPECT_EQ(contacts.size(), firstRun);
    EXPECT_GE(contacts.size(), 7u) << Describe(contacts);
}
