#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "collision/Collide.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemLand.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldWorkers.h"
#include "physics/support/WorldTestSupport.h"
#include "support/FieldItemTestBody.h"
#include "support/TestSupport.h"

namespace {

bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// The moving state of one item.
struct BodyState {
    Vector3 position;
    Quaternion orientation;
    Vector3 velocity;
    Vector3 angularVelocity;
    Vector3 force;
    Vector3 torque;
    bool operator==(const BodyState&) const = default;
};

std::vector<BodyState> SaveStates(FieldItemWorld& world, const std::vector<std::wstring>& names) {
    std::vector<BodyState> states;
    for (const std::wstring& name : names) {
        FieldItem* item = world.Find(name);
        states.push_back(BodyState{item->Transform().Translation(), item->Orientation(), item->Velocity(),
                                   item->AngularVelocity(), item->Force(), item->Torque()});
    }
    return states;
}

void RestoreStates(FieldItemWorld& world, const std::vector<std::wstring>& names,
                   const std::vector<BodyState>& states) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        FieldItem* item = world.Find(names[i]);
        item->Transform() = MatrixTranslation(states[i].position);
        item->Orientation() = states[i].orientation;
        item->Velocity() = states[i].velocity;
        item->AngularVelocity() = states[i].angularVelocity;
        item->Force() = states[i].force;
        item->Torque() = states[i].torque;
    }
    world.UpdateWorld(nullptr, nullptr);
}

/// A loose pile of spheres and two boxes dropped onto each other.
std::vector<std::wstring> BuildPile(FieldItemWorld& world) {
    std::vector<std::wstring> names;
    int index = 0;
    for (int layer = 0; layer < 3; ++layer) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const Vector3 position(0.17f * column + 0.013f * layer, 0.15f + 0.19f * layer,
                                       0.17f * row - 0.011f * layer + 0.4f);
                const std::wstring name = L"ball" + std::to_wstring(index++);
                world.AddItem(name, MakeSphere(position, 0.09));
                names.push_back(name);
            }
        }
    }
    world.AddItem(L"boxA", MakeBox(Vector3(0.2f, 0.9f, 0.55f), Vector3(0.3f, 0.1f, 0.2f), 800.0,
                                   Vector3(0.1f, 0.2f, 0.0f)));
    world.AddItem(L"boxB", MakeBox(Vector3(0.95f, 0.1f, 0.5f), Vector3(0.2f, 0.2f, 0.2f)));
    names.push_back(L"boxA");
    names.push_back(L"boxB");
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
    return names;
}

/// Four hundred spheres falling in columns onto a box and each other.
std::vector<std::wstring> BuildHeap(FieldItemWorld& world) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 400; ++i) {
        const int column = i % 10, row = (i / 10) % 10, layer = i / 100;
        const Vector3 position(0.21f * (column - 4.5f) + 0.004f * layer, 0.2f + 0.25f * layer,
                               0.21f * (row - 4.5f) - 0.003f * layer);
        const std::wstring name = L"heap" + std::to_wstring(i);
        world.AddItem(name, MakeSphere(position, 0.1, 900.0 + 10.0 * (i % 7)));
        names.push_back(name);
    }
    world.AddItem(L"slab", MakeBox(Vector3(0.3f, 0.05f, -0.2f), Vector3(0.8f, 0.1f, 0.6f)));
    names.push_back(L"slab");
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
    return names;
}

} // namespace

TEST_F(WorldTest, InitializeCreatesPlayerSkyAndLand) {
    const std::size_t texturesBefore = D3DObjectManager::Instance().TextureCount();
    auto world = MakeWorld();

    FieldItem* player = world->Find(L"localplayer");
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->TypeName(), L"player");
    EXPECT_NE(dynamic_cast<PlayerLocal*>(player), nullptr);
    EXPECT_VECTOR_NEAR(player->WorldPosition(), SimulationParameters::Instance().playerStartPosition, 0.0f);
    EXPECT_EQ(player->Mass(), 0.0);

    ASSERT_NE(world->Find(L"sky"), nullptr);
    EXPECT_EQ(world->Find(L"sky")->TypeName(), L"sky");
    auto* land = dynamic_cast<FieldItemLand*>(world->Find(L"land"));
    ASSERT_NE(land, nullptr);
    EXPECT_EQ(land->TileSize(), 4);
    ASSERT_NE(land->TileMap(), nullptr);
    ASSERT_NE(land->TileMap()->TileAt(0, 0), nullptr);
    EXPECT_EQ(land->TileMap()->TileAt(0, 0)->FileName(), L"data\\land.png");
    EXPECT_LE(D3DObjectManager::Instance().TextureCount(), texturesBefore + 1);
    EXPECT_EQ(world->TypeName(), L"world");
    EXPECT_EQ(world->Members().size(), 3u);
}

