// The land (immovable, force-swallowing, tiled) and the sky (slowly and randomly spinning).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "framework/D3DObjectManager.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemSky.h"
#include "physics/WorldSettings.h"
#include "physics/support/RecordingDevice.h"
#include "support/TestSupport.h"

namespace {

class LandSkyTest : public ::testing::Test {
protected:
    void SetUp() override { D3DObjectManager::Destroy(); }
    void TearDown() override { D3DObjectManager::Destroy(); }
};

} // namespace

TEST_F(LandSkyTest, LandSwallowsForceAndTorqueAndNeverMoves) {
    FieldItemLand land;
    land.Initialize(Placement());
    EXPECT_EQ(land.TypeName(), L"land");
    EXPECT_FALSE(land.IsComposite());
    EXPECT_EQ(land.Mass(), 10000.0);
    EXPECT_EQ(land.BoundingRadius(), 0.0);
    EXPECT_EQ(land.Inertia()._11, 10000.0f);
    EXPECT_EQ(land.Inertia()._44, 1.0f);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(land.InverseInertia().At(r, c), 0.0f);
        }
    }
    EXPECT_EQ(land.InverseInertia()._44, 1.0f);

    // whatever is added is gone at the next read
    land.Force() += Vector3(1.0f, 2.0f, 3.0f);
    land.Torque() += Vector3(4.0f, 5.0f, 6.0f);
    EXPECT_VECTOR_NEAR(land.Force(), Vector3(), 0.0f);
    EXPECT_VECTOR_NEAR(land.Torque(), Vector3(), 0.0f);

    // stepping does nothing
    land.Velocity() = Vector3();
    land.Force() += Vector3(0.0f, 1e6f, 0.0f);
    for (int i = 0; i < 10; ++i) {
        land.Control(nullptr);
        land.Integrate(nullptr);
    }
    EXPECT_VECTOR_NEAR(land.Velocity(), Vector3(), 0.0f);
    EXPECT_VECTOR_NEAR(land.Transform().Translation(), Vector3(), 0.0f);
}

TEST_F(LandSkyTest, TileMapGrowsAndWrapsNegativeIndices) {
    D3DObjectManager& manager = D3DObjectManager::Instance();
    D3DTexture* grass = manager.CreateTexture(L"data\\land.png");
    D3DTexture* stone = manager.CreateTexture(L"data\\stone.png");

    // one tile everywhere
    FieldItemLand::Land single;
    single.SetTile(0, 0, grass);
    for (long long x : {-9LL, -1LL, 0LL, 1LL, 1000000007LL}) {
        for (long long z : {-5LL, 0LL, 3LL}) {
            EXPECT_EQ(single.TileAt(x, z), grass) << x << "," << z;
        }
    }

    // rows grow to the longest; unset entries and short rows show nothing
    FieldItemLand::Land map;
    map.SetTile(2, 0, stone);
    map.SetTile(0, 1, grass);
    EXPECT_EQ(map.RowCount(), 2);
    EXPECT_EQ(map.ColumnCount(), 3);
    EXPECT_EQ(map.TileAt(2, 0), stone);
    EXPECT_EQ(map.TileAt(0, 0), nullptr);
    EXPECT_EQ(map.TileAt(-1, 0), stone);  // -1 wraps to column 2
    EXPECT_EQ(map.TileAt(-3, -1), grass); // column 0, row 1
    EXPECT_EQ(map.TileAt(2, 1), nullptr); // row 1 is one entry long
    EXPECT_EQ(map.TileAt(5, 2), stone);   // column 2, row 0

    // indices that cannot be stored are ignored rather than exhausting memory
    map.SetTile(-1, 0, grass);
    map.SetTile(0, 1 << 30, grass);
    EXPECT_EQ(map.RowCount(), 2);
    EXPECT_EQ(map.ColumnCount(), 3);

    FieldItemLand::Land empty;
    EXPECT_EQ(empty.TileAt(0, 0), nullptr);

    // the land takes the map over; a tile size below one becomes one
    FieldItemLand land;
    FieldItemLand::Record record;
    record.tileSize = 0;
    record.tileMap = std::make_unique<FieldItemLand::Land>();
    record.tileMap->SetTile(0, 0, stone);
    land.Initialize(record);
    EXPECT_EQ(record.tileMap, nullptr);
    EXPECT_EQ(land.TileSize(), 1);
    EXPECT_EQ(land.TileMap()->TileAt(-7, 4), stone);
}

