// The settings file's exact text, its parsing rules, the conversions of the stores, the
// lock file and the replacement of the file.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/ApplicationConfigIni.h"
#include "common/ApplicationConfigMFC.h"
#include "common/FileBytes.h"
#include "common/IniFile.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

std::string Utf16File(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) + ToUtf16LE(text);
}

IniFile Parsed(const std::wstring& text) {
    IniFile file;
    file.Parse(Utf16File(text));
    return file;
}

std::wstring Value(const IniFile& file, const std::wstring& section, const std::wstring& key) {
    const std::wstring* value = file.Find(section, key);
    return value ? *value : L"<absent>";
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// no waiting in tests unless a test asks for it
constexpr IniLockWait kNoWait{std::chrono::milliseconds(0), 1};

} // namespace

TEST(IniFile, ReadsQuotedValuesAndCommentsAndWritesThemBack) {
    IniFile file = Parsed(L"[Settings]\r\nZoom=12;old\r\nTitle=\"a;b\"\r\n");
    EXPECT_EQ(Value(file, L"Settings", L"Zoom"), L"12");
    EXPECT_EQ(Value(file, L"Settings", L"Title"), L"a;b");
    EXPECT_EQ(file.Serialize(), Utf16File(L"[Settings]\r\nTitle=\"a;b\"\r\nZoom=12\r\n"));
    EXPECT_EQ(file.Serialize().substr(0, 6), std::string("\xFF\xFE[\0S\0", 6));

    // what was written reads back the same
    IniFile again;
    again.Parse(file.Serialize());
    EXPECT_EQ(again.Serialize(), file.Serialize());

    // whatever is stored reads back unchanged: quotes, ";", "=", "[", blanks, empty names
    IniFile hostile;
    const std::wstring texts[] = {L"\"=;",  L"a\"b",   L"\"", L"x=y", L"[S]",  L"a[b",  L" lead",
                                  L"\ttab", L"trail ", L";",  L"",    L"\"\"", L"k ey", L"\n"};
    for (const std::wstring& text : texts) {
        hostile.Set(L"S", text, text);
        hostile.Set(L"S", L"v" + text, text);
    }
    IniFile reread;
    reread.Parse(hostile.Serialize());
    EXPECT_EQ(reread.AllSections(), hostile.AllSections());
    EXPECT_EQ(Value(reread, L"S", L"\"=;"), L"\"=;");
}

TEST(IniFile, FollowsTheLineRules) {
    IniFile file = Parsed(L"Loose=1\r\n"
                          L"; a whole-line comment\r\n"
                          L"\r\n"
                          L"  \t \r\n"
                          L"[First] trailing text\r\n"
                          L"  Spaced \t=\t value with spaces \r\n"
                          L"Zoom=12 ;note\r\n"
                          L"Bare\r\n"
                          L"Cut=ab\"cd\r\n"
                          L"Open=\"xy;z\r\n"
                          L"Zoom=13\r\n"
                          L"[]\r\n"
                          L"Empty=\r\n"
                          L"[Last]\r\n"
                          L"NoLineEnd=end");
    EXPECT_EQ(Value(file, L"", L"Loose"), L"1");
    EXPECT_EQ(Value(file, L"First", L"Spaced"), L"value with spaces ");
    EXPECT_EQ(Value(file, L"First", L"Bare"), L"");
    EXPECT_EQ(Value(file, L"First", L"Cut"), L"ab");
    EXPECT_EQ(Value(file, L"First", L"Open"), L"xy;z") << "an unclosed quote runs to the end of the line";
    EXPECT_EQ(Value(file, L"First", L"Zoom"), L"13") << "a later line replaces the value";
    EXPECT_EQ(Value(file, L"", L"Empty"), L"");
    EXPECT_EQ(Value(file, L"Last", L"NoLineEnd"), L"end");
    EXPECT_EQ(file.AllSections().size(), 3u);
    EXPECT_EQ(file.AllSections().at(L"").count(L""), 0u) << "blank lines hold no key";

    EXPECT_EQ(file.Serialize(), Utf16File(L"[]\r\nEmpty=\r\nLoose=1\r\n"
                                          L"[First]\r\nBare=\r\nCut=ab\r\nOpen=\"xy;z\"\r\n"
                                          L"Spaced=value with spaces \r\nZoom=13\r\n"
                                          L"[Last]\r\nNoLineEnd=end\r\n"));
}

TEST(IniFile, TrailingSpaceBeforeACommentStaysInTheValue) {
    IniFile file = Parsed(L"[Settings]\r\nZoom=12 ;c\r\n");
    EXPECT_EQ(Value(file, L"Settings", L"Zoom"), L"12 ");
    EXPECT_EQ(LeadingInteger(Value(file, L"Settings", L"Zoom")), 12);
}

