// Rings in the world: dropped flat, stood on edge, holding a ball, dropped onto each other,
// and picked by rays; with the detector table complete for every pair of shapes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "collision/Collide.h"
#include "collision/CollisionRegistry.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "support/PrimitiveShapes.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;

class TorusWorld : public ::testing::Test {
protected:
    void SetUp() override {
        D3DObjectManager::Destroy();
        RegisterCollisionDetectors();
        world_ = std::make_unique<FieldItemWorld>(nullptr, 1);
        world_->Initialize(Placement());
        world_->CommitPending();
        world_->UpdateWorld(nullptr, nullptr);
    }
    void TearDown() override {
        world_.reset();
        DestroyCollisionDetectors();
        D3DObjectManager::Destroy();
    }

    /// Adds the item (the world lifts it clear of what it overlaps) and makes it live.
    template <class Item> Item* Add(const std::wstring& name, std::unique_ptr<Item> item) {
        Item* raw = item.get();
        world_->AddItem(name, std::move(item));
        world_->CommitPending();
        world_->UpdateWorld(nullptr, nullptr);
        return raw;
    }

    /// Steps in the tester's order, calling watch after each.
    void Steps(int count, const std::function<void()>& watch = {}) {
        for (int i = 0; i < count; ++i) {
            world_->DetectCollisions();
            world_->Control(nullptr);
            world_->Integrate(nullptr);
            world_->UpdateWorld(nullptr, nullptr);
            if (watch) {
                watch();
            }
        }
    }

    /// Seconds of simulated time in steps of the world's time step.
    int StepsFor(double seconds) const { return static_cast<int>(seconds / world_->StepSettings().timeStep); }

    std::unique_ptr<FieldItemWorld> world_;
};

Vector3 AxisOf(const FieldItem& item) {
    Vector3 axis(0.0f, 1.0f, 0.0f);
    item.ToWorld(axis);
    return axis;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// Distance from p to a ring's centre circle.
double DistanceToCentreCircle(const FieldItemTorus& ring, const Vector3& p) {
    Vector3 local = shapes::ToLocalPoint(ring, p);
    return std::hypot(std::hypot(local.x, local.z) - ring.Radius(), static_cast<double>(local.y));
}

/// The least distance between two rings' centre circles, sampled along the first.
double DistanceBetweenCentreCircles(const FieldItemTorus& a, const FieldItemTorus& b) {
    double nearest = 1e9;
    constexpr int kSamples = 720;
    for (int i = 0; i < kSamples; ++i) {
        double angle = 2.0 * std::numbers::pi * i / kSamples;
        Vector3 local(static_cast<float>(a.Radius() * std::cos(angle)), 0.0f,
                      static_cast<float>(a.Radius() * std::sin(angle)));
        nearest = std::min(nearest, DistanceToCentreCircle(b, shapes::ToWorldPoint(a, local)));
    }
    return nearest;
}

} // namespace

TEST_F(TorusWorld, RingDroppedFlatLandsFlat) {
    // ring radius 0.15: tube 0.03, collision tube 0.015
    FieldItemTorus* ring = Add(L"ring", shapes::Torus({0.2f, 0.3f, -0.1f}, 0.15));
    Steps(StepsFor(4.0));

    EXPECT_GT(std::abs(AxisOf(*ring).y), 0.9999f);
    const Vector3 position = ring->WorldPosition();
    // resting inside the tolerance band above its tube's bottom
    EXPECT_GT(position.y, ring->CoreTubeRadius());
    EXPECT_LT(position.y, ring->CoreTubeRadius() + kTolerance);
    EXPECT_NEAR(position.x, 0.2f, 1e-3f);
    EXPECT_NEAR(position.z, -0.1f, 1e-3f);
    EXPECT_LT(Length(ring->Velocity()), 0.01f);
    EXPECT_LT(Length(ring->AngularVelocity()), 0.05f);
}