TEST_F(LandSkyTest, TilesAroundTheViewerAreBounded) {
    // viewer at the origin: from floor(-7/4) - 1 to floor(7/4) + 1
    FieldItemLand::TileRange range = FieldItemLand::TilesAround(1.0, 7.0, 4, 0.0, 0.0);
    EXPECT_EQ(range.ix0, -3);
    EXPECT_EQ(range.ix1, 2);
    EXPECT_EQ(range.iz0, -3);
    EXPECT_EQ(range.iz1, 2);

    // moved and zoomed: (s cx - R) / (T s) = (0.5 * 10 - 7) / 2 = -1
    range = FieldItemLand::TilesAround(0.5, 7.0, 4, 10.0, -10.0);
    EXPECT_EQ(range.ix0, -2);
    EXPECT_EQ(range.ix1, 7);
    EXPECT_EQ(range.iz0, -7);
    EXPECT_EQ(range.iz1, 2);

    // a far-off, non-finite or degenerate view never asks for an unbounded loop
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [s, cx] :
         {std::pair{1.0, nan}, std::pair{1.0, inf}, std::pair{0.0, 0.0}, std::pair{nan, 0.0}}) {
        range = FieldItemLand::TilesAround(s, 7.0, 4, cx, 0.0);
        EXPECT_LE(range.ix1 - range.ix0, 0);
    }
    range = FieldItemLand::TilesAround(1e-9, 7.0, 4, 1e30, 0.0);
    EXPECT_LE(range.ix1 - range.ix0, FieldItemLand::kMaximumTilesPerAxis);
    range = FieldItemLand::TilesAround(1.0, 1e12, 4, 0.0, 0.0);
    EXPECT_LE(range.ix1 - range.ix0, FieldItemLand::kMaximumTilesPerAxis);
    EXPECT_LE(range.iz1 - range.iz0, FieldItemLand::kMaximumTilesPerAxis);

    // each tile around the viewer: its texture, its place, the land's material, its quad
    DrawLog log;
    RecordingDevice device(log);
    FieldItemLand land;
    land.Initialize(Placement());
    DrawContext context;
    context.device = &device;
    land.Draw(&context);
    range = FieldItemLand::TilesAround(1.0, 7.0, 4, 0.0, 0.0);
    const std::size_t tiles = static_cast<std::size_t>((range.ix1 - range.ix0) * (range.iz1 - range.iz0));
    ASSERT_EQ(log.calls.size(), 4 * tiles);
    EXPECT_EQ(std::vector<std::string>(log.calls.begin(), log.calls.begin() + 4),
              (std::vector<std::string>{"texture 0 none", "world", "material", "strip"}));
    EXPECT_EQ(log.materials[0].diffuse.r, 1.0f);
    // the first tile, (ix0, iz0), as an item there would be placed
    EXPECT_EQ(log.worldTransforms[0]._41, 4.0f * static_cast<float>(range.ix0));
    EXPECT_EQ(log.worldTransforms[0]._43, 4.0f * static_cast<float>(range.iz0));

    // drawing a pass terminates for any view
    context.view._41 = std::numeric_limits<float>::quiet_NaN();
    land.Draw(&context);
    land.Draw(nullptr);
}

TEST_F(LandSkyTest, SkySpinsAndItsRateWandersWithinBounds) {
    FieldItemSky sky;
    sky.Initialize(Placement());
    EXPECT_EQ(sky.TypeName(), L"sky");
    ASSERT_NE(sky.Object(), nullptr);
    const auto& requests = D3DObjectManager::Instance().ObjectRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].file, L"data\\sphere.x");
    EXPECT_EQ(requests[0].textureMap.at(L"sphere.png"), L"data\\sky.png");

    // the first rate is one random step
    const double first = sky.SpinRate();
    EXPECT_TRUE(first == -1e-4 || first == 0.0 || first == 1e-4) << first;

    // each step turns by dt times the rate, about the vertical, then the rate moves by one step
    const double timeStep = kBuiltInSettings.timeStep;
    sky.SetSpinRate(2.0);
    sky.Integrate(nullptr);
    EXPECT_QUATERNION_NEAR(sky.Orientation(), QuaternionRotationAxis(Vector3(0, 1, 0), float(2.0 * timeStep)),
                           1e-6f);
    std::set<long long> changes;
    double previous = sky.SpinRate();
    EXPECT_NEAR(previous, 2.0, 1.0001e-4);
    for (int i = 0; i < 300; ++i) {
        sky.Integrate(nullptr);
        changes.insert(std::llround((sky.SpinRate() - previous) / 1e-4));
        previous = sky.SpinRate();
    }
    EXPECT_EQ(changes, std::set<long long>({-1, 0, 1}));
    // a pure turn about y that stays normalised
    const Quaternion& q = sky.Orientation();
    EXPECT_NEAR(q.y * q.y + q.w * q.w, 1.0f, 1e-5f);
    EXPECT_EQ(sky.Orientation().x, 0.0f);
    EXPECT_EQ(sky.Orientation().z, 0.0f);

    // the rate never leaves [-100, 100]
    sky.SetSpinRate(100.0);
    for (int i = 0; i < 200; ++i) {
        sky.Integrate(nullptr);
        ASSERT_LE(sky.SpinRate(), 100.0);
        ASSERT_GE(sky.SpinRate(), -100.0);
    }
    sky.SetSpinRate(-100.0);
    for (int i = 0; i < 200; ++i) {
        sky.Integrate(nullptr);
        ASSERT_GE(sky.SpinRate(), -100.0);
    }

    // drawn without a shadow: its world matrix and one draw of the object
    DrawLog log;
    RecordingDevice device(log);
    DrawContext context;
    context.device = &device;
    sky.Draw(&context);
    EXPECT_EQ(log.calls, std::vector<std::string>{"world"});
    EXPECT_EQ(sky.Object()->DrawCount(), 1u);
}
