// Closest-point routines against exact cases and against brute-force searches over
// sampled points for random shapes in general position.

#include "collision/CollisionGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "collision/Vector3d.h"
#include "support/TestSupport.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using geometry::ToVector3d;
using geometry::Vector3d;
Vector3d Unit(const Vector3d& v) {
    return v * (1.0 / Norm(v));
}

class RandomShapes {
public:
    explicit RandomShapes(unsigned seed) : engine_(seed) {}
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(engine_);
    }
    Vector3 Point(double extent) {
        return {static_cast<float>(Uniform(-extent, extent)), static_cast<float>(Uniform(-extent, extent)),
                static_cast<float>(Uniform(-extent, extent))};
    }
    Vector3 Direction() {
        for (;;) {
            Vector3 v = Point(1.0);
            float length = Length(v);
            if (length > 0.2f && length <= 1.0f) {
                return Normalize(v);
            }
        }
    }
    Circle MakeCircle(double extent) { return {Point(extent), Direction(), Uniform(0.2, 1.5)}; }

private:
    std::mt19937 engine_;
};

/// Exact distance from a point to a circle (not through the routine under test).
double DistanceToCircle(const Vector3d& p, const Circle& circle) {
    Vector3d n = Unit(ToVector3d(circle.normal));
    Vector3d w = p - ToVector3d(circle.centre);
    double h = Dot(w, n);
    double rho = std::sqrt(std::max(0.0, Dot(w, w) - h * h));
    return std::sqrt(h * h + (rho - circle.radius) * (rho - circle.radius));
}

Vector3d CirclePoint(const Circle& circle, double theta) {
    Vector3d n = Unit(ToVector3d(circle.normal));
    Vector3d helper = std::fabs(n.x) < 0.6 ? Vector3d{1, 0, 0} : Vector3d{0, 1, 0};
    Vector3d u = Unit(Cross(n, helper));
    Vector3d v = Cross(n, u);
    return ToVector3d(circle.centre) + (u * std::cos(theta) + v * std::sin(theta)) * circle.radius;
}

/// Brute force: the smallest distance from sampled points of circle a to circle b.
double BruteForceCircles(const Circle& a, const Circle& b, int samples) {
    double best = std::numeric_limits<double>::max();
    for (int k = 0; k < samples; ++k) {
        best = std::min(best, DistanceToCircle(CirclePoint(a, 2.0 * kPi * k / samples), b));
    }
    return best;
}

bool OnCircle(const Vector3& point, const Circle& circle, double tolerance) {
    return DistanceToCircle(ToVector3d(point), circle) <= tolerance;
}

} // namespace

TEST(CollisionGeometry, ClosestPointOnCircleProjectsAndNudgesOffTheAxis) {
    Contact result;
    // a point beside a horizontal unit circle at the origin
    ClosestPointOnCircle({3.0f, 4.0f, 0.0f}, {}, {0.0f, 1.0f, 0.0f}, 1.0, result);
    EXPECT_VECTOR_NEAR(result.point, Vector3(1.0f, 0.0f, 0.0f), 1e-6f);
    EXPECT_NEAR(result.distance, std::sqrt(4.0 + 16.0), 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Normalize(Vector3(2.0f, 4.0f, 0.0f)), 1e-6f);

    // a point on the axis: nudged by +0.0001 on x and z, so the answer lies towards (1, 0, 1)
    ClosestPointOnCircle({0.0f, 2.0f, 0.0f}, {}, {0.0f, 1.0f, 0.0f}, 1.0, result);
    EXPECT_VECTOR_NEAR(result.point, Vector3(0.70710678f, 0.0f, 0.70710678f), 1e-5f);
    EXPECT_NEAR(result.distance, std::sqrt(5.0), 1e-5);
    EXPECT_NEAR(Length(result.normal), 1.0f, 1e-6f);

    // random points against a fine sampling of random circles
    RandomShapes random(11);
    for (int trial = 0; trial < 200; ++trial) {
        Circle circle = random.MakeCircle(1.0);
        Vector3 p = random.Point(2.0);
        ClosestPointOnCircle(p, circle.centre, circle.normal, circle.radius, result);
        double brute = std::numeric_limits<double>::max();
        for (int k = 0; k < 4000; ++k) {
            brute = std::min(brute, Norm(ToVector3d(p) - CirclePoint(circle, 2.0 * kPi * k / 4000)));
        }
        EXPECT_TRUE(OnCircle(result.point, circle, 2e-6));
        EXPECT_LE(result.distance, brute + 1e-6);
        EXPECT_NEAR(result.distance, Norm(ToVector3d(p) - ToVector3d(result.point)), 2e-6);
        EXPECT_VECTOR_NEAR(result.point + result.normal * static_cast<float>(result.distance), p, 2e-5f);
    }
}

