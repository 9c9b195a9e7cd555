// Sphere against sphere, land and box: separations, contact points and normals in both orders.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "collision/CollisionDetectSphere.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemSphere.h"
#include "support/DetectPair.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;

class CollisionDetectSphereTest : public ::testing::Test {
protected:
    void TearDown() override { D3DObjectManager::Destroy(); }

    /// A sphere whose collision radius is coreRadius.
    static std::unique_ptr<FieldItemSphere> MakeSphere(double coreRadius, const Vector3& position) {
        auto sphere = std::make_unique<FieldItemSphere>();
        FieldItemSphere::Record record;
        record.r = coreRadius + kTolerance / 2.0;
        record.position = position;
        sphere->Initialize(record);
        return sphere;
    }

    /// A box whose collision sizes are the given ones.
    static std::unique_ptr<FieldItemBox> MakeBox(const Vector3& coreSize, const Vector3& position,
                                                 const Vector3& angle = Vector3()) {
        auto box = std::make_unique<FieldItemBox>();
        FieldItemBox::Record record;
        record.sizeX = coreSize.x + kTolerance;
        record.sizeY = coreSize.y + kTolerance;
        record.sizeZ = coreSize.z + kTolerance;
        record.position = position;
        record.angle = angle;
        box->Initialize(record);
        return box;
    }

    static std::unique_ptr<FieldItemLand> MakeLand() {
        auto land = std::make_unique<FieldItemLand>();
        land->Initialize(Placement());
        return land;
    }

    /// Runs the detector in both orders and checks that they agree up to the normal's sign;
    /// returns the contacts of (first, second).
    static std::vector<Contact> DetectBothOrders(const FieldItem& first, const FieldItem& second) {
        const std::vector<Contact> forward = DetectPair(first, second);
        const std::vector<Contact> backward = DetectPair(second, first);
        EXPECT_EQ(forward.size(), backward.size());
        for (std::size_t i = 0; i < std::min(forward.size(), backward.size()); ++i) {
            EXPECT_DOUBLE_EQ(forward[i].distance, backward[i].distance);
            EXPECT_VECTOR_NEAR(forward[i].normal, -backward[i].normal, 1e-6f);
            EXPECT_NEAR(Length(forward[i].normal), 1.0f, 1e-5f);
        }
        return forward;
    }

    /// Distance from a point to the surface of a box core, from a dense sampling of its faces;
    /// negative inside (then the depth to the nearest face).
    static double SampledDistanceToBox(FieldItemBox& box, const Vector3& point) {
        Vector3 local = point - box.WorldPosition();
        box.ToLocal(local);
        const double h[3] = {box.CoreSizeX() / 2, box.CoreSizeY() / 2, box.CoreSizeZ() / 2};
        const double p[3] = {local.x, local.y, local.z};
        const bool inside = std::fabs(p[0]) <= h[0] && std::fabs(p[1]) <= h[1] && std::fabs(p[2]) <= h[2];
        if (inside) {
            return -std::min({h[0] - std::fabs(p[0]), h[1] - std::fabs(p[1]), h[2] - std::fabs(p[2])});
        }
        constexpr int kSteps = 80;
        double best = std::numeric_limits<double>::max();
        for (int axis = 0; axis < 3; ++axis) {
            const int u = (axis + 1) % 3;
            const int v = (axis + 2) % 3;
            for (double side : {-1.0, 1.0}) {
                for (int i = 0; i <= kSteps; ++i) {
                    for (int j = 0; j <= kSteps; ++j) {
                        double q[3];
                        q[axis] = side * h[axis];
                        q[u] = -h[u] + 2.0 * h[u] * i / kSteps;
                        q[v] = -h[v] + 2.0 * h[v] * j / kSteps;
                        const double dx = q[0] - p[0];
                        const double dy = q[1] - p[1];
                        const double dz = q[2] - p[2];
                        best = std::min(best, std::sqrt(dx * dx + dy * dy + dz * dz));
                    }
                }
            }
        }
        return best;
    }
};

} // namespace