TEST_F(TorusWorld, RingStoodOnEdgeRollsAndFallsOver) {
    // upright (axis horizontal, along z), a little off vertical and rolling along x
    const float lean = 0.08f;
    auto upright = shapes::Torus({0.0f, 0.15f + 0.015f + 0.01f, 0.0f}, 0.15,
                                 {static_cast<float>(std::numbers::pi / 2.0) + lean, 0.0f, 0.0f});
    FieldItemTorus* ring = Add(L"ring", std::move(upright));
    ring->Velocity() = Vector3(0.3f, 0.0f, 0.0f);

    float lowest = 1.0f;
    float farthest = 0.0f;
    bool finite = true;
    Steps(StepsFor(8.0), [&] {
        lowest = std::min(lowest, ring->WorldPosition().y);
        farthest = std::max(farthest, std::abs(ring->WorldPosition().x));
        finite = finite && IsFinite(ring->WorldPosition());
    });
    ASSERT_TRUE(finite);
    // it moved along before it fell, and now lies (nearly) flat on the land, still wobbling a
    // little on its rim the way a spun coin settles
    EXPECT_GT(farthest, 0.05f);
    EXPECT_GT(std::abs(AxisOf(*ring).y), 0.99f);
    EXPECT_GT(ring->WorldPosition().y, ring->CoreTubeRadius());
    EXPECT_LT(ring->WorldPosition().y, ring->CoreTubeRadius() + kTolerance + 0.1 * ring->Radius());
    // never through the land
    EXPECT_GT(lowest, 0.0f);
    EXPECT_LT(Length(ring->Velocity()), 0.1f);
}

TEST_F(TorusWorld, BallDroppedIntoFlatRingRestsInItsHoleAgainstTheTube) {
    // ring radius 0.15 (collision tube 0.015); ball of collision radius 0.17: too wide for the
    // hole, so it rests in it on the tube
    FieldItemTorus* ring = Add(L"ring", shapes::Torus({0.0f, 0.04f, 0.0f}, 0.15));
    Steps(StepsFor(1.0));
    FieldItemSphere* ball = Add(L"ball", shapes::Sphere({0.01f, 0.5f, 0.005f}, 0.17 + kTolerance / 2.0));
    Steps(StepsFor(5.0));

    const Vector3 offset = ball->WorldPosition() - ring->WorldPosition();
    EXPECT_LT(std::hypot(offset.x, offset.z), 0.05);
    EXPECT_GT(offset.y, 0.0f);
    // touching the tube: its distance from the centre circle is the two radii, within the band
    const double gap = DistanceToCentreCircle(*ring, ball->WorldPosition()) - ball->BoundingRadius() -
                       ring->CoreTubeRadius();
    EXPECT_GT(gap, -kTolerance);
    EXPECT_LT(gap, kTolerance);
    EXPECT_GT(std::abs(AxisOf(*ring).y), 0.99f);
    EXPECT_LT(Length(ball->Velocity()), 0.02f);
}

TEST_F(TorusWorld, RingDroppedFlatOverAPostFallsAroundItOntoTheLand) {
    // a small box (collision half size 0.035) set down on the land, its top then about 0.085
    // high; a flat ring of radius 0.15 (tube inner edge 0.135 from its axis) dropped centred
    // over it from just above
    FieldItemBox* post = Add(L"post", shapes::Box({0.1f, 0.08f, 0.0f}, {0.1f, 0.1f, 0.1f}));
    Steps(StepsFor(1.0));
    FieldItemTorus* ring = Add(L"ring", shapes::Torus({0.1f, 0.14f, 0.0f}, 0.15));
    Steps(StepsFor(3.0));

    ASSERT_TRUE(IsFinite(ring->WorldPosition()));
    EXPECT_GT(std::abs(AxisOf(*ring).y), 0.999f);
    // on the land around the post, not held up by the post's top face over its hole
    EXPECT_LT(ring->WorldPosition().y, ring->CoreTubeRadius() + kTolerance);
    // the post stays where it stood, neither knocked away nor driven into the land
    EXPECT_GT(post->WorldPosition().y, 0.05f);
    EXPECT_LT(post->WorldPosition().y, 0.07f);
    EXPECT_LT(std::hypot(post->WorldPosition().x - 0.1f, post->WorldPosition().z), 0.01f);
    EXPECT_LT(Length(ring->Velocity()), 0.01f);
}