TEST(CollisionGeometry, ClosestPointsOfCirclesFindTheGlobalMinimumInGeneralPosition) {
    RandomShapes random(7);
    int crossingOrTouching = 0;
    for (int trial = 0; trial < 400; ++trial) {
        // half the trials close together, so that many pairs touch, link or nearly touch
        Circle a = random.MakeCircle(trial % 2 == 0 ? 0.4 : 1.5);
        Circle b = random.MakeCircle(trial % 2 == 0 ? 0.4 : 1.5);
        Contact forward, backward;
        ClosestPointsOfCircles(a, b, forward);
        ClosestPointsOfCircles(b, a, backward);
        double brute = BruteForceCircles(a, b, 6000);
        crossingOrTouching += brute < 0.05 ? 1 : 0;

        // a realisable pair (points on their circles, the stated distance between them) that is
        // no farther apart than the best sampled pair is the nearest pair
        ASSERT_TRUE(OnCircle(forward.point, a, 5e-6)) << "trial " << trial;
        Vector3 onB = forward.point - forward.normal * static_cast<float>(forward.distance);
        EXPECT_TRUE(OnCircle(onB, b, 5e-6)) << "trial " << trial;
        EXPECT_LE(forward.distance, brute + 1e-6) << "trial " << trial;
        EXPECT_TRUE(OnCircle(backward.point, b, 5e-6)) << "trial " << trial;
        EXPECT_LE(backward.distance, brute + 1e-6) << "trial " << trial;
        EXPECT_NEAR(forward.distance, backward.distance, 1e-5) << "trial " << trial;
        if (forward.distance > 1e-3) {
            EXPECT_NEAR(Length(forward.normal), 1.0f, 1e-5f);
            // the nearest pair is unique in general position: the two orders see the same
            // pair with opposite normals
            EXPECT_VECTOR_NEAR(forward.normal, -backward.normal, 2e-3f) << "trial " << trial;
        }
    }
    EXPECT_GT(crossingOrTouching, 20);
}

TEST(CollisionGeometry, ClosestPointsOfCirclesStatedCases) {
    Contact result;
    // two flat rings of radius 1 side by side, centres 2.38 apart: nearest points on the x axis
    ClosestPointsOfCircles({{-1.19f, 0, 0}, {0, 1, 0}, 1.0}, {{1.19f, 0, 0}, {0, 1, 0}, 1.0}, result);
    EXPECT_VECTOR_NEAR(result.point, Vector3(-0.19f, 0, 0), 1e-5f);
    EXPECT_NEAR(result.distance, 0.38, 1e-5);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(-1, 0, 0), 1e-5f);

    // two coaxial circles one above the other: every pair is nearest, at the height difference
    ClosestPointsOfCircles({{0, 0.3f, 0}, {0, 1, 0}, 0.5}, {{0, 0, 0}, {0, 1, 0}, 0.5}, result);
    EXPECT_NEAR(result.distance, 0.3, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(0, 1, 0), 1e-5f);

    // linked rings at a right angle, the small one centred on the big one's rim: the rim point
    // lies on the small ring's axis, 0.25 from every point of it
    ClosestPointsOfCircles({{0, 0, 0}, {0, 1, 0}, 1.0}, {{1.0f, 0, 0}, {0, 0, 1}, 0.25}, result);
    EXPECT_NEAR(result.distance, 0.25, 1e-5);

    // nearly tangent coplanar circles, where plain alternating projection crawls
    ClosestPointsOfCircles({{0, 0, 0}, {0, 0, 1}, 1.0}, {{2.0001f, 0, 0}, {0, 0, 1}, 1.0}, result);
    EXPECT_NEAR(result.distance, 0.0001, 1e-6);
    EXPECT_VECTOR_NEAR(result.point, Vector3(1, 0, 0), 1e-5f);
}

