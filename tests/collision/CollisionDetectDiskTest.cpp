// Disk against land, sphere, disk and box: coins flat and upright, stacked and side by side,
// box corners and edges on coins, coin rims on boxes, and random poses against a reference
// distance. Mixed pairs are checked in both argument orders.

#include "collision/CollisionDetectDisk.h"
#include "collision/CollisionDetectBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemSphere.h"
#include "support/ConvexReference.h"
#include "support/DetectPair.h"
#include "support/PrimitiveShapes.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;
constexpr float kQuarterTurn = 1.57079633f;

// a coin of radius 0.1 and height 0.04: collision radius 0.085, collision thickness 0.01
std::unique_ptr<FieldItemDisk> MakeDisk(const Vector3& position, const Vector3& angle = {},
                                        double radius = 0.1, double height = 0.04) {
    auto disk = std::make_unique<FieldItemDisk>();
    FieldItemDisk::Record record;
    record.r = radius;
    record.height = height;
    record.position = position;
    record.angle = angle;
    disk->Initialize(record);
    return disk;
}

std::unique_ptr<FieldItemSphere> MakeSphere(const Vector3& position, double radius) {
    auto sphere = std::make_unique<FieldItemSphere>();
    FieldItemSphere::Record record;
    record.r = radius;
    record.position = position;
    sphere->Initialize(record);
    return sphere;
}

std::unique_ptr<FieldItemBox> MakeBox(const Vector3& size, const Vector3& position,
                                      const Vector3& angle = {}) {
    return shapes::Box(position, size, angle);
}

std::vector<Contact> Detect(const FieldItem& first, const FieldItem& second) {
    return DetectPair(first, second);
}

convex_reference::Solid Solid(FieldItemDisk& disk) {
    return convex_reference::DiskSolid(disk, disk.CoreRadius(), disk.CoreHeight() / 2.0);
}
convex_reference::Solid Solid(FieldItemBox& box) {
    return convex_reference::BoxSolid(box, box.CoreSizeX() / 2.0, box.CoreSizeY() / 2.0,
                                      box.CoreSizeZ() / 2.0);
}
convex_reference::Solid Solid(FieldItemSphere& sphere) {
    return convex_reference::SphereSolid(sphere, sphere.BoundingRadius());
}

/// The two orders give the same points and distances with opposite normals.
void ExpectMirrored(const std::vector<Contact>& forward, const std::vector<Contact>& backward) {
    ASSERT_EQ(forward.size(), backward.size());
    for (std::size_t i = 0; i < forward.size(); ++i) {
        EXPECT_EQ(forward[i].distance, backward[i].distance) << i;
        EXPECT_VECTOR_NEAR(forward[i].point, backward[i].point, 0.0f);
        EXPECT_VECTOR_NEAR(forward[i].normal, -backward[i].normal, 0.0f);
    }
}

const Contact* FindNear(const std::vector<Contact>& contacts, const Vector3& point, float tolerance) {
    for (const Contact& contact : contacts) {
        if (VectorNear(contact.point, point, tolerance)) {
            return &contact;
        }
    }
    return nullptr;
}

using convex_reference::MoveTo;
using convex_reference::RandomPoses;

struct BandStatistics {
    int trials = 0;
    int touching = 0;
    int exact = 0;
};

/// Random poses within the tolerance band: no contact claims the pair nearer than it is, and
/// the statistics of how often the nearest contact is found and how often it is exact.
template <class A, class B> BandStatistics RandomBand(unsigned seed, int trials, A makeMover, B makeFixed) {
    RandomPoses random(seed);
    BandStatistics statistics;
    for (int trial = 0; trial < trials; ++trial) {
        auto fixed = makeFixed(random.Rotation());
        auto mover = makeMover(random.Rotation());
        const double reference =
            convex_reference::PlaceAtDistance(*mover, random.Direction(), random.Uniform(0.002, 0.026),
                                              [&] { return std::pair(Solid(*mover), Solid(*fixed)); });
        std::vector<Contact> forward = Detect(*mover, *fixed);
        std::vector<Contact> backward = Detect(*fixed, *mover);
        ++statistics.trials;
        double nearest = 1e9;
        for (const Contact& contact : forward) {
            EXPECT_GE(contact.distance, reference - 1e-4) << "trial " << trial;
            EXPECT_LE(std::fabs(contact.distance), kTolerance + 1e-9);
            nearest = std::min(nearest, contact.distance);
            // the normal points from the second item towards the first
            EXPECT_GT(Dot(contact.normal, mover->WorldPosition() - fixed->WorldPosition()), 0.0f) << trial;
        }
        if (!forward.empty()) {
            ++statistics.touching;
            statistics.exact += std::fabs(nearest - reference) < 2e-4 ? 1 : 0;
        }
        // the mixed pairs mirror exactly (the same-shape pair tests its features in an order
        // that depends on which disk is first)
        if (mover->TypeName() != fixed->TypeName()) {
            ExpectMirrored(forward, backward);
        }
    }
    return statistics;
}

} // namespace