TEST(IniFile, CarriageReturnTakesTheNextUnitWithIt) {
    // the unit after a carriage return is dropped whatever it is; a lone line feed is text
    IniFile file = Parsed(L"[S]\rXA=1\r\nB=2\nC=3\r\n");
    EXPECT_EQ(Value(file, L"S", L"A"), L"1");
    EXPECT_EQ(Value(file, L"S", L"B"), L"2\nC=3");
}

TEST(IniFile, EmptyAndTruncatedFilesAreEmpty) {
    for (std::string bytes :
         {std::string(), std::string("\xFF"), std::string("\xFF\xFE"), std::string("\xFF\xFE[", 3)}) {
        IniFile file;
        EXPECT_NO_THROW(file.Parse(bytes));
        EXPECT_TRUE(file.AllSections().empty());
        EXPECT_EQ(file.Serialize(), std::string("\xFF\xFE"));
    }
}

TEST(IniFile, SectionLineWithoutClosingBracketIsAnError) {
    ScopedEnvironment environment;
    environment.Language("C");
    try {
        Parsed(L"[Settings]\r\n[abc\r\n");
        FAIL() << "no exception";
    } catch (const exec_error& error) {
        EXPECT_EQ(error.message(), L"Invalid format string.[[abc]");
    }
    environment.Language("ja_JP.UTF-8");
    try {
        Parsed(L"A=1\r\n x [abc ;]\r\n");
        FAIL() << "no exception";
    } catch (const myexception& error) {
        EXPECT_EQ(error.message(), L"文字列形式が不正です。[ x [abc ]");
    }
}

TEST(IniFile, OrdersNamesByUtf16CodeUnits) {
    IniFile file;
    file.Set(L"S", L"\uFF01", L"fullwidth");
    file.Set(L"S", L"\U0001F600", L"emoji");
    file.Set(L"S", L"B", L"b");
    file.Set(L"S", L"a", L"a");
    std::wstring order;
    for (const auto& [key, value] : file.AllSections().at(L"S")) {
        order += value + L",";
    }
    // upper case before lower case; the surrogate pair (D83D) before U+FF01
    EXPECT_EQ(order, L"b,a,emoji,fullwidth,");
}

TEST(ApplicationConfigIni, ConvertsIntegersAndBooleansAsTheFormatSays) {
    TemporaryDirectory directory;
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    ASSERT_TRUE(WriteFileBytes(base + L".ini",
                               Utf16File(L"[Settings]\r\nText=abc\r\nTwo=2\r\nOne=1\r\nNegative=-40x\r\n"
                                         L"Plus=+7\r\nHuge=99999999999\r\nSpaced= 12 \r\nZero=0\r\n")));
    ApplicationConfigIni store(base, false, kNoWait);
    EXPECT_EQ(store.Kind(), L"ini");
    store.SetSection(L"Settings");
    EXPECT_EQ(store.GetInt(L"Text", 5), 0);
    EXPECT_EQ(store.GetInt(L"Missing", 5), 5);
    EXPECT_EQ(store.GetInt(L"Missing", -5), -5);
    EXPECT_EQ(store.GetInt(L"Negative", 0), -40);
    EXPECT_EQ(store.GetInt(L"Plus", 0), 7);
    EXPECT_EQ(store.GetInt(L"Spaced", 0), 12);
    EXPECT_EQ(store.GetInt(L"Huge", 0), 2147483647);
    EXPECT_EQ(LeadingInteger(L"-99999999999999999999999"), -2147483647 - 1);

    EXPECT_FALSE(store.GetBool(L"Two", true));
    EXPECT_TRUE(store.GetBool(L"One", false));
    EXPECT_FALSE(store.GetBool(L"Zero", true));
    EXPECT_TRUE(store.GetBool(L"Missing", true));
    EXPECT_FALSE(store.GetBool(L"Missing", false));
    EXPECT_EQ(store.GetString(L"Text", L"d"), L"abc");
    EXPECT_EQ(store.GetString(L"Missing", L"d"), L"d");

    // another section does not see these keys
    store.EndSection();
    EXPECT_EQ(store.GetString(L"Text", L"d"), L"d");
    store.SetSection(L"Other");
    EXPECT_EQ(store.GetInt(L"One", 3), 3);
}

