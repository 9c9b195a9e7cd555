// Box against land and box against box: the stated resting, stacking, tilting and
// edge-on-edge cases, both argument orders, and random poses against a reference distance.

#include "collision/CollisionDetectBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "physics/FieldItemBox.h"
#include "physics/FieldItemLand.h"
#include "support/ConvexReference.h"
#include "support/DetectPair.h"
#include "support/PrimitiveShapes.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;
constexpr float kHalfDiagonal45 = 0.70710678f;

std::unique_ptr<FieldItemBox> MakeBox(const Vector3& size, const Vector3& position,
                                      const Vector3& angle = {}) {
    return shapes::Box(position, size, angle);
}

std::vector<Contact> Detect(const FieldItem& first, const FieldItem& second) {
    return DetectPair(first, second);
}

convex_reference::Solid BoxSolid(FieldItemBox& box) {
    return convex_reference::BoxSolid(box, box.CoreSizeX() / 2.0, box.CoreSizeY() / 2.0,
                                      box.CoreSizeZ() / 2.0);
}

Vector3 RandomSize(convex_reference::RandomPoses& random) {
    return {static_cast<float>(random.Uniform(0.2, 1.2)), static_cast<float>(random.Uniform(0.2, 1.2)),
            static_cast<float>(random.Uniform(0.2, 1.2))};
}

using convex_reference::MoveTo;
using convex_reference::PlaceAtDistance;
using convex_reference::RandomPoses;

} // namespace

TEST(CollisionDetectBox, BoxOnLandTouchesAtItsLowestVertexThenItsOtherCornersInTheBand) {
    FieldItemLand land;

    // a unit box resting flat: first the vertex c - ex - ey - ez, 0.015 above the plane, then
    // the three other lower corners
    auto box = MakeBox({1, 1, 1}, {2, 0.5f, 3});
    std::vector<Contact> boxFirst = Detect(*box, land);
    ASSERT_EQ(boxFirst.size(), 4u);
    EXPECT_NEAR(boxFirst[0].distance, 0.015, 1e-6);
    EXPECT_VECTOR_NEAR(boxFirst[0].point, Vector3(1.515f, 0.015f, 2.515f), 1e-6f);
    EXPECT_VECTOR_NEAR(boxFirst[0].normal, Vector3(0, 1, 0), 0.0f);
    for (const Vector3& corner : {Vector3(2.485f, 0.015f, 2.515f), Vector3(1.515f, 0.015f, 3.485f),
                                  Vector3(2.485f, 0.015f, 3.485f)}) {
        EXPECT_EQ(std::count_if(boxFirst.begin(), boxFirst.end(),
                                [&](const Contact& c) { return VectorNear(c.point, corner, 1e-6f); }),
                  1);
    }

    // out of the tolerance band above, any depth below
    MoveTo(*box, {0, 0.52f, 0});
    EXPECT_TRUE(Detect(*box, land).empty());
    MoveTo(*box, {0, -3.0f, 0});
    ASSERT_EQ(Detect(*box, land).size(), 8u);
    EXPECT_NEAR(Detect(*box, land)[0].distance, -3.485, 1e-5);

    // tilted 45° on an edge along z: the level z half-axis takes the minus sign
    auto tilted = MakeBox({1, 1, 1}, {0, 0.68f, 0}, {0, 0, 0.78539816f});
    std::vector<Contact> edge = Detect(*tilted, land);
    ASSERT_EQ(edge.size(), 2u);
    EXPECT_NEAR(edge[0].distance, 0.68 - 0.97 * kHalfDiagonal45, 1e-5);
    EXPECT_VECTOR_NEAR(edge[0].point, Vector3(0, 0.68f - 0.97f * kHalfDiagonal45, -0.485f), 1e-5f);
    // and the other end of the edge
    EXPECT_VECTOR_NEAR(edge[1].point, Vector3(0, 0.68f - 0.97f * kHalfDiagonal45, 0.485f), 1e-5f);

    // random poses: the height of the lowest of the eight core vertices first, then every other
    // vertex within the band
    RandomPoses random(21);
    for (int trial = 0; trial < 100; ++trial) {
        auto posed = MakeBox(RandomSize(random), {0, static_cast<float>(random.Uniform(-0.2, 0.8)), 0},
                             random.Rotation());
        double lowest = 1e9;
        Vector3 lowestVertex;
        std::size_t inBand = 0;
        for (const Vector3& local : posed->Vertices()) {
            Vector3 world = local;
            posed->ToWorld(world);
            world += posed->WorldPosition();
            inBand += world.y <= kTolerance ? 1 : 0;
            if (world.y < lowest) {
                lowest = world.y, lowestVertex = world;
            }
        }
        std::vector<Contact> contacts = Detect(land, *posed);
        if (lowest > kTolerance + 1e-5) {
            EXPECT_TRUE(contacts.empty());
        } else if (lowest <= kTolerance - 1e-5) {
            ASSERT_FALSE(contacts.empty());
            EXPECT_NEAR(static_cast<double>(contacts.size()), static_cast<double>(inBand), 1.0);
            EXPECT_NEAR(contacts[0].distance, lowest, 1e-5);
            EXPECT_VECTOR_NEAR(contacts[0].point, lowestVertex, 1e-5f);
            for (const Contact& contact : contacts) {
                EXPECT_LE(contact.distance, kTolerance);
                EXPECT_NEAR(contact.distance, contact.point.y, 1e-5);
            }
        }
    }
}