TEST(CollisionDetectDisk, CoinOnLandTouchesAtItsLowestPoint) {
    FieldItemLand land;

    // lying flat: the centre of the lower face, 0.005 above the plane
    auto flat = MakeDisk({1, 0.01f, 2});
    std::vector<Contact> diskFirst = Detect(*flat, land);
    ASSERT_EQ(diskFirst.size(), 1u);
    EXPECT_NEAR(diskFirst[0].distance, 0.005, 1e-6);
    EXPECT_VECTOR_NEAR(diskFirst[0].point, Vector3(1, 0.005f, 2), 1e-6f);
    EXPECT_VECTOR_NEAR(diskFirst[0].normal, Vector3(0, 1, 0), 0.0f);

    // upright on its rim: the lowest rim point, on one of the two rims
    auto upright = MakeDisk({0, 0.1f, 0}, {kQuarterTurn, 0, 0});
    std::vector<Contact> rim = Detect(land, *upright);
    ASSERT_EQ(rim.size(), 1u);
    EXPECT_NEAR(rim[0].distance, 0.1 - 0.085, 1e-6);
    EXPECT_NEAR(rim[0].point.x, 0.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(rim[0].point.z), 0.005f, 1e-6f);
    EXPECT_VECTOR_NEAR(rim[0].normal, Vector3(0, -1, 0), 0.0f);

    // beyond the band above, any depth below
    MoveTo(*flat, {0, 0.036f, 0});
    EXPECT_TRUE(Detect(*flat, land).empty());
    MoveTo(*flat, {0, -1.0f, 0});
    ASSERT_EQ(Detect(*flat, land).size(), 1u);

    // random tilts: the lowest point of the solid, against sampled rim points
    RandomPoses random(4);
    for (int trial = 0; trial < 100; ++trial) {
        auto disk = MakeDisk({0, static_cast<float>(random.Uniform(0.0, 0.12)), 0}, random.Rotation());
        const DiskShape shape = MakeDiskShape(*disk);
        double lowest = 1e9;
        for (float side : {1.0f, -1.0f}) {
            for (int k = 0; k < 3600; ++k) {
                Vector3 local(static_cast<float>(0.085 * std::cos(k * 3.14159265 / 1800)), 0.005f * side,
                              static_cast<float>(0.085 * std::sin(k * 3.14159265 / 1800)));
                disk->ToWorld(local);
                lowest = std::min(lowest, static_cast<double>(local.y + shape.centre.y));
            }
        }
        std::vector<Contact> contacts = Detect(*disk, land);
        if (lowest <= kTolerance - 1e-5) {
            ASSERT_EQ(contacts.size(), 1u) << trial;
            EXPECT_NEAR(contacts[0].distance, lowest, 1e-5) << trial;
            EXPECT_NEAR(contacts[0].point.y, lowest, 1e-5) << trial;
        } else if (lowest > kTolerance + 1e-5) {
            EXPECT_TRUE(contacts.empty()) << trial;
        }
    }
}