TEST(ApplicationConfigIni, WritableStoreWritesTheExactFileWhenReleased) {
    TemporaryDirectory directory;
    std::string native = directory.Path() + "/Kivaro_u";
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    {
        ApplicationConfigIni store(base, true, kNoWait);
        EXPECT_TRUE(store.HoldsLock());
        EXPECT_TRUE(Exists(native + ".lock"));
        store.SetSection(L"Settings");
        store.SetInt(L"WindowX", 70);
        store.SetInt(L"WindowY", -1);
        store.SetBool(L"Stereo", true);
        store.SetBool(L"Paused", false);
        store.SetString(L"Item0", L"items\\ball\\ball.wtf");
        store.SetString(L"Note", L"a;b");
        store.EndSection();
        store.SetString(L"Top", L"x");
        EXPECT_FALSE(Exists(native + ".ini")) << "nothing is written before the store is released";
    }
    EXPECT_FALSE(Exists(native + ".lock"));
    EXPECT_FALSE(Exists(native + ".tmp"));
    EXPECT_EQ(
        ReadFileBytes(base + L".ini").value_or(""),
        Utf16File(L"[]\r\nTop=x\r\n[Settings]\r\nItem0=items\\ball\\ball.wtf\r\nNote=\"a;b\"\r\nPaused=0\r\n"
                  L"Stereo=1\r\nWindowX=70\r\nWindowY=-1\r\n"));

    // a later writable store keeps what it does not change; a read-only one writes nothing
    {
        ApplicationConfigIni store(base, true, kNoWait);
        store.SetSection(L"Settings");
        EXPECT_EQ(store.GetInt(L"WindowY", 0), -1);
        EXPECT_EQ(store.GetString(L"Note", L""), L"a;b");
        store.SetInt(L"WindowX", 71);
    }
    std::string written = ReadFileBytes(base + L".ini").value_or("");
    EXPECT_NE(written.find(ToUtf16LE(L"WindowX=71\r\n")), std::string::npos);
    EXPECT_NE(written.find(ToUtf16LE(L"Top=x\r\n")), std::string::npos);
    {
        ApplicationConfigIni store(base, false, kNoWait);
        store.SetSection(L"Settings");
        store.SetInt(L"WindowX", 1);
    }
    EXPECT_EQ(ReadFileBytes(base + L".ini").value_or(""), written);
}

TEST(ApplicationConfigIni, FailedTemporaryFileLeavesThePreviousFileUntouched) {
    TemporaryDirectory directory;
    std::string native = directory.Path() + "/Kivaro_u";
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    std::string previous = Utf16File(L"[Settings]\r\nZoom=3\r\n");
    ASSERT_TRUE(WriteFileBytes(base + L".ini", previous));
    // a directory in the temporary file's place cannot be opened for writing
    ASSERT_EQ(mkdir((native + ".tmp").c_str(), 0755), 0);
    {
        ApplicationConfigIni store(base, true, kNoWait);
        store.SetSection(L"Settings");
        store.SetInt(L"Zoom", 9);
    }
    EXPECT_EQ(ReadFileBytes(base + L".ini").value_or(""), previous);
    EXPECT_FALSE(Exists(native + ".lock"));
}

TEST(ApplicationConfigIni, MalformedFileThrowsAndReleasesTheLock) {
    TemporaryDirectory directory;
    std::string native = directory.Path() + "/Kivaro_u";
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    ASSERT_TRUE(WriteFileBytes(base + L".ini", Utf16File(L"[Settings\r\n")));
    EXPECT_THROW(ApplicationConfigIni(base, true, kNoWait), exec_error);
    EXPECT_FALSE(Exists(native + ".lock"));

    // a file past the size bound is refused the same way, however well formed; one at the bound loads
    std::wstring lines = L"[Settings]\r\n";
    while ((lines.size() + 20) * 2 + 2 < ApplicationConfigIni::kMaxFileSize) {
        lines += L"; filler\r\n";
    }
    std::string atBound = Utf16File(lines + L"Zoom=7");
    atBound.resize(ApplicationConfigIni::kMaxFileSize, ' ');
    ASSERT_TRUE(WriteFileBytes(base + L".ini", atBound));
    EXPECT_NE(ApplicationConfigIni(base, false, kNoWait).File().Find(L"Settings", L"Zoom"), nullptr);
    ASSERT_TRUE(WriteFileBytes(base + L".ini", atBound + std::string(2, ' ')));
    EXPECT_THROW(ApplicationConfigIni(base, true, kNoWait), exec_error);
    EXPECT_FALSE(Exists(native + ".lock"));
}

TEST(ApplicationConfigIni, LockOfAnEndedProcessIsTakenOverAtOnce) {
    TemporaryDirectory directory;
    std::string native = directory.Path() + "/Kivaro_u";
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    ScopedLogCapture log;

    // a child that has ended and been reaped: its process number names no process
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(0);
    }
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    ASSERT_TRUE(WriteFileBytes(base + L".lock", std::to_string(child) + "\n"));
    {
        ApplicationConfigIni store(base, false, kNoWait);
        EXPECT_TRUE(store.HoldsLock());
        EXPECT_EQ(ReadFileBytes(base + L".lock").value_or(""), std::to_string(getpid()) + "\n");
    }
    EXPECT_FALSE(Exists(native + ".lock"));
    bool logged = false;
    for (const auto& record : log.Writer().Records()) {
        logged = logged || record.message.find(L"stale lock file") != std::wstring::npos;
    }
    EXPECT_TRUE(logged);

    // a live holder (this process) and a lock that names no process are waited for
    for (const std::string& holder : {std::to_string(getpid()) + "\n", std::string(), std::string("x")}) {
        ASSERT_TRUE(WriteFileBytes(base + L".lock", holder));
        ApplicationConfigIni store(base, false, kNoWait);
        EXPECT_FALSE(store.HoldsLock()) << holder;
    }
}

