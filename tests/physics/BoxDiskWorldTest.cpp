// Boxes and coins in the world, stepped headlessly: boxes land, tumble and stack, a thrown
// die rests on a face, a row of dominoes falls in a chain, coins fall flat, roll on their
// rims and stack, and a coin meets a box with its face and with its rim.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "physics/FieldItemDisk.h"
#include "physics/support/WorldTestSupport.h"
#include "support/TestSupport.h"

namespace {

constexpr float kQuarterTurn = 1.57079633f;

std::unique_ptr<FieldItemDisk> MakeCoin(const Vector3& position, double radius, double height,
                                        const Vector3& angle = {}, const Vector3& velocity = {},
                                        const Vector3& angularVelocity = {}) {
    auto disk = std::make_unique<FieldItemDisk>();
    FieldItemDisk::Record record;
    record.position = position;
    record.angle = angle;
    record.velocity = velocity;
    record.angularVelocity = angularVelocity;
    record.r = radius;
    record.height = height;
    record.density = 8000.0;
    disk->Initialize(record);
    return disk;
}

/// A body axis in world orientation.
Vector3 WorldAxis(const FieldItem& item, const Vector3& local) {
    Vector3 axis = local;
    item.ToWorld(axis);
    return axis;
}

/// How closely one of the item's body axes points along the vertical (1: exactly).
float MostVerticalAxis(const FieldItem& item) {
    float best = 0.0f;
    for (const Vector3& local : {Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1)}) {
        best = std::max(best, std::fabs(WorldAxis(item, local).y));
    }
    return best;
}

int StepsFor(double seconds) {
    return static_cast<int>(seconds / 0.0015);
}