TEST(CollisionDetectDisk, SphereOnCoinFaceAndRim) {
    auto coin = MakeDisk({0, 0.01f, 0});

    // resting on the face: the face normal, the sphere's lowest point
    auto sphere = MakeSphere({0.03f, 0.015f + 0.2f + 0.01f, 0}, 0.215); // collision radius 0.2
    std::vector<Contact> sphereFirst = Detect(*sphere, *coin);
    ASSERT_EQ(sphereFirst.size(), 1u);
    EXPECT_NEAR(sphereFirst[0].distance, 0.01, 1e-6);
    EXPECT_VECTOR_NEAR(sphereFirst[0].normal, Vector3(0, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(sphereFirst[0].point, Vector3(0.03f, 0.025f, 0), 1e-6f);

    // touching the rim from diagonally above: along the line from the rim point to the centre
    const Vector3 rimPoint(0.085f, 0.015f, 0);
    const Vector3 outwards = Normalize(Vector3(1, 1, 0));
    MoveTo(*sphere, rimPoint + outwards * 0.21f);
    std::vector<Contact> rim = Detect(*coin, *sphere);
    ASSERT_EQ(rim.size(), 1u);
    EXPECT_NEAR(rim[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(rim[0].normal, -outwards, 1e-5f);
    EXPECT_VECTOR_NEAR(rim[0].point, rimPoint + outwards * 0.01f, 1e-5f);

    // a small sphere whose centre has sunk into the coin, 0.003 below its upper face: pushed
    // out through that face (never a contact without a direction)
    auto sunk = MakeSphere({0.02f, 0.012f, 0}, 0.035); // collision radius 0.02
    std::vector<Contact> inside = Detect(*coin, *sunk);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_NEAR(inside[0].distance, -0.023, 1e-6);
    EXPECT_VECTOR_NEAR(inside[0].normal, Vector3(0, -1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(inside[0].point, Vector3(0.02f, -0.008f, 0), 1e-6f);
    // near the side rather than a face: out through the side
    MoveTo(*sunk, {0.083f, 0.01f, 0});
    inside = Detect(*coin, *sunk);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_NEAR(inside[0].distance, -0.022, 1e-6);
    EXPECT_VECTOR_NEAR(inside[0].normal, Vector3(-1, 0, 0), 1e-6f);

    // random poses: the separation is exact
    BandStatistics statistics = RandomBand(
        17, 60, [](const Vector3&) { return MakeSphere({}, 0.05 + 0.015); },
        [](const Vector3& angle) { return MakeDisk({}, angle, 0.1, 0.06); });
    EXPECT_EQ(statistics.touching, statistics.trials);
    EXPECT_EQ(statistics.exact, statistics.trials);
}

TEST(CollisionDetectDisk, StackedCoinsTouchAtTheirFaceCentresAndRims) {
    // the upper coin 0.01 above the lower one, displaced sideways by 0.02
    auto lower = MakeDisk({0, 0.01f, 0});
    auto upper = MakeDisk({0.02f, 0.03f, 0});
    std::vector<Contact> contacts = Detect(*lower, *upper);
    ASSERT_EQ(contacts.size(), 3u);
    for (const Contact& contact : contacts) {
        EXPECT_NEAR(contact.distance, 0.01, 1e-6);
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, -1, 0), 1e-5f);
    }
    EXPECT_NE(FindNear(contacts, Vector3(0.02f, 0.025f, 0), 1e-6f), nullptr)
        << "upper coin's lower face centre";
    EXPECT_NE(FindNear(contacts, Vector3(0, 0.015f, 0), 1e-6f), nullptr) << "lower coin's upper face centre";
    // the rims cross where both are 0.085 from their centres
    EXPECT_NE(FindNear(contacts, Vector3(0.01f, 0.015f, std::sqrt(0.085f * 0.085f - 0.0001f)), 1e-5f) ||
                  FindNear(contacts, Vector3(0.01f, 0.015f, -std::sqrt(0.085f * 0.085f - 0.0001f)), 1e-5f),
              false);

    std::vector<Contact> swapped = Detect(*upper, *lower);
    ASSERT_EQ(swapped.size(), 3u);
    for (const Contact& contact : swapped) {
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, 1, 0), 1e-5f);
    }

    // farther than the reach of both radii along the axes: rejected before any feature test
    MoveTo(*upper, {0.3f, 0.03f, 0});
    EXPECT_TRUE(Detect(*lower, *upper).empty());
}

TEST(CollisionDetectDisk, CoinsSunkIntoEachOtherAreNeverPulledTogether) {
    // thick coins (collision radius 0.085, thickness 0.07): the upper one has sunk 0.01 into
    // the lower one, coaxial or displaced sideways. Where the rims have crossed, the rim pair
    // is interpenetrating too: negative distance and a normal that parts the coins
    auto lower = MakeDisk({0, 0, 0}, {}, 0.1, 0.1);
    for (float sideways : {0.0f, 0.02f}) {
        auto upper = MakeDisk({sideways, 0.06f, 0}, {}, 0.1, 0.1);
        for (bool lowerFirst : {true, false}) {
            std::vector<Contact> contacts = lowerFirst ? Detect(*lower, *upper) : Detect(*upper, *lower);
            ASSERT_FALSE(contacts.empty());
            const float towardsFirst = lowerFirst ? -1.0f : 1.0f;
            int vertical = 0;
            for (const Contact& contact : contacts) {
                // none claims the coins apart, none pushes them into each other
                EXPECT_LE(contact.distance, 1e-6) << sideways << " " << lowerFirst;
                EXPECT_GE(contact.normal.y * towardsFirst, -1e-5f) << sideways << " " << lowerFirst;
                if (contact.normal.y * towardsFirst > 0.99999f) {
                    EXPECT_NEAR(contact.distance, -0.01, 1e-5);
                    ++vertical;
                }
            }
            // the face contacts and the crossed rims
            EXPECT_GE(vertical, 2);
        }
    }
}

TEST(CollisionDetectDisk, CoinsSideBySideTouchSideAgainstSide) {
    // flat on the land, 0.01 apart at their sides, parallel axes
    auto left = MakeDisk({0, 0.01f, 0});
    auto right = MakeDisk({0.18f, 0.01f, 0});
    std::vector<Contact> contacts = Detect(*left, *right);
    const Contact* side = FindNear(contacts, Vector3(0.085f, 0.01f, 0), 1e-5f);
    ASSERT_NE(side, nullptr);
    EXPECT_NEAR(side->distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(side->normal, Vector3(-1, 0, 0), 1e-5f);

    // upright coins on one axis line, faces 0.011 apart: the facing faces touch; the far faces
    // (0.031 apart through both thin coins) do not pull them together
    auto a = MakeDisk({0, 0.1f, 0}, {kQuarterTurn, 0, 0});
    auto b = MakeDisk({0, 0.1f, 0.021f}, {kQuarterTurn, 0, 0});
    contacts = Detect(*a, *b);
    ASSERT_EQ(contacts.size(), 3u);
    for (const Contact& contact : contacts) {
        EXPECT_NEAR(contact.distance, 0.011, 1e-5);
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, 0, -1), 1e-5f)
            << "from the second coin towards the first";
    }
    // pressed into each other by 0.004 (less than a coin's thickness): the face contacts and the
    // crossed rims, an overlap as well, push the coins apart; none pulls them together (a far
    // face's contact, which would, is left out), and the springs of all contacts together
    // (2000 N at zero separation, growing with depth) push them apart
    MoveTo(*b, {0, 0.1f, 0.006f});
    contacts = Detect(*a, *b);
    int pushingApart = 0;
    float springs = 0.0f;
    for (const Contact& contact : contacts) {
        springs += contact.normal.z * static_cast<float>(2000.0 - contact.distance * 2000.0 / kTolerance);
        EXPECT_LE(contact.normal.z, 1e-5f) << contact.distance;
        if (contact.normal.z < -0.99f && std::fabs(contact.distance + 0.004) < 1e-5) {
            ++pushingApart;
        }
    }
    EXPECT_EQ(pushingApart, 3);
    EXPECT_LT(springs, -6000.0f);

    // crossing coins, each upright, their axes at right angles: one lies across the top of the
    // other's side, 0.01 above it
    auto across = MakeDisk({0, 0.1f, 0}, {0, 0, kQuarterTurn}); // axis along x
    auto along = MakeDisk({0, 0.1f + 0.17f + 0.01f, 0}, {kQuarterTurn, 0, 0});
    contacts = Detect(*along, *across);
    side = FindNear(contacts, Vector3(0, 0.195f, 0), 1e-5f);
    ASSERT_NE(side, nullptr);
    EXPECT_NEAR(side->distance, 0.01, 1e-5);
    EXPECT_NEAR(side->distance, convex_reference::Distance(Solid(*along), Solid(*across)), 1e-5);
    EXPECT_VECTOR_NEAR(side->normal, Vector3(0, 1, 0), 1e-5f);
    // the coins being thin, their rims (about 0.012 apart) touch as well, one contact per face pair
    EXPECT_EQ(contacts.size(), 5u);
    for (const Contact& contact : contacts) {
        EXPECT_GE(contact.distance, 0.01 - 1e-5);
        EXPECT_GT(contact.normal.y, 0.5f);
    }
}

TEST(CollisionDetectDisk, RandomCoinPairsNeverClaimTooDeepAContact) {
    auto makeCoin = [](const Vector3& angle) { return MakeDisk({}, angle, 0.1, 0.06); };
    BandStatistics statistics = RandomBand(99, 150, makeCoin, makeCoin);
    std::printf("disk-disk: %d of %d in the band touching, %d exact\n", statistics.touching,
                statistics.trials, statistics.exact);
    // rims meeting with their faces turned the same way are found as well
    EXPECT_EQ(statistics.touching, statistics.trials);
    EXPECT_GE(statistics.exact, statistics.trials * 95 / 100);
}

TEST(CollisionDetectDisk, BoxCornerOnCoinFaceAndCoinRimOnBoxFace) {
    auto coin = MakeDisk({0, 0.01f, 0});

    // a box balanced on one corner, the corner 0.005 above the coin's upper face
    auto box = MakeBox({0.2f, 0.2f, 0.2f}, {}, {0.6f, 0.3f, 0.7f});
    Vector3 lowest(0, 1e9f, 0);
    for (const Vector3& local : box->Vertices()) {
        Vector3 world = local;
        box->ToWorld(world);
        if (world.y < lowest.y) {
            lowest = world;
        }
    }
    const Vector3 corner(0.02f, 0.02f, -0.01f);
    MoveTo(*box, corner - lowest);
    std::vector<Contact> contacts = Detect(*coin, *box);
    const Contact* vertex = FindNear(contacts, corner, 1e-5f);
    ASSERT_NE(vertex, nullptr);
    EXPECT_NEAR(vertex->distance, 0.005, 1e-5);
    EXPECT_VECTOR_NEAR(vertex->normal, Vector3(0, -1, 0), 1e-6f);

    // a coin standing upright on a unit box: its lowest rim point 0.01 above the top face
    auto table = MakeBox({1, 1, 1}, {});
    auto upright = MakeDisk({0.1f, 0.485f + 0.085f + 0.01f, 0.2f}, {kQuarterTurn, 0, 0});
    contacts = Detect(*upright, *table);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0, 1, 0), 1e-6f);
    EXPECT_NEAR(contacts[0].point.y, 0.495f, 1e-5f);
    EXPECT_NEAR(std::fabs(contacts[0].point.z - 0.2f), 0.005f, 1e-5f);
}

