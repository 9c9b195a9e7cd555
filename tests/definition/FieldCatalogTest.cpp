#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "collision/CollisionRegistry.h"
#include "definition/FieldCatalog.h"
#include "physics/FieldItemWorld.h"
#include "physics/WorldTick.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

class FieldCatalogTest : public ::testing::Test {
protected:
    FieldCatalogTest() : previous_(std::filesystem::current_path()) {
        environment_.Language("C");
        std::filesystem::current_path(root_.Path());
    }
    ~FieldCatalogTest() override { std::filesystem::current_path(previous_); }

    void Write(const std::string& relative, const std::string& text) {
        std::filesystem::path path = std::filesystem::path(root_.Path()) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    void WriteSphereType() {
        Write("items/sphere.wti", R"(<FieldItem name="HalvaneSystem.sphere" format="110">
  <Attribute name="texture" type="string"/><Attribute name="r" type="float"/>
  <Attribute name="density" type="float"/><Attribute name="position" type="vector"/></FieldItem>)");
    }

    void WriteBall(const std::string& relative, const std::string& name, double height) {
        Write(relative, R"(<Field format="110"><Information xml:lang="en" name=")" + name + R"("/>
  <Item name="ball" type="HalvaneSystem.sphere">
    <Parameter name="texture" type="string">"ball.png"</Parameter>
    <Parameter name="r" type="float">0.1</Parameter>
    <Parameter name="density" type="float">1000</Parameter>
    <Parameter name="position" type="vector">0,)" +
                            std::to_string(height) + R"(,0</Parameter>
  </Item></Field>)");
    }

    ScopedEnvironment environment_;
    TemporaryDirectory root_;
    std::filesystem::path previous_;
};

TEST_F(FieldCatalogTest, UpdateListsFieldFilesInListingOrder) {
    FieldCatalog catalog;
    // no item folder at all: nothing listed, nothing thrown
    catalog.Update();
    EXPECT_TRUE(catalog.Summaries().empty());

    WriteSphereType();
    WriteBall("items/b/second.wtf", "Second", 1.0);
    WriteBall("items/a/first.wtf", "First", 1.0);
    WriteBall("items/a/shouting.WTF", "Ignored", 1.0);
    catalog.Update();
    ASSERT_EQ(catalog.Summaries().size(), 2u);
    EXPECT_EQ(catalog.Summaries()[0].name, L"First");
    EXPECT_EQ(catalog.Summaries()[0].path, L"items\\a\\first.wtf");
    EXPECT_EQ(catalog.Summaries()[1].name, L"Second");

    // the main page stops at the first failure; the reporting scan goes on
    Write("items/a/broken.wtf", R"(<Field format="110"><Item name="x" type="none"/></Field>)");
    ScopedLogCapture log(1, true);
    EXPECT_THROW(catalog.Update(), file_error);
    std::vector<FieldCatalog::Failure> failures = catalog.UpdateReportingAll();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, L"items\\a\\broken.wtf");
    EXPECT_EQ(catalog.Summaries().size(), 2u);
    EXPECT_EQ(catalog.FieldPaths().size(), 3u);
}

TEST_F(FieldCatalogTest, AddLowersNamesAndLiftsEveryItem) {
    WriteSphereType();
    WriteBall("items/ball/ball.wtf", "Ball", 1.5);
    FieldCatalog catalog;
    catalog.Update();

    RegisterCollisionDetectors();
    {
        FieldItemWorld world(nullptr, 1);
        world.Initialize(Placement{});
        world.CommitPending();
        world.UpdateWorld(nullptr, nullptr);
        std::vector<std::wstring> first = catalog.Add(L"items\\ball\\ball.wtf", world);
        // a tick passes between the two additions: the first is live when the second arrives
        world.CommitPending();
        world.UpdateWorld(nullptr, nullptr);
        std::vector<std::wstring> second = catalog.Add(L"items/ball/ball.wtf", world);
        ASSERT_EQ(first.size(), 1u);
        ASSERT_EQ(second.size(), 1u);
        // the process-wide counter keeps the names apart
        EXPECT_NE(first[0], second[0]);
        EXPECT_EQ(first[0].rfind(L"ball", 0), 0u);
        FieldItem* a = world.Find(first[0]);
        ASSERT_NE(a, nullptr);
        FieldItem& b = *world.Pending().at(second[0]);
        // lowered by the player's height of 0.5 m; the second rose above the first in 1 mm steps
        EXPECT_NEAR(a->Transform()._42, 1.0f, 1e-5f);
        EXPECT_GT(b.Transform()._42, 1.0f + 0.15f);
    }
    {
        // a given lowering stands for the player's height, wherever the player has gone
        FieldItemWorld world(nullptr, 1);
        world.Initialize(Placement{});
        world.CommitPending();
        world.Find(L"localplayer")->Transform()._42 = 3.0f;
        world.UpdateWorld(nullptr, nullptr);
        std::vector<std::wstring> names = catalog.Add(L"items/ball/ball.wtf", world, nullptr, 0.5f);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_NEAR(world.Pending().at(names[0])->Transform()._42, 1.0f, 1e-5f);
    }
    DestroyCollisionDetectors();
}