bool AllFinite(const FieldItem& item) {
    const Vector3 p = item.WorldPosition();
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

TEST_F(WorldTest, BoxDroppedOnLandComesToRestFlat) {
    auto world = MakeWorld();
    // a 0.2 m box dropped from 0.4 m with a slight tilt
    FieldItem* box =
        AddLive(*world, L"box", MakeBox({0, 0.4f, 0}, {0.2f, 0.2f, 0.2f}, 1000.0, {0.2f, 0.0f, 0.1f}));
    Steps(*world, StepsFor(4.0));

    ASSERT_TRUE(AllFinite(*box));
    EXPECT_GT(MostVerticalAxis(*box), 0.999f) << "rests on a face";
    // its centre half a size above the land, less the spring's give inside the band
    EXPECT_NEAR(box->WorldPosition().y, 0.1f, 0.03f);
    EXPECT_LT(Length(box->Velocity()), 0.02f);
    EXPECT_LT(Length(box->AngularVelocity()), 0.2f);
}

TEST_F(WorldTest, ThrownDieComesToRestOnOneFace) {
    auto world = MakeWorld();
    // a 0.1 m die thrown sideways with spin
    auto die = MakeBox({0, 0.3f, 0}, {0.1f, 0.1f, 0.1f}, 1000.0, {0.4f, 0.9f, 0.3f});
    die->Velocity() = Vector3(1.0f, 0.5f, 0.3f);
    die->AngularVelocity() = Vector3(8.0f, -5.0f, 6.0f);
    FieldItem* item = AddLive(*world, L"die", std::move(die));
    Steps(*world, StepsFor(5.0));

    ASSERT_TRUE(AllFinite(*item));
    EXPECT_GT(MostVerticalAxis(*item), 0.999f) << "one face up";
    EXPECT_NEAR(item->WorldPosition().y, 0.05f, 0.03f);
    EXPECT_GT(item->WorldPosition().x, 0.05f) << "it travelled in the direction of the throw";
    EXPECT_LT(Length(item->Velocity()), 0.02f);
}

TEST_F(WorldTest, BoxesStackAndStayStacked) {
    auto world = MakeWorld();
    FieldItem* lower = AddLive(*world, L"lower", MakeBox({0, 0.12f, 0}, {0.3f, 0.2f, 0.3f}));
    FieldItem* upper = AddLive(*world, L"upper", MakeBox({0.02f, 0.4f, -0.01f}, {0.2f, 0.2f, 0.2f}));
    Steps(*world, StepsFor(4.0));

    ASSERT_TRUE(AllFinite(*upper));
    // the upper box sits on the lower one: its centre one and a half box heights up
    EXPECT_NEAR(upper->WorldPosition().y, 0.3f, 0.04f);
    EXPECT_NEAR(lower->WorldPosition().y, 0.1f, 0.03f);
    EXPECT_LT(std::fabs(upper->WorldPosition().x - lower->WorldPosition().x), 0.15f);
    EXPECT_LT(std::fabs(upper->WorldPosition().z - lower->WorldPosition().z), 0.15f);
    EXPECT_GT(MostVerticalAxis(*upper), 0.99f);
    EXPECT_LT(Length(upper->Velocity()), 0.02f);
}

TEST_F(WorldTest, DominoPushedAtItsTopFallsOntoTheNextAndTheChainRuns) {
    auto world = MakeWorld();
    // five dominoes 0.3 m tall, 0.15 m wide, 0.061 m thick, 0.18 m apart along x, set down just
    // above the tolerance band (an item placed inside it is thrown up by the full spring force)
    std::vector<FieldItem*> dominoes;
    for (int i = 0; i < 5; ++i) {
        dominoes.push_back(AddLive(*world, L"domino" + std::to_wstring(i),
                                   MakeBox({0.18f * i, 0.17f, 0}, {0.061f, 0.3f, 0.15f}, 1000.0)));
    }
    Steps(*world, StepsFor(0.5));
    for (FieldItem* domino : dominoes) {
        EXPECT_GT(WorldAxis(*domino, {0, 1, 0}).y, 0.99f) << "standing before the push";
    }
    // push the first one at its top, towards the others
    dominoes[0]->AngularVelocity() = Vector3(0.0f, 0.0f, -3.0f);
    dominoes[0]->Velocity() = Vector3(0.3f, 0.0f, 0.0f);
    Steps(*world, StepsFor(4.0));

    // every domino has toppled towards +x, none stands
    for (std::size_t i = 0; i < dominoes.size(); ++i) {
        ASSERT_TRUE(AllFinite(*dominoes[i]));
        const Vector3 up = WorldAxis(*dominoes[i], {0, 1, 0});
        EXPECT_LT(up.y, 0.9f) << "domino " << i << " fell";
        EXPECT_GT(up.x, 0.3f) << "domino " << i << " fell towards the next";
    }
}

TEST_F(WorldTest, CoinDroppedFlatLandsFlatAndCoinsStack) {
    auto world = MakeWorld();
    // coins of radius 0.1 and height 0.04 (collision thickness 0.01)
    FieldItem* first = AddLive(*world, L"coin1", MakeCoin({0, 0.2f, 0}, 0.1, 0.04, {0.05f, 0, 0.03f}));
    Steps(*world, StepsFor(2.0));
    ASSERT_TRUE(AllFinite(*first));
    EXPECT_GT(std::fabs(WorldAxis(*first, {0, 1, 0}).y), 0.999f) << "flat";
    EXPECT_NEAR(first->WorldPosition().y, 0.005f, 0.03f);
    EXPECT_LT(Length(first->Velocity()), 0.02f);

    // a second and a third coin dropped onto it rest on top of each other
    FieldItem* second = AddLive(*world, L"coin2", MakeCoin({0.02f, 0.2f, 0.01f}, 0.1, 0.04));
    Steps(*world, StepsFor(2.0));
    FieldItem* third = AddLive(*world, L"coin3", MakeCoin({-0.01f, 0.3f, 0.02f}, 0.1, 0.04));
    Steps(*world, StepsFor(3.0));
    ASSERT_TRUE(AllFinite(*second));
    ASSERT_TRUE(AllFinite(*third));
    EXPECT_GT(second->WorldPosition().y, first->WorldPosition().y + 0.005f);
    EXPECT_GT(third->WorldPosition().y, second->WorldPosition().y + 0.005f);
    EXPECT_LT(third->WorldPosition().y, 0.2f) << "resting, not floating";
    EXPECT_LT(std::fabs(third->WorldPosition().x), 0.1f);
    for (FieldItem* coin : {first, second, third}) {
        EXPECT_GT(std::fabs(WorldAxis(*coin, {0, 1, 0}).y), 0.99f);
        EXPECT_LT(Length(coin->Velocity()), 0.05f);
    }
}

TEST_F(WorldTest, CoinRollsOnItsRim) {
    auto world = MakeWorld();
    // upright (axis along z), rolling along +x: v = ω r with ω about -z
    FieldItem* coin = AddLive(*world, L"coin", MakeCoin({0, 0.1f, 0}, 0.1, 0.04, {kQuarterTurn, 0, 0}));
    Steps(*world, StepsFor(0.2));
    ASSERT_LT(std::fabs(WorldAxis(*coin, {0, 1, 0}).y), 0.05f) << "standing on its rim";
    // the body y axis lies along world ±z: spin about it so that the coin rolls towards +x
    const float spinSign = WorldAxis(*coin, {0, 1, 0}).z > 0.0f ? -1.0f : 1.0f;
    coin->Velocity() = Vector3(1.0f, 0.0f, 0.0f);
    coin->AngularVelocity() = Vector3(0.0f, spinSign * 1.0f / 0.085f, 0.0f);

    float highestRimAxisTilt = 0.0f;
    for (int step = 0; step < StepsFor(0.5); ++step) {
        Step(*world);
        highestRimAxisTilt = std::max(highestRimAxisTilt, std::fabs(WorldAxis(*coin, {0, 1, 0}).y));
    }
    ASSERT_TRUE(AllFinite(*coin));
    EXPECT_GT(coin->WorldPosition().x, 0.2f) << "it rolled forwards";
    EXPECT_LT(highestRimAxisTilt, 0.5f) << "on its rim all the while";
    EXPECT_GT(coin->WorldPosition().y, 0.05f) << "still up on its rim";
}

TEST_F(WorldTest, BoxCornerOnCoinAndCoinRimOnBox) {
    auto world = MakeWorld();
    // a large flat coin, and a box dropped onto it corner first
    FieldItem* coin = AddLive(*world, L"coin", MakeCoin({0, 0.05f, 0}, 0.3, 0.06));
    Steps(*world, StepsFor(1.0));
    FieldItem* box = AddLive(*world, L"box",
                             MakeBox({0.02f, 0.25f, 0.0f}, {0.15f, 0.15f, 0.15f}, 500.0, {0.6f, 0.3f, 0.7f}));
    Steps(*world, StepsFor(4.0));
    ASSERT_TRUE(AllFinite(*box));
    // the box ends resting on the coin's face, not sunk into it or through it
    const float coinTop = coin->WorldPosition().y + 0.015f;
    EXPECT_GT(box->WorldPosition().y, coinTop + 0.06f);
    EXPECT_LT(box->WorldPosition().y, coinTop + 0.13f);
    EXPECT_LT(Length(box->WorldPosition() - coin->WorldPosition() - Vector3(0, box->WorldPosition().y, 0)),
              0.25f);
    EXPECT_LT(Length(box->Velocity()), 0.05f);

    // a coin standing on its rim on a box top stays above the box
    auto world2 = MakeWorld();
    FieldItem* table = AddLive(*world2, L"table", MakeBox({0, 0.1f, 0}, {1.0f, 0.2f, 1.0f}, 1000.0));
    table->SetFixed(true);
    FieldItem* upright = AddLive(*world2, L"coin", MakeCoin({0, 0.3f, 0}, 0.1, 0.04, {kQuarterTurn, 0, 0}));
    Steps(*world2, StepsFor(3.0));
    ASSERT_TRUE(AllFinite(*upright));
    EXPECT_GT(upright->WorldPosition().y, 0.185f) << "held by the box's top face";
    EXPECT_LT(upright->WorldPosition().y, 0.32f);
    EXPECT_LT(Length(upright->Velocity()), 0.05f);
}