TEST(CollisionDetectDisk, BoxEdgesAgainstTheRimAndTheSide) {
    auto coin = MakeDisk({0, 0.01f, 0}); // upper face at 0.015, rim radius 0.085

    // a box on an edge along x, 0.01 above the coin, passing over the coin at z = 0.05: the
    // edge crosses above the rim, where it is nearest to it
    const float reach = 0.485f * std::sqrt(2.0f);
    auto box = MakeBox({1, 1, 1}, {0, 0.025f + reach, 0.05f}, {0.78539816f, 0, 0});
    std::vector<Contact> contacts = Detect(*coin, *box);
    // the edge bounds two faces and is tested once for each, against both rims: the upper rim
    // 0.01 below it and, the coin being thin, the lower rim 0.02 below it
    ASSERT_EQ(contacts.size(), 4u);
    for (const Contact& contact : contacts) {
        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0, -1, 0), 1e-5f);
        EXPECT_NEAR(contact.point.y, 0.025f, 1e-5f);
        EXPECT_NEAR(std::fabs(contact.point.x), std::sqrt(0.085f * 0.085f - 0.0025f), 1e-4f);
    }
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_NEAR(contacts[1].distance, 0.02, 1e-5);
    EXPECT_NEAR(contacts[2].distance, 0.01, 1e-5);
    EXPECT_NEAR(contacts[3].distance, 0.02, 1e-5);

    // the same edge sunk 0.01 into a thick coin (upper face at 0.035): the upper rim pair has
    // crossed, so it is interpenetrating and parts the two (the box pushed up)
    auto thick = MakeDisk({0, 0, 0}, {}, 0.1, 0.1);
    MoveTo(*box, {0, 0.025f + reach, 0.05f});
    contacts = Detect(*thick, *box);
    ASSERT_FALSE(contacts.empty());
    for (const Contact& contact : contacts) {
        EXPECT_LT(contact.distance, 0.0);
        EXPECT_GT(-contact.normal.y, 0.7f) << contact.distance;
    }
    MoveTo(*box, {0, 0.025f + reach, 0.05f});

    // an upright box edge 0.01 beside a flat coin's side: the side test
    auto beside = MakeBox({0.2f, 0.2f, 0.2f}, {0, 0.01f, 0}, {0, 0.78539816f, 0});
    MoveTo(*beside, {0.085f + 0.01f + 0.085f * std::sqrt(2.0f), 0.01f, 0});
    contacts = Detect(*beside, *coin);
    const Contact* side = FindNear(contacts, Vector3(0.095f, 0.01f, 0), 1e-5f);
    ASSERT_NE(side, nullptr);
    EXPECT_NEAR(side->distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(side->normal, Vector3(1, 0, 0), 1e-5f);
}