TEST(CollisionGeometry, ClosestPointOnSegmentClampsOrRejectsTheFoot) {
    Contact result;
    EXPECT_TRUE(ClosestPointOnSegment({0.5f, 1, 0}, {0, 0, 0}, {2, 0, 0}, false, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(0.5f, 0, 0), 1e-6f);
    EXPECT_NEAR(result.distance, 1.0, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(0, 1, 0), 1e-6f);

    result.distance = 99.0;
    EXPECT_FALSE(ClosestPointOnSegment({-1, 1, 0}, {0, 0, 0}, {2, 0, 0}, false, result));
    EXPECT_EQ(result.distance, 99.0) << "nothing is written without a result";

    EXPECT_TRUE(ClosestPointOnSegment({-1, 1, 0}, {0, 0, 0}, {2, 0, 0}, true, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(0, 0, 0), 1e-6f);
    EXPECT_NEAR(result.distance, std::sqrt(2.0), 1e-6);
    EXPECT_TRUE(ClosestPointOnSegment({3, 0, 0}, {0, 0, 0}, {2, 0, 0}, true, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(2, 0, 0), 1e-6f);

    // a segment of zero length is its start point, never a division by zero
    EXPECT_TRUE(ClosestPointOnSegment({1, 1, 0}, {0, 0, 0}, {0, 0, 0}, true, result));
    EXPECT_NEAR(result.distance, std::sqrt(2.0), 1e-6);
}

TEST(CollisionGeometry, ClosestPointsOfSegmentsMatchBruteForceAndHandleParallels) {
    Contact result;
    // crossing at right angles, 1 apart
    ASSERT_TRUE(ClosestPointsOfSegments({-1, 0, 0}, {2, 0, 0}, {0, -1, -1}, {0, 0, 2}, false, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(0, 0, 0), 1e-6f);
    EXPECT_NEAR(result.distance, 1.0, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(0, 1, 0), 1e-6f);

    // the lines' nearest pair lies beyond the end of segment 2: rejected without clamping,
    // clamped to segment 2's end with clamping
    EXPECT_FALSE(ClosestPointsOfSegments({-1, 0, 0}, {2, 0, 0}, {0, -1, 1}, {0, 0, 2}, false, result));
    ASSERT_TRUE(ClosestPointsOfSegments({-1, 0, 0}, {2, 0, 0}, {0, -1, 1}, {0, 0, 2}, true, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(0, 0, 0), 1e-6f);
    EXPECT_NEAR(result.distance, std::sqrt(2.0), 1e-6);

    // parallel segments side by side: the middle of the overlap, 0.5 apart
    ASSERT_TRUE(ClosestPointsOfSegments({0, 0, 0}, {0, 2, 0}, {0.5f, 1, 0}, {0, 2, 0}, false, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(0, 1.5f, 0), 1e-6f);
    EXPECT_NEAR(result.distance, 0.5, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(-1, 0, 0), 1e-6f);
    // parallel without overlap: nothing unclamped, the facing end points clamped
    EXPECT_FALSE(ClosestPointsOfSegments({0, 0, 0}, {0, 1, 0}, {0.5f, 2, 0}, {0, 1, 0}, false, result));
    ASSERT_TRUE(ClosestPointsOfSegments({0, 0, 0}, {0, 1, 0}, {0.5f, 2, 0}, {0, 1, 0}, true, result));
    EXPECT_NEAR(result.distance, std::sqrt(0.25 + 1.0), 1e-6);

    // random clamped pairs against sampled segment 1 with an exact projection onto segment 2
    RandomShapes random(5);
    for (int trial = 0; trial < 300; ++trial) {
        Vector3 s1 = random.Point(1.0), d1 = random.Point(1.0), s2 = random.Point(1.0),
                d2 = random.Point(1.0);
        ASSERT_TRUE(ClosestPointsOfSegments(s1, d1, s2, d2, true, result));
        double brute = std::numeric_limits<double>::max();
        for (int k = 0; k <= 2000; ++k) {
            Contact onTwo;
            Vector3 p = s1 + d1 * (k / 2000.0f);
            ClosestPointOnSegment(p, s2, s2 + d2, true, onTwo);
            brute = std::min(brute, onTwo.distance);
        }
        EXPECT_LE(result.distance, brute + 1e-6) << "trial " << trial;
        EXPECT_GE(result.distance, brute - 2e-3) << "trial " << trial;
        Contact onOne;
        ClosestPointOnSegment(result.point, s1, s1 + d1, false, onOne);
        EXPECT_LT(onOne.distance, 1e-5) << "the point lies on segment 1";

        // without clamping, a result is the same pair
        Contact unclamped;
        if (ClosestPointsOfSegments(s1, d1, s2, d2, false, unclamped)) {
            EXPECT_NEAR(unclamped.distance, result.distance, 1e-5);
        }
    }
}

TEST(CollisionGeometry, ClosestPointsOfSegmentAndCircleMatchBruteForce) {
    Contact result;
    // a vertical segment beside a flat unit circle: nearest at the circle's height
    Circle flat{{0, 0, 0}, {0, 1, 0}, 1.0};
    ASSERT_TRUE(ClosestPointsOfSegmentAndCircle({1.5f, -1, 0}, {1.5f, 1, 0}, flat, result));
    EXPECT_VECTOR_NEAR(result.point, Vector3(1.5f, 0, 0), 1e-6f);
    EXPECT_NEAR(result.distance, 0.5, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(1, 0, 0), 1e-6f);
    // a caller's limit: pairs at or beyond it are no result
    EXPECT_FALSE(ClosestPointsOfSegmentAndCircle({1.5f, -1, 0}, {1.5f, 1, 0}, flat, result, 0.4));
    EXPECT_TRUE(ClosestPointsOfSegmentAndCircle({1.5f, -1, 0}, {1.5f, 1, 0}, flat, result, 0.51));
    EXPECT_NEAR(result.distance, 0.5, 1e-6);
    // the same segment lifted so that its nearest point would be its lower end: no result
    EXPECT_FALSE(ClosestPointsOfSegmentAndCircle({1.5f, 0.5f, 0}, {1.5f, 2, 0}, flat, result));
    // a horizontal segment passing above the rim at height 0.01: nearest where it crosses
    ASSERT_TRUE(ClosestPointsOfSegmentAndCircle({-2, 0.01f, 0.5f}, {2, 0.01f, 0.5f}, flat, result));
    EXPECT_NEAR(result.distance, 0.01, 1e-6);
    EXPECT_NEAR(std::fabs(result.point.x), std::sqrt(0.75), 1e-5);

    RandomShapes random(3);
    int interior = 0;
    for (int trial = 0; trial < 400; ++trial) {
        Circle circle = random.MakeCircle(0.5);
        Vector3 start = random.Point(1.5), end = random.Point(1.5);
        constexpr int samples = 20000;
        double brute = std::numeric_limits<double>::max();
        int bestIndex = 0;
        for (int k = 0; k <= samples; ++k) {
            Vector3d p = ToVector3d(start) +
                         (ToVector3d(end) - ToVector3d(start)) * (static_cast<double>(k) / samples);
            double distance = DistanceToCircle(p, circle);
            if (distance < brute) {
                brute = distance, bestIndex = k;
            }
        }
        bool found = ClosestPointsOfSegmentAndCircle(start, end, circle, result);
        // with a limit, the same answer for pairs within it and none beyond it
        Contact limited;
        const double limit = 0.1;
        bool foundWithin = ClosestPointsOfSegmentAndCircle(start, end, circle, limited, limit);
        if (found && result.distance < limit * 0.99) {
            EXPECT_TRUE(foundWithin) << "trial " << trial;
            EXPECT_NEAR(limited.distance, result.distance, 1e-9);
        }
        if (foundWithin) {
            EXPECT_LT(limited.distance, limit);
        }
        if (found) {
            // a realisable pair: on the segment, on the circle, perpendicular to the segment
            Contact onSegment;
            ClosestPointOnSegment(result.point, start, end, false, onSegment);
            EXPECT_LT(onSegment.distance, 1e-5);
            EXPECT_TRUE(
                OnCircle(result.point - result.normal * static_cast<float>(result.distance), circle, 1e-5));
            if (result.distance > 1e-3) {
                EXPECT_LT(
                    std::fabs(Dot(ToVector3d(result.normal), Unit(ToVector3d(end) - ToVector3d(start)))),
                    1e-3);
            }
        }
        // a global minimum well inside the segment must be found, and not beaten by sampling
        if (bestIndex > samples / 50 && bestIndex < samples - samples / 50) {
            ++interior;
            ASSERT_TRUE(found) << "trial " << trial;
            EXPECT_LE(result.distance, brute + 1e-6) << "trial " << trial;
        }
    }
    EXPECT_GT(interior, 100);
}

TEST(CollisionGeometry, PointOverFaceAndPointInFacePolygon) {
    Contact result;
    // a disk face of radius 0.5 at height 1 facing up
    ASSERT_TRUE(PointOverFace({0.3f, 1.02f, 0.3f}, {0, 1, 0}, {0, 1, 0}, 0.5, result));
    EXPECT_NEAR(result.distance, 0.02, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, Vector3(0, -1, 0), 0.0f);
    EXPECT_VECTOR_NEAR(result.point, Vector3(0.3f, 1.02f, 0.3f), 0.0f);
    EXPECT_FALSE(PointOverFace({0.4f, 0.9f, 0.4f}, {0, 1, 0}, {0, 1, 0}, 0.5, result));
    ASSERT_TRUE(PointOverFace({0, 0.9f, 0.5f}, {0, 1, 0}, {0, 1, 0}, 0.5, result));
    EXPECT_NEAR(result.distance, -0.1, 1e-6) << "below the face the height is negative";

    // the +x face of a unit cube in the box's vertex and face order (0, 1, 3, 2)
    Vector3 v0{0.5f, 0.5f, -0.5f}, v1{0.5f, 0.5f, 0.5f}, v2{0.5f, -0.5f, -0.5f}, v3{0.5f, -0.5f, 0.5f};
    Vector3 normal{1, 0, 0};
    EXPECT_TRUE(PointInFacePolygon({0.7f, 0.1f, 0.2f}, v0, v1, v3, v2, normal, result));
    EXPECT_NEAR(result.distance, 0.2, 1e-6);
    EXPECT_VECTOR_NEAR(result.normal, normal, 0.0f);
    EXPECT_TRUE(PointInFacePolygon({0.4f, 0.3f, 0.3f}, v0, v1, v3, v2, normal, result));
    EXPECT_NEAR(result.distance, -0.1, 1e-6);
    // on the shared diagonal and on an edge count as within
    EXPECT_TRUE(PointInFacePolygon({0.5f, 0.2f, 0.2f}, v0, v1, v3, v2, normal, result));
    EXPECT_TRUE(PointInFacePolygon({0.5f, 0.5f, 0.0f}, v0, v1, v3, v2, normal, result));
    EXPECT_FALSE(PointInFacePolygon({0.6f, 0.51f, 0.0f}, v0, v1, v3, v2, normal, result));
    EXPECT_FALSE(PointInFacePolygon({0.6f, 0.0f, -0.6f}, v0, v1, v3, v2, normal, result));
    EXPECT_NEAR(result.distance, 0.1, 1e-6) << "the height is written even outside";
    // the same with the loop in the opposite order
    EXPECT_TRUE(PointInFacePolygon({0.7f, -0.45f, 0.45f}, v2, v3, v1, v0, normal, result));
    EXPECT_FALSE(PointInFacePolygon({0.7f, -0.55f, 0.45f}, v2, v3, v1, v0, normal, result));
}

TEST(CollisionGeometry, CirclePointDeepestTowardsAPlane) {
    // an upright circle: its lowest point towards the ground
    Vector3 lowest = CirclePointDeepestTowards({0, 1, 0}, {0, 0, 1}, 0.5, {0, 1, 0});
    EXPECT_VECTOR_NEAR(lowest, Vector3(0, 0.5f, 0), 1e-6f);
    // parallel to the plane: the centre
    EXPECT_VECTOR_NEAR(CirclePointDeepestTowards({1, 1, 1}, {0, 1, 0}, 0.5, {0, 1, 0}), Vector3(1, 1, 1),
                       0.0f);
    EXPECT_VECTOR_NEAR(CirclePointDeepestTowards({1, 1, 1}, {0, -1, 0}, 0.5, {0, 1, 0}), Vector3(1, 1, 1),
                       0.0f);

    RandomShapes random(9);
    for (int trial = 0; trial < 100; ++trial) {
        Circle circle = random.MakeCircle(1.0);
        Vector3 planeNormal = random.Direction();
        Vector3 deepest = CirclePointDeepestTowards(circle.centre, circle.normal, circle.radius, planeNormal);
        double brute = std::numeric_limits<double>::max();
        for (int k = 0; k < 3600; ++k) {
            brute = std::min(brute, Dot(CirclePoint(circle, 2.0 * kPi * k / 3600), ToVector3d(planeNormal)));
        }
        EXPECT_TRUE(OnCircle(deepest, circle, 2e-6));
        EXPECT_LE(Dot(ToVector3d(deepest), ToVector3d(planeNormal)), brute + 1e-6);
    }
}