TEST_F(WorldTest, SphereRestsAtSpringEquilibrium) {
    auto world = MakeWorld();
    world->AddItem(L"ball", MakeSphere(Vector3(0.0f, 0.3f, 0.0f), 0.1));
    world->AddItem(L"heavy", MakeSphere(Vector3(2.0f, 0.3f, 0.0f), 0.1, 4000.0));
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);
    FieldItem* sphere = world->Find(L"ball");
    FieldItem* heavy = world->Find(L"heavy");

    Steps(*world, 4000);

    // the spring carries the weight slightly inside the tolerance band; the restitution's
    // weaker push while separating lets a resting sphere sit a little lower, down to where
    // the mean of the two pushes, (1 + e) / 2 k, carries it
    const double restitution = world->StepSettings().restitution;
    for (FieldItem* item : {sphere, heavy}) {
        const double core = item->BoundingRadius();
        const double weight = item->Mass() * SurfaceGravity();
        const double equilibrium = core + 0.03 * (1.0 - weight / 2000.0);
        const double lowest = core + 0.03 * (1.0 - weight / ((1.0 + restitution) / 2.0 * 2000.0));
        EXPECT_LE(item->WorldPosition().y, equilibrium + 2.0e-5);
        EXPECT_GE(item->WorldPosition().y, lowest - 1.0e-4);
        EXPECT_LT(Length(item->Velocity()), 0.01f);
    }
    EXPECT_NEAR(sphere->WorldPosition().y,
                sphere->BoundingRadius() + 0.03 * (1.0 - sphere->Mass() * SurfaceGravity() / 2000.0), 2.0e-4);
    EXPECT_NEAR(sphere->WorldPosition().x, 0.0, 1.0e-6);
    // a heavier sphere sinks deeper into the band
    EXPECT_LT(heavy->WorldPosition().y, sphere->WorldPosition().y - 1.0e-3f);
}

TEST_F(WorldTest, BounceApexHeightsFallUnderRestitution) {
    auto world = MakeWorld();
    FieldItem* sphere = AddLive(*world, L"ball", MakeSphere(Vector3(0.0f, 0.6f, 0.0f), 0.05, 500.0));

    // the heights at which the sphere turns from rising to falling
    std::vector<float> apexes;
    float previousVelocity = 0.0f;
    for (int step = 0; step < 3000; ++step) {
        Step(*world);
        const float velocity = sphere->Velocity().y;
        if (previousVelocity > 0.0f && velocity <= 0.0f) {
            apexes.push_back(sphere->WorldPosition().y);
        }
        previousVelocity = velocity;
    }
    ASSERT_GE(apexes.size(), 3u);
    EXPECT_LT(apexes[0], 0.6f);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_LT(apexes[i], apexes[i - 1]) << "apex " << i;
    }
    // the first rebound keeps about the restitution's share of the drop height
    const float core = static_cast<float>(sphere->BoundingRadius());
    const float ratio = (apexes[0] - core) / (0.6f - core);
    EXPECT_GT(ratio, 0.4f);
    EXPECT_LT(ratio, 0.75f);
}

TEST_F(WorldTest, RollingSphereSlowsUnderFriction) {
    auto world = MakeWorld();
    FieldItem* sphere = AddLive(*world, L"ball", MakeSphere(Vector3(0.0f, 0.1f, 0.0f), 0.1));
    Steps(*world, 1000);
    sphere->Velocity() = Vector3(2.0f, 0.0f, 0.0f);

    Steps(*world, 300);
    const float early = sphere->Velocity().x;
    Steps(*world, 1000);
    const float late = sphere->Velocity().x;

    EXPECT_GT(early, 0.0f);
    EXPECT_LT(early, 2.0f);
    EXPECT_LT(late, early);
    EXPECT_GT(sphere->WorldPosition().x, 0.2f);
    // friction at the contact point turns the sphere: it rolls about the z axis
    Vector3 spin = sphere->AngularVelocity();
    sphere->ToWorld(spin);
    EXPECT_LT(spin.z, -1.0f);
    EXPECT_NEAR(spin.x, 0.0f, 1.0e-3f);
}

TEST_F(WorldTest, HeadOnCollisionExchangesMomentum) {
    auto world = MakeWorld(1, Weightless());
    // high above the land, so that only the two spheres meet
    FieldItem* left = AddLive(*world, L"left",
                              MakeSphere(Vector3(-0.4f, 3.0f, 0.0f), 0.1, 1000.0, Vector3(1.0f, 0.0f, 0.0f)));
    FieldItem* right = AddLive(
        *world, L"right", MakeSphere(Vector3(0.4f, 3.0f, 0.0f), 0.1, 1000.0, Vector3(-1.0f, 0.0f, 0.0f)));
    Steps(*world, 1000);
    EXPECT_LT(left->Velocity().x, -0.1f);
    EXPECT_GT(right->Velocity().x, 0.1f);
    EXPECT_NEAR(left->Velocity().x + right->Velocity().x, 0.0f, 1.0e-4f);
    EXPECT_NEAR(left->WorldPosition().y, 3.0f, 1.0e-5f);

    // a moving sphere hands its momentum forward to one at rest
    FieldItem* mover = AddLive(
        *world, L"mover", MakeSphere(Vector3(-0.4f, 3.0f, 2.0f), 0.1, 1000.0, Vector3(1.0f, 0.0f, 0.0f)));
    FieldItem* target = AddLive(*world, L"target", MakeSphere(Vector3(0.4f, 3.0f, 2.0f), 0.1));
    const double momentum = mover->Mass() * mover->Velocity().x;
    Steps(*world, 1000);
    EXPECT_GT(target->Velocity().x, 0.3f);
    EXPECT_LT(mover->Velocity().x, target->Velocity().x);
    EXPECT_NEAR(mover->Mass() * mover->Velocity().x + target->Mass() * target->Velocity().x, momentum,
                1.0e-3 * momentum);
}