TEST(CollisionDetectDisk, DetectVertexOverTheFaceBesideTheSideAndBeyondTheRim) {
    CollisionDetectDiskBox detector;
    auto coin = MakeDisk({0, 0, 0});
    const DiskShape shape = MakeDiskShape(*coin);
    std::vector<Contact> contacts;
    // over the lower face, 0.02 below it: the normal from the box up into the disk
    detector.DetectVertex(shape, {0.05f, -0.025f, 0.02f}, kTolerance, contacts);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.02, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0, 1, 0), 1e-6f);
    // beside the side between the face planes
    contacts.clear();
    detector.DetectVertex(shape, {0, 0.002f, 0.1f}, kTolerance, contacts);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.015, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0, 0, -1), 1e-6f);
    // beyond the rim, diagonally above it: towards the rim point (0, 0.005, 0.085)
    contacts.clear();
    detector.DetectVertex(shape, {0, 0.013f, 0.1f}, kTolerance, contacts);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.017, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Normalize(Vector3(0, -0.008f, -0.015f)), 1e-5f);
    // too far above, beside or beyond: nothing
    contacts.clear();
    detector.DetectVertex(shape, {0, 0.04f, 0.0f}, kTolerance, contacts);
    detector.DetectVertex(shape, {0.2f, 0.0f, 0.0f}, kTolerance, contacts);
    detector.DetectVertex(shape, {0.0f, 0.03f, 0.11f}, kTolerance, contacts);
    EXPECT_TRUE(contacts.empty());
}