TEST(CollisionDetectBox, StackedUnitBoxesTouchFaceOnFaceWithTheToleranceAsSeparation) {
    auto lower = MakeBox({1, 1, 1}, {0, 0.5f, 0});
    auto upper = MakeBox({1, 1, 1}, {0, 1.5f, 0});

    // the first box's y axis wins over the second's (same separation, earlier in the order);
    // the first contact is the second box's vertex deepest towards the first, ties taking +1,
    // then the second box's three other corners on the face
    std::vector<Contact> contacts = Detect(*lower, *upper);
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.485f, 1.015f, 0.485f), 1e-6f);
    for (const Contact& contact : contacts) {
        EXPECT_NEAR(contact.distance, kTolerance, 1e-6);
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, -1, 0), 1e-6f);
        EXPECT_NEAR(std::fabs(contact.point.x), 0.485f, 1e-6f);
        EXPECT_NEAR(contact.point.y, 1.015f, 1e-6f);
        EXPECT_NEAR(std::fabs(contact.point.z), 0.485f, 1e-6f);
    }

    std::vector<Contact> swapped = Detect(*upper, *lower);
    ASSERT_EQ(swapped.size(), 4u);
    EXPECT_VECTOR_NEAR(swapped[0].point, Vector3(0.485f, 0.985f, 0.485f), 1e-6f);
    for (const Contact& contact : swapped) {
        EXPECT_NEAR(contact.distance, kTolerance, 1e-6);
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, 1, 0), 1e-6f);
        EXPECT_NEAR(contact.point.y, 0.985f, 1e-6f);
    }

    // a smaller box on a larger one: its four lower corners, whichever box is first (with the
    // small box first, the larger box's deepest vertex lies outside the touching patch and is
    // left out)
    auto small = MakeBox({0.5f, 0.5f, 0.5f}, {0.1f, 1.25f, -0.1f});
    for (bool smallFirst : {true, false}) {
        std::vector<Contact> corners = smallFirst ? Detect(*small, *lower) : Detect(*lower, *small);
        ASSERT_EQ(corners.size(), 4u) << smallFirst;
        for (const Contact& contact : corners) {
            EXPECT_NEAR(contact.distance, kTolerance, 1e-6);
            EXPECT_NEAR(std::fabs(contact.point.x - 0.1f), 0.235f, 1e-6f);
            EXPECT_NEAR(std::fabs(contact.point.z + 0.1f), 0.235f, 1e-6f);
        }
    }

    // apart by more than the tolerance along a face normal, whatever the other axes say
    MoveTo(*upper, {0.3f, 1.505f, -0.2f});
    EXPECT_TRUE(Detect(*lower, *upper).empty());
    // interpenetrating by more than the tolerance on every axis
    MoveTo(*upper, {0.1f, 0.6f, 0.05f});
    EXPECT_TRUE(Detect(*lower, *upper).empty());
    MoveTo(*upper, {0.0f, 0.5f, 0.0f});
    EXPECT_TRUE(Detect(*lower, *upper).empty());
}

TEST(CollisionDetectBox, ParallelEdgesLeaveOnlyTheFaceAxes) {
    // side by side along x, interpenetrating by 0.01: a zero-length cross axis taken as an axis
    // would show separation 0 and win over the true face axis
    auto left = MakeBox({1, 1, 1}, {0, 0.5f, 0});
    auto right = MakeBox({1, 1, 1}, {0.96f, 0.8f, 0.3f});
    std::vector<Contact> contacts = Detect(*right, *left);
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_NEAR(contacts[0].distance, -0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(1, 0, 0), 1e-6f);
    // the first box's face axis: the second box's vertex deepest towards the first, then the
    // other corners of the patch where the two faces overlap, on the second box's face
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.485f, 0.985f, 0.485f), 1e-6f);
    for (const Vector3& corner : {Vector3(0.485f, 0.985f, -0.185f), Vector3(0.485f, 0.315f, -0.185f),
                                  Vector3(0.485f, 0.315f, 0.485f)}) {
        EXPECT_EQ(std::count_if(contacts.begin(), contacts.end(),
                                [&](const Contact& c) { return VectorNear(c.point, corner, 1e-5f); }),
                  1);
    }
    for (const Contact& contact : contacts) {
        EXPECT_NEAR(contact.distance, -0.01, 1e-5);
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(1, 0, 0), 1e-6f);
    }
}