TEST_F(FieldCatalogTest, AddLiftsAFieldsItemsTogetherSoThatAToyKeepsItsShape) {
    WriteSphereType();
    WriteBall("items/ball/ball.wtf", "Ball", 1.5);
    // a ball over the first one's place and another 0.5 m above it, clear of it on its own
    Write("items/pair/pair.wtf", R"(<Field format="110"><Information xml:lang="en" name="Pair"/>
  <Item name="high" type="HalvaneSystem.sphere">
    <Parameter name="texture" type="string">"ball.png"</Parameter><Parameter name="r" type="float">0.1</Parameter>
    <Parameter name="density" type="float">1000</Parameter><Parameter name="position" type="vector">0,2,0</Parameter>
  </Item>
  <Item name="low" type="HalvaneSystem.sphere">
    <Parameter name="texture" type="string">"ball.png"</Parameter><Parameter name="r" type="float">0.1</Parameter>
    <Parameter name="density" type="float">1000</Parameter><Parameter name="position" type="vector">0,1.5,0</Parameter>
  </Item></Field>)");
    FieldCatalog catalog;
    catalog.Update();

    RegisterCollisionDetectors();
    {
        FieldItemWorld world(nullptr, 1);
        world.Initialize(Placement{});
        world.CommitPending();
        world.UpdateWorld(nullptr, nullptr);
        catalog.Add(L"items\\ball\\ball.wtf", world);
        world.CommitPending();
        world.UpdateWorld(nullptr, nullptr);
        std::vector<std::wstring> pair = catalog.Add(L"items\\pair\\pair.wtf", world);
        ASSERT_EQ(pair.size(), 2u);
        FieldItem& high = *world.Pending().at(pair[0]);
        FieldItem& low = *world.Pending().at(pair[1]);
        // the low ball rose clear of the first; the high one rose with it
        EXPECT_GT(low.Transform()._42, 1.0f + 0.15f);
        EXPECT_NEAR(high.Transform()._42 - low.Transform()._42, 0.5f, 1e-4f);
    }
    DestroyCollisionDetectors();
}

TEST_F(FieldCatalogTest, AddNeverReusesTheNameOfAnItemInTheWorld) {
    WriteSphereType();
    WriteBall("items/ball/ball.wtf", "Ball", 1.5);
    FieldCatalog catalog;
    catalog.Update();

    RegisterCollisionDetectors();
    {
        FieldItemWorld world(nullptr, 1);
        world.Initialize(Placement{});
        world.CommitPending();
        world.UpdateWorld(nullptr, nullptr);
        // "ball" and the next counter value name an item already there, live or pending, as an
        // earlier field's item "ball1" would with a counter value of 0
        const int next = FieldCatalog::NextItemNumber() + 1;
        const std::wstring live = L"ball" + std::to_wstring(next);
        const std::wstring pending = L"ball" + std::to_wstring(next + 1);
        DefinitionParser::ItemMap earlier;
        DefinitionSummary summary;
        catalog.Parser().LoadField(L"items/ball/ball.wtf", earlier, summary, false);
        world.AddItem(live, std::move(earlier.begin()->second));
        world.CommitPending();
        DefinitionParser::ItemMap later;
        catalog.Parser().LoadField(L"items/ball/ball.wtf", later, summary, false);
        world.AddItem(pending, std::move(later.begin()->second));

        std::vector<std::wstring> names = catalog.Add(L"items/ball/ball.wtf", world);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0], L"ball" + std::to_wstring(next + 2));
        world.CommitPending();
        EXPECT_NE(world.Find(live), nullptr);
        EXPECT_NE(world.Find(pending), nullptr);
        EXPECT_NE(world.Find(names[0]), nullptr);
    }
    DestroyCollisionDetectors();
}

TEST_F(FieldCatalogTest, TickEndsWithCommitAndPurgeWhateverTheTimeStep) {
    WriteSphereType();
    WriteBall("items/ball/ball.wtf", "Ball", 1.5);
    FieldCatalog catalog;
    catalog.Update();
    RegisterCollisionDetectors();
    WorldSettings settings;
    {
        FieldItemWorld world(nullptr, 1);
        world.Initialize(Placement{});
        EXPECT_EQ(RunTick(world, nullptr), 12); // 12 steps of 1.5 ms cover 1/60 s

        // a time step of 0 runs no step, yet the tick still brings the added item in
        settings.timeStep = 0.0;
        world.SetSettings(settings);
        std::vector<std::wstring> names = catalog.Add(L"items/ball/ball.wtf", world);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(RunTick(world, nullptr), 0);
        EXPECT_NE(world.Find(names[0]), nullptr);

        // and removes the deleted ones
        world.RemoveUserItems();
        settings.timeStep = -1.0;
        world.SetSettings(settings);
        EXPECT_EQ(RunTick(world, nullptr), 0);
        EXPECT_EQ(world.Find(names[0]), nullptr);

        // a step too small to advance the covered time stops at the step limit instead of hanging
        settings.timeStep = 1e-300;
        world.SetSettings(settings);
        int steps = 0;
        EXPECT_EQ(RunTick(world, nullptr, [&](int step) { steps = step + 1; }), kMaximumStepsPerTick);
        EXPECT_EQ(steps, kMaximumStepsPerTick);
    }
    DestroyCollisionDetectors();
}

} // namespace