TEST(CollisionDetectDisk, RandomCoinBoxPairsNeverClaimTooDeepAContact) {
    BandStatistics statistics = RandomBand(
        5, 150, [](const Vector3& angle) { return MakeDisk({}, angle, 0.1, 0.06); },
        [](const Vector3& angle) {
            return MakeBox({0.3f, 0.2f, 0.25f}, {}, angle);
        });
    std::printf("disk-box: %d of %d in the band touching, %d exact\n", statistics.touching, statistics.trials,
                statistics.exact);
    // box corners against the rims are found as well
    EXPECT_EQ(statistics.touching, statistics.trials);
    EXPECT_GE(statistics.exact, statistics.trials * 95 / 100);
}

TEST(CollisionDetectDisk, NonFinitePosesProduceNoContactsAndNoHang) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    FieldItemLand land;
    for (const Vector3& bad :
         {Vector3(nan, 0, 0), Vector3(0, nan, 0), Vector3(infinity, 0, 0), Vector3(0, -infinity, 0)}) {
        auto coin = MakeDisk({0, 0.01f, 0});
        auto badCoin = MakeDisk({0, 0.01f, 0});
        auto sphere = MakeSphere({0, 0.1f, 0}, 0.1);
        auto box = MakeBox({0.2f, 0.2f, 0.2f}, {0, 0.1f, 0});
        auto badBox = MakeBox({0.2f, 0.2f, 0.2f}, {0, 0.1f, 0});
        MoveTo(*badCoin, bad);
        MoveTo(*badBox, bad);
        for (auto [first, second] : {std::pair<FieldItem*, FieldItem*>{badCoin.get(), &land},
                                     {badCoin.get(), sphere.get()},
                                     {badCoin.get(), coin.get()},
                                     {coin.get(), badCoin.get()},
                                     {badCoin.get(), box.get()},
                                     {coin.get(), badBox.get()},
                                     {&land, badBox.get()},
                                     {badBox.get(), box.get()}}) {
            EXPECT_TRUE(DetectPair(*first, *second).empty()) << bad.x << " " << bad.y << " " << bad.z;
        }
    }
}