TEST_F(CollisionDetectSphereTest, SpheresTouchWithinTheToleranceBand) {
    auto first = MakeSphere(1.0, Vector3(2.0f, 1.0f, 0.0f));

    // centres 2 apart: touching, the point on the first surface facing the second
    auto second = MakeSphere(1.0, Vector3(0.0f, 1.0f, 0.0f));
    std::vector<Contact> contacts = DetectBothOrders(*first, *second);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.0, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(1.0f, 0.0f, 0.0f), 1e-6f);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(1.0f, 1.0f, 0.0f), 1e-6f);

    // slightly apart and slightly in, along a diagonal
    const Vector3 diagonal = Normalize(Vector3(1.0f, 2.0f, -2.0f));
    for (double separation : {0.02, -0.02, 0.029, -0.029}) {
        auto other =
            MakeSphere(0.5, Vector3(2.0f, 1.0f, 0.0f) - diagonal * static_cast<float>(1.5 + separation));
        contacts = DetectBothOrders(*first, *other);
        ASSERT_EQ(contacts.size(), 1u) << separation;
        EXPECT_NEAR(contacts[0].distance, separation, 1e-5);
        EXPECT_VECTOR_NEAR(contacts[0].normal, diagonal, 1e-5f);
    }

    // 2.04 apart, and 1.96 apart (deeper than the tolerance): nothing
    for (float gap : {0.04f, -0.04f, 5.0f}) {
        auto other = MakeSphere(1.0, Vector3(-gap, 1.0f, 0.0f));
        EXPECT_TRUE(DetectBothOrders(*first, *other).empty()) << gap;
    }

    // a position that is not finite gives no contact
    auto lost = MakeSphere(1.0, Vector3(0.0f, 1.0f, 0.0f));
    lost->Transform()._42 = std::numeric_limits<float>::quiet_NaN();
    lost->UpdateWorld(nullptr, nullptr);
    EXPECT_TRUE(DetectBothOrders(*first, *lost).empty());
}

TEST_F(CollisionDetectSphereTest, SphereOnLandFromAnyDepthAndInBothOrders) {
    auto land = MakeLand();

    auto resting = MakeSphere(1.0, Vector3(0.5f, 1.02f, -3.0f));
    std::vector<Contact> contacts = DetectBothOrders(*resting, *land);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.02, 1e-6);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(0.5f, 0.02f, -3.0f), 1e-6f);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 0.0f);

    // sunk deep: still a contact, with a negative distance
    auto sunk = MakeSphere(1.0, Vector3(0.0f, 0.5f, 0.0f));
    contacts = DetectBothOrders(*sunk, *land);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, -0.5, 1e-6);
    auto buried = MakeSphere(0.2, Vector3(0.0f, -10.0f, 0.0f));
    EXPECT_EQ(DetectBothOrders(*buried, *land).size(), 1u);

    // above the band, or nowhere: nothing
    auto high = MakeSphere(1.0, Vector3(0.0f, 1.04f, 0.0f));
    EXPECT_TRUE(DetectBothOrders(*high, *land).empty());
    auto lost = MakeSphere(1.0, Vector3(0.0f, 0.0f, 0.0f));
    lost->Transform()._42 = std::numeric_limits<float>::quiet_NaN();
    lost->UpdateWorld(nullptr, nullptr);
    EXPECT_TRUE(DetectBothOrders(*lost, *land).empty());
}