TEST_F(WorldTest, SphereComesToRestOnABoxOnTheLand) {
    auto world = MakeWorld();
    FieldItem* box = AddLive(*world, L"box", MakeBox(Vector3(0.0f, 0.1f, 0.0f), Vector3(0.6f, 0.2f, 0.6f)));
    FieldItem* sphere = AddLive(*world, L"ball", MakeSphere(Vector3(0.05f, 0.6f, -0.03f), 0.1));
    Steps(*world, 4000);

    // on top of the box, whose drawn top is at 0.2
    EXPECT_NEAR(sphere->WorldPosition().y, box->WorldPosition().y + 0.085f + 0.1f, 0.03f);
    EXPECT_GT(sphere->WorldPosition().y, 0.25f);
    EXPECT_LT(Length(sphere->Velocity()), 0.02f);
    EXPECT_LT(Length(box->Velocity()), 0.02f);
    EXPECT_NEAR(box->WorldPosition().y, 0.1f, 0.03f);
}

TEST_F(WorldTest, OneAndTwoWorkersGiveTheSameTrajectories) {
    // a small pile, whose phases stay on the calling thread, and a heap whose phases are
    // shared out to the workers
    for (bool large : {false, true}) {
        auto world = MakeWorld(1);
        const std::vector<std::wstring> names = large ? BuildHeap(*world) : BuildPile(*world);
        if (large) {
            world->SetParallelMinimum(names.size());
        }
        const std::vector<BodyState> start = SaveStates(*world, names);

        // the same scene from the same start with one, two and three workers
        std::vector<std::vector<BodyState>> runs;
        for (int workers : {1, 2, 3, 2}) {
            RestoreStates(*world, names, start);
            world->SetWorkerCount(workers);
            ASSERT_EQ(world->WorkerCount(), workers);
            std::vector<BodyState> trajectory;
            for (int step = 0; step < (large ? 300 : 600); ++step) {
                Step(*world);
                if (step % 50 == 49) {
                    const std::vector<BodyState> states = SaveStates(*world, names);
                    trajectory.insert(trajectory.end(), states.begin(), states.end());
                }
            }
            EXPECT_EQ(world->ShareCount(), large ? workers : 1);
            runs.push_back(trajectory);
        }
        // bit for bit: the sums are made in one order whatever the worker count
        for (std::size_t run = 1; run < runs.size(); ++run) {
            ASSERT_EQ(runs[run].size(), runs[0].size());
            for (std::size_t i = 0; i < runs[0].size(); ++i) {
                ASSERT_TRUE(runs[run][i] == runs[0][i])
                    << "large " << large << " run " << run << " state " << i;
            }
        }
        for (const BodyState& state : runs[0]) {
            EXPECT_TRUE(IsFinite(state.position));
        }
        if (!large) {
            // the pile did move and touch
            EXPECT_LT(world->Find(L"ball20")->WorldPosition().y, 0.15f + 0.19f * 2);
        }
    }
}

