// Listing a folder tree with paths built from "\" and the wildcard rule, and the tests
// for files and directories. Each test works in a fresh current directory.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "common/DiskOperator.h"
#include "common/FileBytes.h"
#include "support/TestSupport.h"

// readable failure output for times
void PrintTo(const DateTime& time, std::ostream* out) {
    *out << time.year << "-" << time.month << "-" << time.day << " " << time.hour << ":" << time.minute << ":"
         << time.second;
}

namespace {

class DiskOperatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(directory_.Path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_), 0); }

    static void MakeFile(const std::string& path) { ASSERT_TRUE(WriteFileBytes(FromNative(path), "x")); }
    static std::wstring FromNative(const std::string& path) { return std::wstring(path.begin(), path.end()); }

    // "path[children]" in list order, for comparing whole trees at once
    static std::wstring Describe(const DiskItem& item) {
        std::wstring text = item.path;
        if (!item.isFile) {
            text += L"[";
            for (const auto& child : static_cast<const DiskDirectory&>(item).children) {
                text += Describe(*child) + L" ";
            }
            text += L"]";
        }
        return text;
    }

    TemporaryDirectory directory_;
    char previous_[PATH_MAX];
    DiskOperator disk_;
};

} // namespace

TEST_F(DiskOperatorTest, ListsATreeWithBackslashPaths) {
    ASSERT_EQ(mkdir("items", 0755), 0);
    ASSERT_EQ(mkdir("items/ball", 0755), 0);
    MakeFile("items/ball/ball.wtf");

    DiskDirectory root(L"");
    disk_.List(L"items", L"*.*", root);
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(Describe(*root.children[0]), L"items[items\\ball[items\\ball\\ball.wtf ] ]");
    const DiskItem& file =
        *static_cast<DiskDirectory&>(*static_cast<DiskDirectory&>(*root.children[0]).children[0]).children[0];
    EXPECT_TRUE(file.isFile);
    EXPECT_NE(dynamic_cast<const DiskFile*>(&file), nullptr);

    // a trailing backslash is not doubled; a file lists as itself; a missing path as nothing
    DiskDirectory second(L"");
    disk_.List(L"items\\", L"*.*", second);
    disk_.List(L"items\\ball\\ball.wtf", L"*.*", second);
    disk_.List(L"items\\nothing", L"*.*", second);
    disk_.List(L"", L"*.*", second);
    ASSERT_EQ(second.children.size(), 2u);
    EXPECT_EQ(Describe(*second.children[0]), L"items\\[items\\ball[items\\ball\\ball.wtf ] ]");
    EXPECT_EQ(Describe(*second.children[1]), L"items\\ball\\ball.wtf");
}

TEST_F(DiskOperatorTest, PatternFiltersFilesAndDirectoriesAlike) {
    ASSERT_EQ(mkdir("items", 0755), 0);
    ASSERT_EQ(mkdir("items/ball", 0755), 0);
    ASSERT_EQ(mkdir("items/dice.wtf", 0755), 0);
    MakeFile("items/ball/ball.wtf");
    MakeFile("items/coin.WTF");
    MakeFile("items/coin.wti");
    MakeFile("items/README");
    MakeFile("items/dice.wtf/dice.wtf");

    DiskDirectory root(L"");
    disk_.List(L"items", L"*.wtf", root);
    ASSERT_EQ(root.children.size(), 1u);
    // "ball" does not match, so its file is never reached; case does not matter
    EXPECT_EQ(Describe(*root.children[0]),
              L"items[items\\coin.WTF items\\dice.wtf[items\\dice.wtf\\dice.wtf ] ]");

    DiskDirectory all(L"");
    disk_.List(L"items", L"*.*", all);
    EXPECT_EQ(Describe(*all.children[0]),
              L"items[items\\README items\\ball[items\\ball\\ball.wtf ] items\\coin.WTF "
              L"items\\coin.wti items\\dice.wtf[items\\dice.wtf\\dice.wtf ] ]");

    EXPECT_TRUE(DiskOperator::MatchesPattern(L"*.*", L"README"));
    EXPECT_TRUE(DiskOperator::MatchesPattern(L"*", L""));
    EXPECT_TRUE(DiskOperator::MatchesPattern(L"c?in.w*", L"coin.wti"));
    EXPECT_FALSE(DiskOperator::MatchesPattern(L"c?in.w*", L"cin.wti"));
    EXPECT_TRUE(DiskOperator::MatchesPattern(L"*a*b*c", L"xaybzbc"));
    EXPECT_FALSE(DiskOperator::MatchesPattern(L"*.wtf", L"ball.wti"));
}

TEST_F(DiskOperatorTest, LinkCyclesAreListedOnce) {
    ASSERT_EQ(mkdir("items", 0755), 0);
    MakeFile("items/a.wtf");
    ASSERT_EQ(symlink("..", "items/up"), 0);
    ASSERT_EQ(symlink("../items", "items/self"), 0);

    DiskDirectory root(L"");
    disk_.List(L"items", L"*.*", root);
    // "up" leads to the parent (new ground) and from there back into items, which stops
    std::wstring tree = Describe(*root.children[0]);
    EXPECT_EQ(tree, L"items[items\\a.wtf items\\self[] items\\up[items\\up\\items[] ] ]");
}

TEST_F(DiskOperatorTest, ReportsTimesInUtc) {
    MakeFile("dated.wtf");
    // 2008-03-01 07:04:02 UTC, last access one day later
    timespec times[2] = {{1204355042 + 86400, 0}, {1204355042, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "dated.wtf", times, 0), 0);
    DiskDirectory root(L"");
    disk_.List(L"dated.wtf", L"*.*", root);
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0]->lastWriteTime, DateTime(2008, 3, 1, 7, 4, 2));
    EXPECT_EQ(root.children[0]->lastAccessTime, DateTime(2008, 3, 2, 7, 4, 2));
    EXPECT_GE(root.children[0]->creationTime.year, 2020);
}

TEST_F(DiskOperatorTest, TellsFilesFromDirectories) {
    ASSERT_EQ(mkdir("items", 0755), 0);
    MakeFile("items/ball.wtf");
    EXPECT_TRUE(disk_.IsDirectory(L"items"));
    EXPECT_TRUE(disk_.IsDirectory(L"items\\"));
    EXPECT_TRUE(disk_.IsDirectory(L"."));
    EXPECT_FALSE(disk_.IsDirectory(L"items\\ball.wtf"));
    EXPECT_FALSE(disk_.IsDirectory(L"item?"));
    EXPECT_FALSE(disk_.IsDirectory(L"missing"));
    EXPECT_FALSE(disk_.IsDirectory(L""));

    EXPECT_TRUE(disk_.IsFile(L"items\\ball.wtf"));
    EXPECT_FALSE(disk_.IsFile(L"items\\*.wtf"));
    EXPECT_FALSE(disk_.IsFile(L"items\\ball.wt?"));
    EXPECT_FALSE(disk_.IsFile(L"items"));
    EXPECT_FALSE(disk_.IsFile(L"items\\missing.wtf"));

    errno = ENOENT;
    EXPECT_EQ(disk_.LastErrorText(), L"No such file or directory");
}