TEST(CollisionDetectBox, CrossedEdgesAt45DegreesTouchOnAnEdgeAxis) {
    // the upper box stands on an edge along z, the lower one on an edge along x, so that the
    // upper one's lowest edge crosses the lower one's highest edge 0.01 above it
    const float reach = 0.485f * std::sqrt(2.0f);
    auto lower = MakeBox({1, 1, 1}, {0, 0, 0}, {0.78539816f, 0, 0});
    auto upper = MakeBox({1, 1, 1}, {0, 2 * reach + 0.01f, 0}, {0, 0, 0.78539816f});
    std::vector<Contact> contacts = Detect(*upper, *lower);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.01, 2e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0, 1, 0), 1e-5f);
    // on the upper box's edge, where the lower box's edge passes under it
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0, reach + 0.01f, 0), 2e-5f);

    std::vector<Contact> swapped = Detect(*lower, *upper);
    ASSERT_EQ(swapped.size(), 1u);
    EXPECT_NEAR(swapped[0].distance, contacts[0].distance, 1e-6);
    EXPECT_VECTOR_NEAR(swapped[0].normal, -contacts[0].normal, 1e-6f);
    EXPECT_VECTOR_NEAR(swapped[0].point, Vector3(0, reach, 0), 2e-5f);
}

TEST(CollisionDetectBox, RandomPosesMatchTheReferenceDistanceWithinTheBand) {
    RandomPoses random(1234);
    int edgeLike = 0;
    int exact = 0;
    int inBandCount = 0;
    int beyondBandTouching = 0;
    for (int trial = 0; trial < 120; ++trial) {
        auto fixed = MakeBox(RandomSize(random), {0, 0, 0}, random.Rotation());
        auto mover = MakeBox(RandomSize(random), {0, 0, 0}, random.Rotation());
        const Vector3 direction = random.Direction();
        const bool inBand = trial % 3 != 0;
        const double target = inBand ? random.Uniform(0.002, 0.028) : random.Uniform(0.032, 0.08);
        PlaceAtDistance(*mover, direction, target,
                        [&] { return std::pair(BoxSolid(*mover), BoxSolid(*fixed)); });
        const double reference = convex_reference::Distance(BoxSolid(*mover), BoxSolid(*fixed));

        std::vector<Contact> contacts = Detect(*mover, *fixed);
        std::vector<Contact> swapped = Detect(*fixed, *mover);
        if (!inBand) {
            // a pair whose nearest features are a vertex and an edge can show a separation
            // within the band on its best axis while slightly farther apart
            EXPECT_EQ(contacts.empty(), swapped.empty());
            if (!contacts.empty()) {
                EXPECT_LE(contacts[0].distance, reference);
                ++beyondBandTouching;
            }
            continue;
        }
        ASSERT_FALSE(contacts.empty()) << "trial " << trial << " reference " << reference;
        ASSERT_FALSE(swapped.empty()) << "trial " << trial;
        // further corners of a face contact are real point-to-face distances
        for (const Contact& contact : contacts) {
            if (&contact != &contacts[0]) {
                EXPECT_GE(contact.distance, reference - 1e-4) << "trial " << trial;
            }
            EXPECT_VECTOR_NEAR(contact.normal, contacts[0].normal, 0.0f);
        }
        // the separating-axis separation is a lower bound of the distance, and the distance
        // itself when the nearest features are a vertex and a face or two edges
        EXPECT_LE(contacts[0].distance, reference + 1e-5) << "trial " << trial;
        exact += std::fabs(contacts[0].distance - reference) < 1e-4 ? 1 : 0;
        ++inBandCount;
        EXPECT_NEAR(swapped[0].distance, contacts[0].distance, 1e-6);
        EXPECT_VECTOR_NEAR(swapped[0].normal, -contacts[0].normal, 1e-6f);
        EXPECT_NEAR(Length(contacts[0].normal), 1.0f, 1e-5f);

        // the point lies on one box and the separation away from the other
        const convex_reference::Point point = convex_reference::FromVector(contacts[0].point);
        const double toMover = convex_reference::Distance(BoxSolid(*mover), point);
        const double toFixed = convex_reference::Distance(BoxSolid(*fixed), point);
        EXPECT_NEAR(std::min(toMover, toFixed), 0.0, 2e-5) << "trial " << trial;
        EXPECT_NEAR(std::max(toMover, toFixed), reference, 2e-4) << "trial " << trial;
        // pushing the first box along the normal separates the pair
        MoveTo(*mover, mover->WorldPosition() + contacts[0].normal * 0.01f);
        EXPECT_GT(convex_reference::Distance(BoxSolid(*mover), BoxSolid(*fixed)), reference + 0.005);
        edgeLike += std::min(toMover, toFixed) == toMover ? 0 : 1;
    }
    EXPECT_GT(edgeLike, 0);
    EXPECT_GE(exact, inBandCount * 3 / 4);
    EXPECT_LE(beyondBandTouching, 10);
    std::printf("exact %d of %d in band, %d of %d beyond the band touching\n", exact, inBandCount,
                beyondBandTouching, 120 - inBandCount);
}