TEST_F(WorldTest, AddItemLiftsInMillimetreStepsUntilClear) {
    auto world = MakeWorld();
    // the land, the sky and the player do not count
    world->AddItem(L"c", MakeSphere(Vector3(3.0f, 0.0f, 0.0f), 0.1));
    EXPECT_EQ(world->Pending().at(L"c")->WorldPosition().y, 0.0f);
    world->AddItem(L"d", MakeSphere(SimulationParameters::Instance().playerStartPosition, 0.1));
    EXPECT_EQ(world->Pending().at(L"d")->WorldPosition(),
              SimulationParameters::Instance().playerStartPosition);
    // nor do pending items
    world->AddItem(L"e", MakeSphere(Vector3(3.0f, 0.0f, 0.0f), 0.1));
    EXPECT_EQ(world->Pending().at(L"e")->WorldPosition().y, 0.0f);

    FieldItem* resting = AddLive(*world, L"a", MakeSphere(Vector3(1.0f, 0.5f, 0.0f), 0.1));
    world->AddItem(L"b", MakeSphere(Vector3(1.0f, 0.5f, 0.0f), 0.1));
    ASSERT_EQ(world->Pending().count(L"b"), 1u);
    FieldItem* lifted = world->Pending().at(L"b").get();
    EXPECT_EQ(world->Find(L"b"), nullptr);

    // just clear, and not one millimetre more
    EXPECT_FALSE(PairFilterAccepts(*resting, *lifted, CollideSettings()));
    const float height = lifted->WorldPosition().y;
    const float steps = (height - 0.5f) / 0.001f;
    EXPECT_NEAR(steps, std::round(steps), 0.05f);
    EXPECT_GT(height, 0.69f);
    EXPECT_LT(height, 0.72f);
    lifted->Transform()._42 -= 0.001f;
    lifted->UpdateWorld(nullptr, nullptr);
    EXPECT_TRUE(PairFilterAccepts(*resting, *lifted, CollideSettings()));

    // rising over two stacked items takes one step per overlapping member in each pass
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);
    world->AddItem(L"f", MakeSphere(Vector3(1.0f, 0.5f, 0.0f), 0.1));
    EXPECT_FALSE(PairFilterAccepts(*world->Find(L"b"), *world->Pending().at(L"f"), CollideSettings()));
    EXPECT_GT(world->Pending().at(L"f")->WorldPosition().y, world->Find(L"b")->WorldPosition().y + 0.19f);

    // a column with a gap too narrow for the item and, higher up, one wide enough: the item
    // rises past the members below it and stops in the wide gap, just clear of both sides
    FieldItem* low = AddLive(*world, L"g1", MakeSphere(Vector3(5.0f, 3.0f, 0.0f), 0.1));
    FieldItem* middle = AddLive(*world, L"g2", MakeSphere(Vector3(5.05f, 3.35f, 0.0f), 0.1));
    FieldItem* high = AddLive(*world, L"g3", MakeSphere(Vector3(4.95f, 3.95f, 0.0f), 0.1));
    world->AddItem(L"h", MakeSphere(Vector3(5.0f, 2.95f, 0.0f), 0.1));
    FieldItem* climber = world->Pending().at(L"h").get();
    for (FieldItem* member : {low, middle, high}) {
        EXPECT_FALSE(PairFilterAccepts(*member, *climber, CollideSettings()));
    }
    EXPECT_GT(climber->WorldPosition().y, 3.35f);
    EXPECT_LT(climber->WorldPosition().y, 3.95f - 0.15f);
    climber->Transform()._42 -= 0.001f;
    climber->UpdateWorld(nullptr, nullptr);
    EXPECT_TRUE(PairFilterAccepts(*middle, *climber, CollideSettings()));
}

TEST_F(WorldTest, AddItemLiftIsBoundedForItemsThatOverlapForever) {
    auto world = MakeWorld();
    // an item whose bounds cover everything, and one so high that a millimetre is lost in rounding
    auto everything = std::make_unique<FieldItemTestBody>();
    everything->MakeSphere(1.0, 0.1f);
    everything->SetCore(Vector3(1.0e30f, 1.0e30f, 1.0e30f), 1.0e30);
    AddLive(*world, L"everything", std::move(everything));

    world->AddItem(L"ball", MakeSphere(Vector3(0.0f, 1.0f, 0.0f), 0.1));
    world->AddItem(L"high", MakeSphere(Vector3(0.0f, 1.0e8f, 0.0f), 0.1));
    EXPECT_NEAR(world->Pending().at(L"ball")->WorldPosition().y,
                1.0f + 0.001f * FieldItemWorld::kMaximumLiftSteps, 1.0f);
    EXPECT_EQ(world->Pending().at(L"high")->WorldPosition().y, 1.0e8f);
}

TEST_F(WorldTest, HeavyItemsAttractOthers) {
    auto world = MakeWorld(1, Weightless());
    FieldItem* heavy = AddLive(*world, L"heavy", MakeSphere(Vector3(0.0f, 5.0f, 0.0f), 0.7));
    FieldItem* light = AddLive(*world, L"light", MakeSphere(Vector3(3.0f, 5.0f, 0.0f), 0.1));
    FieldItem* lighter = AddLive(*world, L"lighter", MakeSphere(Vector3(3.0f, 5.0f, 4.0f), 0.1));
    ASSERT_GE(heavy->Mass(), 1000.0);

    world->Control(nullptr);

    const double constant = world->StepSettings().gravitationalConstant;
    const double pull = constant * heavy->Mass() * light->Mass() / 9.0;
    EXPECT_NEAR(light->Force().x, -pull, 1.0e-6 * pull);
    EXPECT_EQ(light->Force().y, 0.0f);
    // along the line to the heavy item, falling off with the square of the distance
    const double farPull = constant * heavy->Mass() * lighter->Mass() / 25.0;
    EXPECT_NEAR(lighter->Force().x, -farPull * 0.6, 1.0e-5 * farPull);
    EXPECT_NEAR(lighter->Force().z, -farPull * 0.8, 1.0e-5 * farPull);
    // light items pull nothing; the player, the sky and the land are not pulled
    EXPECT_EQ(heavy->Force(), Vector3());
    EXPECT_EQ(world->Find(L"localplayer")->Force(), Vector3());
    EXPECT_EQ(world->Find(L"sky")->Force(), Vector3());

    // with gravity on, every item but the built-in ones carries its weight
    world->SetSettings(WorldSettings());
    light->Force() = Vector3();
    world->ApplyGravity();
    EXPECT_NEAR(light->Force().y, -light->Mass() * SurfaceGravity(), 1.0e-4);
    EXPECT_EQ(world->Find(L"localplayer")->Force(), Vector3());
}

