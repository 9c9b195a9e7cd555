// The world's history of item states: stepping back and going on again retraces the
// same trajectory bit for bit; the history keeps within its memory budget however many
// items there are, and forgets everything when the set of items changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "collision/CollisionRegistry.h"
#include "physics/FieldItemWorld.h"
#include "physics/WorldHistory.h"
#include "physics/WorldTick.h"
#include "support/PrimitiveShapes.h"

namespace {

struct ItemState {
    Vector3 position;
    Quaternion orientation;
    Vector3 velocity;
    Vector3 angularVelocity;
    bool operator==(const ItemState& other) const {
        auto same = [](const Vector3& a, const Vector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
        return same(position, other.position) && orientation.x == other.orientation.x &&
               orientation.y == other.orientation.y && orientation.z == other.orientation.z &&
               orientation.w == other.orientation.w && same(velocity, other.velocity) &&
               same(angularVelocity, other.angularVelocity);
    }
};

/// The user items' states; the sky turns on its own and is no part of the history.
std::vector<ItemState> Snapshot(FieldItemWorld& world) {
    std::vector<ItemState> states;
    for (const auto& [name, item] : world.Members()) {
        if (name == L"sky" || name == L"land" || name == L"localplayer") {
            continue;
        }
        states.push_back({item->Transform().Translation(), item->Orientation(), item->Velocity(),
                          item->AngularVelocity()});
    }
    return states;
}

class WorldHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterCollisionDetectors();
        // two workers, as the tester steps on a machine of several processors
        world_ = std::make_unique<FieldItemWorld>(nullptr, 2);
        world_->Initialize(Placement{});
        world_->CommitPending();
    }
    void TearDown() override {
        world_.reset();
        DestroyCollisionDetectors();
    }

    /// One tick, recorded as the tester records it.
    void Tick() {
        RunTick(*world_, nullptr);
        history_.Record(*world_);
    }

    std::unique_ptr<FieldItemWorld> world_;
    WorldHistory history_;
};

TEST_F(WorldHistoryTest, SteppingBackAndGoingOnRetracesTheSameTrajectory) {
    // tumbling boxes and a ball that meet each other and the land
    auto box = shapes::Box({0.0f, 0.4f, 0.0f}, {0.2f, 0.1f, 0.15f}, {0.4f, 0.2f, 0.1f});
    box->AngularVelocity() = Vector3(3.0f, -2.0f, 5.0f);
    world_->AddItem(L"box", std::move(box));
    world_->AddItem(L"ball", shapes::Sphere({0.05f, 0.9f, 0.02f}, 0.08));
    auto other = shapes::Box({0.3f, 0.2f, 0.0f}, {0.1f, 0.1f, 0.1f});
    other->Velocity() = Vector3(-1.0f, 0.0f, 0.0f);
    world_->AddItem(L"other", std::move(other));
    for (int tick = 0; tick < 60; ++tick) {
        Tick();
    }
    const std::vector<ItemState> atSixty = Snapshot(*world_);
    std::vector<std::vector<ItemState>> firstTime;
    for (int tick = 0; tick < 60; ++tick) {
        Tick();
        firstTime.push_back(Snapshot(*world_));
    }
    ASSERT_EQ(history_.Size(), 120);

    // back 60 ticks: the state of the 60th tick, exactly
    for (int tick = 0; tick < 60; ++tick) {
        ASSERT_TRUE(history_.Back(*world_));
    }
    EXPECT_TRUE(Snapshot(*world_) == atSixty);
    // forward and back again move through the same entries
    ASSERT_TRUE(history_.Forward(*world_));
    EXPECT_TRUE(Snapshot(*world_) == firstTime[0]);
    ASSERT_TRUE(history_.Back(*world_));

    // going on from there retraces the first run and drops the entries after the shown one
    for (int tick = 0; tick < 60; ++tick) {
        Tick();
        ASSERT_TRUE(Snapshot(*world_) == firstTime[tick]) << "diverged at tick " << tick + 61;
        if (tick == 0) {
            EXPECT_EQ(history_.Size(), 61);
            EXPECT_FALSE(history_.Forward(*world_));
        }
    }

    // the oldest entry is as far back as it goes
    while (history_.Back(*world_)) {
    }
    EXPECT_EQ(history_.Shown(), 0);
}

TEST_F(WorldHistoryTest, KeepsWithinItsBudgetAndForgetsWhenTheItemsChange) {
    // 2000 items fit ten seconds into the budget; 600 more get fewer seconds
    int count = 0;
    for (int total : {2000, 2600}) {
        for (; count < total; ++count) {
            world_->AddItem(
                L"ball" + std::to_wstring(count),
                shapes::Sphere({static_cast<float>(count % 100), 1.0f, static_cast<float>(count / 100)},
                               0.1));
        }
        world_->CommitPending();
        for (int tick = 0; tick < WorldHistory::kMaximumTicks + 100; ++tick) {
            history_.Record(*world_);
        }
        EXPECT_LE(history_.MemoryBytes(), WorldHistory::kBudgetBytes) << total << " items";
        const int expected =
            std::min<int>(WorldHistory::kMaximumTicks,
                          WorldHistory::kBudgetBytes / (total * WorldHistory::kFloatsPerItem * 4));
        EXPECT_EQ(history_.Size(), expected) << total << " items";
    }
    EXPECT_LT(history_.Size(), WorldHistory::kMaximumTicks);

    // an added item, then a deleted one, starts the history afresh
    world_->AddItem(L"late", shapes::Sphere({0.0f, 5.0f, 0.0f}, 0.1));
    world_->CommitPending();
    history_.Record(*world_);
    EXPECT_EQ(history_.Size(), 1);
    history_.Record(*world_);
    world_->Remove(L"late");
    world_->PurgeDeleted();
    EXPECT_FALSE(history_.Back(*world_)) << "stepped back into a deleted item";
    EXPECT_EQ(history_.Size(), 0);
}

} // namespace