TEST(ApplicationConfigIni, SecondStoreWaitsForTheLockThenProceeds) {
    EXPECT_EQ(IniLockWait().interval, std::chrono::milliseconds(1000));
    EXPECT_EQ(IniLockWait().attempts, 21);

    TemporaryDirectory directory;
    std::string native = directory.Path() + "/Kivaro_u";
    std::wstring base = FromUtf8(directory.Path()) + L"\\Kivaro_u";
    const IniLockWait shortWait{std::chrono::milliseconds(20), 21};

    auto first = std::make_unique<ApplicationConfigIni>(base, true, kNoWait);
    ASSERT_TRUE(first->HoldsLock());
    {
        // the lock stays taken: 21 attempts one interval apart, then the store goes on
        auto start = std::chrono::steady_clock::now();
        ApplicationConfigIni second(base, false, shortWait);
        auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(second.HoldsLock());
        EXPECT_GE(waited, std::chrono::milliseconds(20 * 20));
    }

    // released while another store waits: that store takes it at its next attempt
    first = std::make_unique<ApplicationConfigIni>(base, true, kNoWait);
    ASSERT_TRUE(first->HoldsLock());
    std::promise<void> started;
    auto waiter = std::async(std::launch::async, [&] {
        started.set_value();
        auto store = std::make_unique<ApplicationConfigIni>(base, true,
                                                            IniLockWait{std::chrono::milliseconds(10), 500});
        return store->HoldsLock();
    });
    started.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    first.reset();
    EXPECT_TRUE(waiter.get());
    EXPECT_FALSE(Exists(native + ".lock"));
}

TEST(ApplicationConfigMFC, KeepsSettingsInThePrivateProfileFile) {
    ScopedEnvironment environment;
    environment.Language("C");
    TemporaryDirectory directory;
    std::wstring previous = ApplicationConfigMFC::ProfileFile();
    EXPECT_EQ(previous, L".\\Kivaro.ini");
    std::wstring profile = FromUtf8(directory.Path()) + L"\\Kivaro.ini";
    ApplicationConfigMFC::SetProfileFile(profile);

    ApplicationConfigMFC store;
    EXPECT_EQ(store.Kind(), L"mfc");
    store.SetSection(L"Settings");
    EXPECT_EQ(store.GetInt(L"WindowX", 70), 70) << "no profile yet";
    EXPECT_EQ(store.GetString(L"Item0", L"none"), L"none");
    EXPECT_TRUE(store.GetBool(L"Stereo", true));

    store.SetInt(L"WindowX", 120);
    store.SetString(L"Item0", L"items\\coin.wtf");
    store.SetBool(L"Stereo", false);
    store.SetString(L"Count", L"2");
    EXPECT_EQ(store.GetInt(L"WindowX", 0), 120);
    EXPECT_EQ(store.GetString(L"Item0", L""), L"items\\coin.wtf");
    EXPECT_FALSE(store.GetBool(L"Stereo", true));
    EXPECT_TRUE(store.GetBool(L"Count", false)) << "any integer above 0 is true";

    // a fresh store reads what the first one wrote, in the text-file format
    ApplicationConfigMFC other;
    other.SetSection(L"Settings");
    EXPECT_EQ(other.GetInt(L"WindowX", 0), 120);
    IniFile file;
    file.Parse(ReadFileBytes(profile).value_or(""));
    EXPECT_EQ(*file.Find(L"Settings", L"Stereo"), L"0");

    // a profile in a missing folder cannot be written
    ApplicationConfigMFC::SetProfileFile(FromUtf8(directory.Path()) + L"\\missing\\Kivaro.ini");
    try {
        store.SetInt(L"WindowX", 1);
        FAIL() << "no exception";
    } catch (const exec_error& error) {
        EXPECT_EQ(error.message(), L"Failed to write configuration.[WriteProfileInt(2)]");
    }
    try {
        store.SetString(L"Item0", L"x");
        FAIL() << "no exception";
    } catch (const exec_error& error) {
        EXPECT_EQ(error.message(), L"Failed to write configuration.[WriteProfileString(2)]");
    }
    ApplicationConfigMFC::SetProfileFile(previous);
}