TEST_F(WorldTest, DeletedItemStopsCollidingAndIsPurgedWithItsLogLine) {
    auto world = MakeWorld(1, Weightless());
    world->AddItem(L"a", MakeSphere(Vector3(0.0f, 3.0f, 0.0f), 0.1));
    world->AddItem(L"b", MakeSphere(Vector3(0.18f, 3.0f, 0.0f), 0.1));
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);
    FieldItem* a = world->Find(L"a");
    FieldItem* b = world->Find(L"b");
    auto* player = dynamic_cast<PlayerLocal*>(world->Find(L"localplayer"));
    ASSERT_NE(player, nullptr);
    player->SetGrabbedItem(b);

    world->DetectCollisions();
    EXPECT_LT(a->Force().x, -100.0f);
    EXPECT_GT(b->Force().x, 100.0f);
    a->Force() = Vector3();
    b->Force() = Vector3();

    // from the moment it is marked
    world->Remove(L"b");
    world->DetectCollisions();
    EXPECT_EQ(a->Force(), Vector3());
    EXPECT_EQ(b->Force(), Vector3());
    EXPECT_NE(world->Find(L"b"), nullptr);

    ScopedLogCapture capture;
    world->PurgeDeleted();
    EXPECT_EQ(world->Find(L"b"), nullptr);
    EXPECT_EQ(player->GrabbedItem(), nullptr);
    const auto records = capture.Writer().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, L"[b] deleted");
    EXPECT_EQ(records[0].level, 2);
    EXPECT_EQ(records[0].line, 285);

    // the world goes on stepping without it
    world->UpdateWorld(nullptr, nullptr);
    Steps(*world, 10);
    EXPECT_EQ(a->Velocity(), Vector3());
}

TEST_F(WorldTest, ImpactListenerHearsOncePerPeakAboveTheThreshold) {
    auto world = MakeWorld(1, Weightless());
    RecordingImpacts heard;
    world->SetImpactListener(&heard);
    auto body = std::make_unique<FieldItemTestBody>();
    body->MakeSphere(2.0, 0.1f);
    body->Transform() = MatrixTranslation(1.0f, 0.5f, 2.0f);
    FieldItem* item = AddLive(*world, L"item", std::move(body));

    // accelerations by step: a peak of 300, a peak of 260, a steady 150, a small peak of 90
    const double accelerations[] = {0,  50,  150, 300, 200, 100, 250, 260, 120,
                                    90, 150, 150, 150, 150, 80,  90,  60};
    std::vector<std::size_t> heardAt;
    for (std::size_t step = 0; step < std::size(accelerations); ++step) {
        item->Force() = Vector3(static_cast<float>(accelerations[step] * item->Mass()), 0.0f, 0.0f);
        const std::size_t before = heard.impacts.size();
        world->DetectCollisions();
        if (heard.impacts.size() != before) {
            heardAt.push_back(step);
        }
    }
    ASSERT_EQ(heardAt, (std::vector<std::size_t>{4, 8}));
    EXPECT_EQ(heard.impacts[0].item, L"item");
    EXPECT_NEAR(heard.impacts[0].acceleration, 200.0, 1.0e-6);
    EXPECT_NEAR(heard.impacts[1].acceleration, 120.0, 1.0e-6);
    EXPECT_EQ(heard.impacts[0].viewer, world->Find(L"localplayer"));

    // the player and the sky have no mass and are never heard, however large their force
    world->Find(L"localplayer")->Force() = Vector3(1.0e6f, 0.0f, 0.0f);
    world->DetectCollisions();
    world->Find(L"localplayer")->Force() = Vector3(1.0f, 0.0f, 0.0f);
    world->DetectCollisions();
    EXPECT_EQ(heard.impacts.size(), 2u);
    // without a listener the peaks go unheard
    world->SetImpactListener(nullptr);
    for (double acceleration : {300.0, 200.0}) {
        item->Force() = Vector3(static_cast<float>(acceleration * item->Mass()), 0.0f, 0.0f);
        world->DetectCollisions();
    }
    EXPECT_EQ(heard.impacts.size(), 2u);
}

TEST_F(WorldTest, DroppedSphereHitsTheLandWithOneSoundPerImpact) {
    auto world = MakeWorld();
    RecordingImpacts heard;
    world->SetImpactListener(&heard);
    AddLive(*world, L"ball", MakeSphere(Vector3(0.0f, 1.0f, 0.0f), 0.1));

    // the fall itself is silent: 9.8 m/s^2
    Steps(*world, 250);
    EXPECT_TRUE(heard.impacts.empty());
    Steps(*world, 2000);
    ASSERT_FALSE(heard.impacts.empty());
    // every impact peaks above the threshold, and a bouncing ball makes a few, not one a step
    for (const RecordingImpacts::Impact& impact : heard.impacts) {
        EXPECT_EQ(impact.item, L"ball");
        EXPECT_GT(impact.acceleration, FieldItemWorld::kImpactThreshold);
    }
    EXPECT_LT(heard.impacts.size(), 30u);
}