TEST_F(CollisionDetectSphereTest, SphereAgainstBoxFacesEdgesCornersAndInside) {
    auto box = MakeBox(Vector3(2.0f, 1.0f, 4.0f), Vector3(1.0f, 2.0f, 3.0f));

    // beside the +x face: the face's normal, the point on the sphere towards the box
    auto beside = MakeSphere(0.5, Vector3(1.0f + 1.0f + 0.5f + 0.01f, 2.2f, 3.5f));
    std::vector<Contact> contacts = DetectBothOrders(*beside, *box);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(1.0f, 0.0f, 0.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(contacts[0].point, Vector3(2.01f, 2.2f, 3.5f), 1e-5f);

    // off a corner: along the diagonal from the corner
    const Vector3 corner(2.0f, 2.5f, 5.0f);
    const Vector3 outward = Normalize(Vector3(1.0f, 1.0f, 1.0f));
    auto offCorner = MakeSphere(0.3, corner + outward * 0.31f);
    contacts = DetectBothOrders(*offCorner, *box);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.01, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, outward, 1e-4f);

    // the centre inside the box: separation -r, too deep for a contact
    auto inside = MakeSphere(0.5, Vector3(1.2f, 2.0f, 3.0f));
    EXPECT_TRUE(DetectBothOrders(*inside, *box).empty());
    // far away on one axis
    auto far = MakeSphere(0.5, Vector3(1.0f, 2.0f, 3.0f + 2.0f + 0.5f + 0.04f));
    EXPECT_TRUE(DetectBothOrders(*far, *box).empty());

    // touching the drawn face (the core is half the tolerance inside it): about t/2 apart
    auto drawn = MakeSphere(0.5, Vector3(1.0f, 2.0f + 0.5f + 0.015f + 0.5f, 3.0f));
    contacts = DetectBothOrders(*drawn, *box);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.015, 1e-5);
    EXPECT_VECTOR_NEAR(contacts[0].normal, Vector3(0.0f, 1.0f, 0.0f), 1e-5f);
}

TEST_F(CollisionDetectSphereTest, SphereAgainstTurnedBoxesMatchesASampledDistance) {
    // random turned boxes and spheres placed around them in and near the tolerance band
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    int contactsSeen = 0;
    int missesSeen = 0;
    for (int trial = 0; trial < 120; ++trial) {
        const Vector3 angle(unit(random) * 3.0f, unit(random) * 3.0f, unit(random) * 3.0f);
        const Vector3 size(0.3f + 0.25f * (unit(random) + 1.0f), 0.3f + 0.25f * (unit(random) + 1.0f),
                           0.3f + 0.25f * (unit(random) + 1.0f));
        const Vector3 boxPosition(unit(random), 1.0f + unit(random), unit(random));
        auto box = MakeBox(size, boxPosition, angle);

        // a direction out of the box and a distance that lands near its surface
        const double radius = 0.05 + 0.1 * (unit(random) + 1.0);
        const Vector3 direction = Normalize(Vector3(unit(random), unit(random), unit(random)));
        Vector3 towards = direction;
        float reach = 0.0f;
        for (int i = 0; i < 200; ++i) { // march out to the surface
            if (SampledDistanceToBox(*box, boxPosition + towards * reach) > 0.0) {
                break;
            }
            reach += 0.005f;
        }
        const float offset = static_cast<float>(radius) + 0.06f * unit(random);
        auto sphere = MakeSphere(radius, boxPosition + direction * (reach + offset));

        const double sampled = SampledDistanceToBox(*box, sphere->WorldPosition()) - radius;
        const std::vector<Contact> contacts = DetectBothOrders(*sphere, *box);
        // the sampling grid is within 1/80 of a side of the truth
        const double resolution = 0.02;
        if (contacts.empty()) {
            EXPECT_TRUE(sampled > kTolerance - resolution || sampled < -kTolerance + resolution) << sampled;
            ++missesSeen;
            continue;
        }
        ++contactsSeen;
        ASSERT_EQ(contacts.size(), 1u);
        EXPECT_NEAR(contacts[0].distance, sampled, resolution);
        // the normal points from the box (second) towards the sphere (first)
        EXPECT_GT(Dot(contacts[0].normal, sphere->WorldPosition() - boxPosition), 0.0f);
        // stepping back from the contact point along the normal reaches the box's surface
        const Vector3 onBox =
            contacts[0].point - contacts[0].normal * static_cast<float>(contacts[0].distance);
        EXPECT_NEAR(SampledDistanceToBox(*box, onBox), 0.0, resolution);
    }
    EXPECT_GT(contactsSeen, 30);
    EXPECT_GT(missesSeen, 5);
}
