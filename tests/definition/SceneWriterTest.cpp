// The world written back as a field definition file: the dice toy saved after three
// seconds and added again stands where it stood and goes on as it went on; the file
// passes the simulator's check; names typed by the user cannot leave the scene folder.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include "collision/CollisionRegistry.h"
#include "common/FilePath.h"
#include "common/WideText.h"
#include "definition/FieldCatalog.h"
#include "definition/SceneWriter.h"
#include "physics/FieldItemWorld.h"
#include "physics/WorldTick.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

/// What the main page takes off every added item: the player's start height.
constexpr float kLowering = 0.5f;

struct State {
    Vector3 position;
    Quaternion orientation;
    Vector3 velocity;
    Vector3 angularVelocity;
};

/// The user items' states in name order: the names added again are the saved ones with one
/// more number behind them, so the order stays.
std::vector<State> States(FieldItemWorld& world) {
    std::vector<State> states;
    for (const auto& [name, item] : world.Members()) {
        if (name == L"sky" || name == L"land" || name == L"localplayer") {
            continue;
        }
        states.push_back({item->Transform().Translation(), item->Orientation(), item->Velocity(),
                          item->AngularVelocity()});
    }
    return states;
}

class SceneWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        // the bundled items in a folder of the test's own, where scenes may be written
        fs::copy(fs::path(KIVARO_SOURCE_DIR) / "items", fs::path(folder_.Path()) / "items",
                 fs::copy_options::recursive);
        previous_ = fs::current_path();
        fs::current_path(folder_.Path());
        RegisterCollisionDetectors();
    }
    void TearDown() override {
        DestroyCollisionDetectors();
        fs::current_path(previous_);
    }

    std::unique_ptr<FieldItemWorld> NewWorld() {
        auto world = std::make_unique<FieldItemWorld>(nullptr, 1);
        world->Initialize(Placement{});
        world->CommitPending();
        world->UpdateWorld(nullptr, nullptr);
        return world;
    }

    static void RunTicks(FieldItemWorld& world, int ticks) {
        for (int tick = 0; tick < ticks; ++tick) {
            RunTick(world, nullptr);
        }
    }

    TemporaryDirectory folder_;
    fs::path previous_;
};

TEST_F(SceneWriterTest, SavedDiceComeBackWhereTheyWereAndGoOnAlike) {
    ScopedLogCapture log;
    FieldCatalog catalog;
    catalog.Update();
    std::unique_ptr<FieldItemWorld> world = NewWorld();
    catalog.Add(L"items\\dice\\dice.wtf", *world, nullptr, kLowering);
    RunTicks(*world, 180);

    // saved, listed after an update, added back into a new world
    const std::wstring path = SceneWriter::PathFor(L"Dice <3 s> & more");
    int skipped = -1;
    const std::string text =
        SceneWriter::Text(*world, {L"Dice <3 s> & more", L"ユーザー", L"2026-12-08"}, kLowering, &skipped);
    EXPECT_EQ(skipped, 0);
    ASSERT_TRUE(SceneWriter::Write(path, text, false));
    EXPECT_FALSE(SceneWriter::Write(path, "<Field/>", false)) << "an existing file was overwritten";
    catalog.Update();
    bool listed = false;
    for (const DefinitionSummary& summary : catalog.Summaries()) {
        if (summary.path == path) {
            listed = true;
            EXPECT_EQ(summary.name, L"Dice <3 s> & more");
            EXPECT_EQ(summary.author, L"ユーザー");
            EXPECT_EQ(summary.date, L"2026-12-08");
        }
    }
    EXPECT_TRUE(listed) << ToUtf8(path) << " is not listed:\n" << text;
    std::unique_ptr<FieldItemWorld> again = NewWorld();
    catalog.Add(path, *again, nullptr, kLowering);
    again->CommitPending();
    again->UpdateWorld(nullptr, nullptr);

    // the file holds six significant digits, so the state comes back to about a micrometre
    std::vector<State> saved = States(*world);
    std::vector<State> loaded = States(*again);
    ASSERT_EQ(saved.size(), 2u);
    ASSERT_EQ(loaded.size(), 2u);
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const State& state = saved[i];
        const State& back = loaded[i];
        EXPECT_VECTOR_NEAR(back.position, state.position, 2e-6f);
        EXPECT_QUATERNION_NEAR(back.orientation, state.orientation, 2e-6f);
        EXPECT_VECTOR_NEAR(back.velocity, state.velocity, 1e-6f);
        EXPECT_VECTOR_NEAR(back.angularVelocity, state.angularVelocity, 1e-5f);
    }

    // and the next second goes the same way in both worlds
    RunTicks(*world, 60);
    RunTicks(*again, 60);
    saved = States(*world);
    loaded = States(*again);
    for (std::size_t i = 0; i < saved.size(); ++i) {
        EXPECT_VECTOR_NEAR(loaded[i].position, saved[i].position, 1e-4f);
        EXPECT_QUATERNION_NEAR(loaded[i].orientation, saved[i].orientation, 1e-3f);
    }

    // an item blown up to infinity is left out rather than written unreadable
    for (auto& [name, item] : again->Members()) {
        if (item->Origin() != nullptr) {
            item->Velocity().x = std::numeric_limits<float>::infinity();
            break;
        }
    }
    SceneWriter::Text(*again, {L"blown", L"", L""}, kLowering, &skipped);
    EXPECT_EQ(skipped, 1);

    // the simulator's check reads every file of the folder, the scene among them
    const std::string command = std::string(KIVARO_BINARY_DIR) + "/bin/kivaro-sim --root '" + folder_.Path() +
                                "' --check > '" + folder_.Path() + "/check.txt'";
    const int status = std::system(command.c_str());
    std::ifstream report(folder_.Path() + "/check.txt");
    std::stringstream lines;
    lines << report.rdbuf();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << lines.str();
    EXPECT_NE(lines.str().find("\"name\":\"Dice <3 s> & more\""), std::string::npos) << lines.str();
}

TEST_F(SceneWriterTest, TypedNamesStayInTheSceneFolder) {
    for (const std::wstring& name : {std::wstring(L"../../etc/passwd"), std::wstring(L"..\\x"),
                                     std::wstring(L".."), std::wstring(L"a\nb:c"), std::wstring(L"")}) {
        const std::wstring path = SceneWriter::PathFor(name);
        const fs::path native(ToNativePath(path));
        EXPECT_EQ(native.parent_path(), fs::path("items/scenes")) << ToUtf8(path);
        EXPECT_EQ(native.extension(), ".wtf");
        EXPECT_NE(native.stem().string().front(), '.') << ToUtf8(path);
    }
    EXPECT_EQ(SceneWriter::PathFor(L"サイコロ 2"), L"items\\scenes\\サイコロ 2.wtf");
}

} // namespace