TEST_F(WorldTest, MemberTurnedNonFiniteIsTakenOutWithALevelOneRecord) {
    auto world = MakeWorld(1);
    FieldItem* bad = AddLive(*world, L"bad", MakeSphere(Vector3(0.0f, 0.3f, 0.0f), 0.1));
    FieldItem* good = AddLive(*world, L"good", MakeSphere(Vector3(0.18f, 0.3f, 0.0f), 0.1));
    // the integration turns the spin and orientation into NaN; the two spheres touch
    bad->Torque() = Vector3(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f);

    ScopedLogCapture capture(4, true);
    Steps(*world, 20);
    world->PurgeDeleted();
    EXPECT_EQ(world->Find(L"bad"), nullptr);
    ASSERT_EQ(world->Find(L"good"), good);
    EXPECT_TRUE(IsFinite(good->WorldPosition()));
    EXPECT_TRUE(IsFinite(good->Velocity()));
    EXPECT_TRUE(IsFinite(good->AngularVelocity()));
    const auto failures = capture.Writer().Errors();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].message.find(L"[bad]"), std::wstring::npos);
    EXPECT_EQ(world->Safeguards().removedMembers, 1u);
}

TEST_F(WorldTest, HugeAndNonFiniteBoundsKeepTheGridBounded) {
    auto world = MakeWorld();
    auto huge = std::make_unique<FieldItemTestBody>();
    huge->MakeSphere(1.0, 0.1f);
    huge->SetCore(Vector3(1.0e9f, 1.0f, 1.0e9f), 1.0e9);
    huge->Transform() = MatrixTranslation(0.0f, 50.0f, 0.0f);
    huge->SetFixed(true);
    AddLive(*world, L"huge", std::move(huge));
    auto lost = std::make_unique<FieldItemTestBody>();
    lost->MakeSphere(1.0, 0.1f);
    lost->Transform() = MatrixTranslation(std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f);
    lost->SetFixed(true);
    AddLive(*world, L"lost", std::move(lost));
    auto far = std::make_unique<FieldItemTestBody>();
    far->MakeSphere(1.0, 0.1f);
    far->Transform() = MatrixTranslation(1.0e30f, 1.0f, -1.0e30f);
    far->SetFixed(true);
    AddLive(*world, L"far", std::move(far));
    FieldItem* sphere = AddLive(*world, L"sphere", MakeSphere(Vector3(0.5f, 0.3f, 0.5f), 0.1));

    Steps(*world, 2000);

    // a handful of cells, the lost item out of them, the huge one in all
    const BroadPhaseGrid& grid = world->Grid();
    EXPECT_LE(grid.CellCount(), 4u);
    std::vector<std::int32_t> keys = grid.CellKeys();
    EXPECT_NE(std::find(keys.begin(), keys.end(), BroadPhaseGrid::CellKey(32767, -32768)), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), BroadPhaseGrid::CellKey(0, 0)), keys.end());
    // the sphere still rests on the land
    EXPECT_NEAR(sphere->WorldPosition().y, 0.085 + 0.03 * (1.0 - sphere->Mass() * SurfaceGravity() / 2000.0),
                5.0e-4);
    EXPECT_TRUE(IsFinite(sphere->Velocity()));
}

TEST_F(WorldTest, CellRangeFloorsAndBoundsTheCells) {
    auto world = MakeWorld();
    int ix0 = 0, ix1 = 0, iz0 = 0, iz1 = 0;
    world->CellRange(-0.5, 1.5, 2.0, 2.999, ix0, ix1, iz0, iz1);
    EXPECT_EQ((std::vector<int>{ix0, ix1, iz0, iz1}), (std::vector<int>{-1, 1, 2, 2}));
    world->CellRange(-1.0e12, 1.0e12, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), ix0, ix1, iz0, iz1);
    EXPECT_EQ((std::vector<int>{ix0, ix1, iz0, iz1}), (std::vector<int>{-32768, 32767, -32768, 32767}));
    // neighbouring cells of negative and positive indices keep different keys
    EXPECT_NE(BroadPhaseGrid::CellKey(0, -1), BroadPhaseGrid::CellKey(1, 65535 - 65536));
    EXPECT_NE(BroadPhaseGrid::CellKey(-1, 0), BroadPhaseGrid::CellKey(0, -1));
    EXPECT_LT(BroadPhaseGrid::CellKey(-1, 5), BroadPhaseGrid::CellKey(0, 0));
}

