// The choice of the working folder: a folder with a toy box is kept; otherwise the user's
// own folder is made from the installed one once, and a later start keeps what the user changed.

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "common/WorkingFolder.h"
#include "common/myexception.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteText(share_ / "items" / "ball" / "ball.wtf", "installed ball");
        WriteText(share_ / "items" / "dice" / "dice.wtf", "installed dice");
        WriteText(share_ / "data" / "ball.png", "texture");
    }

    TemporaryDirectory scratch_;
    const fs::path root_{scratch_.Path()};
    const fs::path share_ = root_ / "prefix" / "share" / "kivaro";
    const fs::path home_ = root_ / "home";
    const fs::path user_ = home_ / ".local" / "share" / "kivaro";
};

TEST_F(WorkingFolderTest, FolderWithAToyBoxOrNothingInstalledIsKept) {
    const fs::path prepared = root_ / "prepared";
    fs::create_directories(prepared / "items");
    WorkingFolder::Choice choice = WorkingFolder::Prepare(prepared, share_, user_);
    EXPECT_EQ(choice.folder, prepared);
    EXPECT_EQ(choice.kind, WorkingFolder::Kind::kCurrent);

    // a build tree started elsewhere has no share folder: it works where it was started
    choice = WorkingFolder::Prepare(home_, root_ / "missing", user_);
    EXPECT_EQ(choice.folder, home_);
    EXPECT_EQ(choice.kind, WorkingFolder::Kind::kCurrent);
    choice = WorkingFolder::Prepare(home_, share_, fs::path());
    EXPECT_EQ(choice.kind, WorkingFolder::Kind::kCurrent);
    EXPECT_FALSE(fs::exists(user_)) << "nothing is made when the current folder is kept";
}

TEST_F(WorkingFolderTest, UserFolderIsMadeOnceAndKeepsTheUsersChanges) {
    WorkingFolder::Choice first = WorkingFolder::Prepare(home_, share_, user_);
    EXPECT_EQ(first.folder, user_);
    EXPECT_EQ(first.kind, WorkingFolder::Kind::kUserNew);
    EXPECT_EQ(ReadText(user_ / "items" / "ball" / "ball.wtf"), "installed ball");
    EXPECT_EQ(ReadText(user_ / "items" / "dice" / "dice.wtf"), "installed dice");
    EXPECT_EQ(ReadText(user_ / "data" / "ball.png"), "texture");
    EXPECT_FALSE(fs::exists(user_ / "items.partial"));

    // an edited toy, a removed toy and a new one of the user's all survive the next start
    WriteText(user_ / "items" / "ball" / "ball.wtf", "my ball");
    fs::remove_all(user_ / "items" / "dice");
    WriteText(user_ / "items" / "mine" / "mine.wtf", "my toy");
    WriteText(share_ / "items" / "ball" / "ball.wtf", "upgraded ball");
    WorkingFolder::Choice second = WorkingFolder::Prepare(home_, share_, user_);
    EXPECT_EQ(second.folder, user_);
    EXPECT_EQ(second.kind, WorkingFolder::Kind::kUser);
    EXPECT_EQ(ReadText(user_ / "items" / "ball" / "ball.wtf"), "my ball");
    EXPECT_FALSE(fs::exists(user_ / "items" / "dice"));
    EXPECT_EQ(ReadText(user_ / "items" / "mine" / "mine.wtf"), "my toy");

    // assets the user lost are copied again; the toy box is not touched for it
    fs::remove_all(user_ / "data");
    WorkingFolder::Prepare(home_, share_, user_);
    EXPECT_EQ(ReadText(user_ / "data" / "ball.png"), "texture");
    EXPECT_EQ(ReadText(user_ / "items" / "ball" / "ball.wtf"), "my ball");
}

TEST_F(WorkingFolderTest, FolderThatCannotBeMadeIsAnErrorNamingIt) {
    WriteText(home_ / "blocked", "a file where the folder's parent should be");
    try {
        WorkingFolder::Prepare(home_, share_, home_ / "blocked" / "kivaro");
        FAIL() << "no error";
    } catch (const myexception& error) {
        EXPECT_NE(std::wstring(error.what()).find(L"blocked/kivaro"), std::wstring::npos) << error.what();
    }
}

TEST(WorkingFolder, UserFolderFollowsTheDataHomeRule) {
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/someone").Set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(WorkingFolder::UserFolder(), fs::path("/home/someone/.local/share/kivaro"));
    environment.Set("XDG_DATA_HOME", "/data/someone");
    EXPECT_EQ(WorkingFolder::UserFolder(), fs::path("/data/someone/kivaro"));
    // a relative data home is ignored, as the base directory rule asks
    environment.Set("XDG_DATA_HOME", "relative");
    EXPECT_EQ(WorkingFolder::UserFolder(), fs::path("/home/someone/.local/share/kivaro"));
    environment.Set("HOME", nullptr);
    EXPECT_EQ(WorkingFolder::UserFolder(), fs::path());

    // the executable of this test lives in bin/ of the build tree
    EXPECT_EQ(WorkingFolder::InstalledShareFolder().filename(), "kivaro");
    EXPECT_EQ(WorkingFolder::InstalledShareFolder().parent_path().filename(), "share");
}

} // namespace