TEST_F(TorusWorld, RingsDroppedOntoEachOtherNeverPassThrough) {
    FieldItemTorus* lower = Add(L"lower", shapes::Torus({0.0f, 0.03f, 0.0f}, 0.15));
    Steps(StepsFor(0.5));
    // one upright ring dropped across the lower ring's tube, one flat ring dropped half over it
    FieldItemTorus* upright =
        Add(L"upright", shapes::Torus({0.15f, 0.4f, 0.0f}, 0.15,
                                      {static_cast<float>(std::numbers::pi / 2.0), 0.0f, 0.0f}));
    FieldItemTorus* flat = Add(L"flat", shapes::Torus({-0.2f, 0.7f, 0.05f}, 0.15, {0.1f, 0.0f, 0.05f}));

    const double tubes = 2.0 * lower->CoreTubeRadius();
    double closest = 1e9;
    bool finite = true;
    int step = 0;
    Steps(StepsFor(5.0), [&] {
        // sampling every tenth step keeps the brute-force distances cheap
        if (++step % 10 == 0) {
            closest = std::min({closest, DistanceBetweenCentreCircles(*lower, *upright),
                                DistanceBetweenCentreCircles(*lower, *flat),
                                DistanceBetweenCentreCircles(*upright, *flat)});
        }
        finite = finite && IsFinite(lower->WorldPosition()) && IsFinite(upright->WorldPosition()) &&
                 IsFinite(flat->WorldPosition());
    });
    ASSERT_TRUE(finite);
    // they met, and the tubes pressed into each other within the band, never deeper
    EXPECT_LT(closest, tubes + kTolerance);
    EXPECT_GT(closest, tubes - kTolerance);
    for (FieldItemTorus* ring : {lower, upright, flat}) {
        EXPECT_LT(Length(ring->Velocity()), 0.5f) << Narrow(ring->Name());
        EXPECT_GT(ring->WorldPosition().y, 0.0f);
    }
}

TEST_F(TorusWorld, RaysPickTheNearestFrontSurfaceOfEachShape) {
    FieldItemTorus* ring = Add(L"ring", shapes::Torus({0.0f, 0.03f, 0.0f}, 0.15));
    FieldItemSphere* ball = Add(L"ball", shapes::Sphere({1.0f, 0.2f, 0.0f}, 0.1));
    FieldItemBox* box = Add(L"box", shapes::Box({-1.0f, 0.2f, 0.0f}, {0.2f, 0.2f, 0.2f}));
    FieldItemDisk* disk = Add(L"disk", shapes::Disk({0.0f, 0.2f, 1.0f}, 0.1, 0.05));
    Steps(StepsFor(2.0));

    struct Case {
        FieldItem* item;
        /// Where the ray starts, straight above the point it should hit.
        Vector3 over;
        /// Height of the surface it should hit: the top of the shape enlarged by half the
        /// tolerance (a disk's face stays at its collision thickness).
        double top;
    };
    const Vector3 ringPosition = ring->WorldPosition();
    const std::vector<Case> cases = {
        {ring, ringPosition + Vector3(0.15f, 0.0f, 0.0f),
         ringPosition.y + ring->CoreTubeRadius() + kTolerance / 2.0},
        {ball, ball->WorldPosition(), ball->WorldPosition().y + ball->BoundingRadius() + kTolerance / 2.0},
        {box, box->WorldPosition(), box->WorldPosition().y + box->CoreSizeY() / 2.0 + kTolerance / 2.0},
        {disk, disk->WorldPosition(), disk->WorldPosition().y + disk->CoreHeight() / 2.0},
    };
    for (const Case& c : cases) {
        const Vector3 origin(c.over.x, 3.0f, c.over.z);
        auto ray = shapes::Ray(origin, {0.0f, -1.0f, 0.0f});
        std::vector<Contact> contacts;
        Collide(*ray, *c.item, contacts);
        ASSERT_FALSE(contacts.empty()) << Narrow(c.item->Name());
        EXPECT_NEAR(contacts.front().distance, 3.0 - c.top, 2e-4);
        EXPECT_NEAR(contacts.front().point.y, c.top, 2e-4);
    }

    // through the ring's hole: the ring is missed; the land is never hit
    auto throughHole = shapes::Ray(ringPosition + Vector3(0.0f, 3.0f, 0.0f), {0.0f, -1.0f, 0.0f});
    std::vector<Contact> contacts;
    Collide(*throughHole, *ring, contacts);
    EXPECT_TRUE(contacts.empty());
    Collide(*throughHole, *world_->Find(L"land"), contacts);
    EXPECT_TRUE(contacts.empty());
}

TEST_F(TorusWorld, EveryPairOfShapesHasItsDetector) {
    const std::vector<std::wstring> shapes = {L"sphere", L"box", L"disk", L"torus", L"ray", L"land"};
    int found = 0;
    for (const std::wstring& first : shapes) {
        for (const std::wstring& second : shapes) {
            const bool none =
                (first == L"ray" || first == L"land") && (second == L"ray" || second == L"land");
            CollisionDetect* detector = FindDetector(first, second);
            EXPECT_EQ(detector == nullptr, none) << Narrow(first) << "-" << Narrow(second);
            found += detector != nullptr;
        }
    }
    EXPECT_EQ(found, 32);
    EXPECT_EQ(CollisionRegistry::Instance().Entries().size(), 32u);
}