TEST_F(WorldTest, ZeroMassMemberNeverTurnsIntoNaN) {
    auto world = MakeWorld();
    // a massless body that the sphere detectors see as a sphere lying in the land
    auto body = std::make_unique<FieldItemTestBody>(L"sphere");
    body->SetCore(Vector3(0.1f, 0.1f, 0.1f), 0.1);
    body->Transform() = MatrixTranslation(0.0f, 0.09f, 0.0f);
    body->AngularVelocity() = Vector3(0.0f, 1.0f, 0.0f);
    FieldItem* massless = AddLive(*world, L"massless", std::move(body));
    FieldItem* sphere = AddLive(*world, L"sphere", MakeSphere(Vector3(0.19f, 0.1f, 0.0f), 0.1));

    Steps(*world, 200);
    EXPECT_TRUE(IsFinite(massless->WorldPosition()));
    EXPECT_TRUE(IsFinite(massless->Velocity()));
    EXPECT_TRUE(IsFinite(massless->AngularVelocity()));
    EXPECT_TRUE(IsFinite(sphere->WorldPosition()));
    EXPECT_TRUE(IsFinite(sphere->Velocity()));
}

TEST_F(WorldTest, RemoveUserItemsKeepsTheBuiltInMembers) {
    auto world = MakeWorld(2);
    AddLive(*world, L"ball", MakeSphere(Vector3(0.0f, 0.2f, 0.0f), 0.1));
    AddLive(*world, L"box", MakeBox(Vector3(1.0f, 0.2f, 0.0f), Vector3(0.2f, 0.2f, 0.2f)));
    world->RemoveUserItems();
    EXPECT_TRUE(world->Find(L"ball")->IsDeleted());
    EXPECT_TRUE(world->Find(L"box")->IsDeleted());
    EXPECT_FALSE(world->Find(L"land")->IsDeleted());
    EXPECT_FALSE(world->Find(L"sky")->IsDeleted());
    EXPECT_FALSE(world->Find(L"localplayer")->IsDeleted());

    // a tick's end purges them; the world keeps stepping with its workers
    ScopedLogCapture capture;
    Steps(*world, 3);
    world->CommitPending();
    world->PurgeDeleted();
    world->UpdateWorld(nullptr, nullptr);
    Steps(*world, 3);
    EXPECT_EQ(world->Members().size(), 3u);
    // nothing of the removed items stays behind, however often toys are added and removed
    EXPECT_EQ(world->ImpactStateCount(), 3u);
    EXPECT_EQ(capture.Writer().Records().size(), 2u);
}

TEST_F(WorldTest, CoincidentHeavyItemsAndItemsWithoutRadiusStayFinite) {
    auto world = MakeWorld(1, Weightless());
    // two heavy items at one place pull each other with no direction: nothing, not NaN
    world->AddItem(L"heavyA", MakeSphere(Vector3(0.0f, 5.0f, 0.0f), 0.7));
    world->AddItem(L"heavyB", MakeSphere(Vector3(0.0f, 5.0f, 0.0f), 0.7));
    // a sphere-shaped body without a radius lying on the land has no drag to divide by it
    auto point = std::make_unique<FieldItemTestBody>(L"sphere");
    point->MakeSphere(1.0, 0.0f);
    point->SetInertia(MatrixScaling(0.1f, 0.1f, 0.1f));
    point->Velocity() = Vector3(0.5f, 0.0f, 0.0f);
    world->AddItem(L"point", std::move(point));
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);

    world->Control(nullptr);
    EXPECT_EQ(world->Find(L"heavyA")->Force(), Vector3());
    EXPECT_EQ(world->Find(L"heavyB")->Force(), Vector3());

    Steps(*world, 50);
    for (const wchar_t* name : {L"heavyA", L"heavyB", L"point"}) {
        FieldItem* item = world->Find(name);
        EXPECT_TRUE(IsFinite(item->WorldPosition()));
        EXPECT_TRUE(IsFinite(item->Velocity()));
        EXPECT_TRUE(IsFinite(item->AngularVelocity()));
    }
    // the land still holds the point up
    EXPECT_GE(world->Find(L"point")->WorldPosition().y, -0.01f);
}

TEST_F(WorldTest, ItemsCommittedWithoutARefreshStillCollide) {
    auto world = MakeWorld(2, Weightless());
    world->AddItem(L"a", MakeSphere(Vector3(0.0f, 3.0f, 0.0f), 0.1));
    world->AddItem(L"b", MakeSphere(Vector3(0.18f, 3.0f, 0.0f), 0.1));
    world->CommitPending();
    // another phase sees the new member set first; the contact phase still pairs them
    world->Control(nullptr);
    world->DetectCollisions();
    EXPECT_LT(world->Find(L"a")->Force().x, -100.0f);
    EXPECT_GT(world->Find(L"b")->Force().x, 100.0f);
}

TEST_F(WorldTest, ContactListenerHearsEveryContactWithItsPair) {
    auto world = MakeWorld(2);
    world->AddItem(L"ball", MakeSphere(Vector3(0.0f, 0.6f, 0.0f), 0.1));
    world->AddItem(L"resting", MakeSphere(Vector3(1.0f, 0.1144f, 0.0f), 0.1));
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);

    struct Heard {
        std::wstring first, second;
        Contact contact;
    };
    std::vector<Heard> contacts;
    world->SetContactListener([&](FieldItem& first, FieldItem& second, const Contact& contact) {
        contacts.push_back(Heard{first.Name(), second.Name(), contact});
    });

    // the resting sphere touches the land in every step, with the normal from the land to it
    world->DetectCollisions();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0].first, L"resting");
    EXPECT_EQ(contacts[0].second, L"land");
    EXPECT_VECTOR_NEAR(contacts[0].contact.normal, Vector3(0.0f, 1.0f, 0.0f), 0.0f);
    EXPECT_NEAR(contacts[0].contact.distance, 0.1144 - 0.085, 1.0e-6);
    // the world keeps the phase's contacts for the display, and times the step's phases
    std::vector<Contact> kept;
    world->LastContacts(kept);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_VECTOR_NEAR(kept[0].point, contacts[0].contact.point, 0.0f);
    EXPECT_EQ(kept[0].distance, contacts[0].contact.distance);
    world->Control(nullptr);
    world->Integrate(nullptr);
    world->UpdateWorld(nullptr, nullptr);
    const StepTiming& last = world->LastStepTiming();
    EXPECT_GT(last.contacts, 0.0);
    EXPECT_GT(last.forces, 0.0);
    EXPECT_GT(last.integration, 0.0);
    EXPECT_GT(last.refresh, 0.0);
    Steps(*world, 1500);
    EXPECT_GT(contacts.size(), 1500u);
    EXPECT_GT(world->TotalStepTiming().contacts, world->LastStepTiming().contacts);
}

TEST_F(WorldTest, WorldStepsWhenNoWorkerThreadCanBeStarted) {
    // a process whose address space has no room left for a thread's stack: the phases run on
    // the calling thread instead of the start-up failing
    auto run = [] {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) {
                pages = 0;
            }
            std::fclose(statm);
        }
        if (pages <= 0) {
            return 2;
        }
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (3 << 20);
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            return 3;
        }

        int ran = 0;
        WorldWorkers workers(3, [&](int, int) { ++ran; });
        workers.Run(1, 5);
        if (workers.Count() != 0 || ran != 5) {
            return 4;
        }

        auto world = MakeWorld(4, Weightless());
        world->AddItem(L"a", MakeSphere(Vector3(0.0f, 3.0f, 0.0f), 0.1));
        world->AddItem(L"b", MakeSphere(Vector3(0.18f, 3.0f, 0.0f), 0.1));
        world->CommitPending();
        world->UpdateWorld(nullptr, nullptr);
        FieldItem* a = world->Find(L"a");
        FieldItem* b = world->Find(L"b");
        Steps(*world, 5);
        return world->WorkerCount() == 4 && a->Velocity().x < 0.0f && b->Velocity().x > 0.0f ? 0 : 5;
    };
    // a fresh process: one forked from this one could reuse the stacks of earlier tests' threads
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(run()), ::testing::ExitedWithCode(0), "");
}

TEST_F(WorldTest, MemberTablesFollowRealChangesOnly) {
    auto world = MakeWorld();
    // a loaded item of one sphere, resting on the land against a target, collides as that sphere
    auto group = std::make_unique<FieldItemComposite>(L"toy");
    FieldItemComposite* toy = group.get();
    toy->AddItem(L"a", MakeSphere(Vector3(), 0.1));
    Placement placement;
    placement.position = Vector3(0.0f, 0.1144f, 0.0f);
    toy->Initialize(placement);
    world->AddItem(L"toy", std::move(group));
    FieldItem* target = AddLive(*world, L"target", MakeSphere(Vector3(0.18f, 0.1144f, 0.0f), 0.1));
    std::vector<Vector3> points;
    world->SetContactListener([&](FieldItem& first, FieldItem& second, const Contact& contact) {
        // the target's contacts with the toy, not with the land
        if ((&first == target && &second == toy) || (&first == toy && &second == target)) {
            points.push_back(contact.point);
        }
    });
    world->DetectCollisions();
    // on the surface of whichever is first, cores of radius 0.085 a centimetre apart
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0].x, 0.09f, 0.0051f);

    // a tick's end with nothing pending and nothing deleted leaves the grid's lists alone
    const std::uint64_t rebuilds = world->Grid().CellRebuilds();
    world->CommitPending();
    world->PurgeDeleted();
    world->UpdateWorld(nullptr, nullptr);
    EXPECT_EQ(world->Grid().CellRebuilds(), rebuilds);

    // the part removed: it collides no more once marked, and once purged the empty item stands
    // for nothing (the part it stood for is gone)
    toy->Remove(L"a");
    points.clear();
    world->DetectCollisions();
    EXPECT_TRUE(points.empty());
    world->CommitPending();
    world->PurgeDeleted();
    EXPECT_TRUE(toy->Members().empty());
    world->UpdateWorld(nullptr, nullptr);
    world->DetectCollisions();
    EXPECT_TRUE(points.empty());
}
