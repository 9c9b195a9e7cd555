// The shared lookup of numbered texts, the language choice and the two tables behind
// CommonMessage and ProgramMessage.

#include <gtest/gtest.h>

#include "common/MessageTable.h"
#include "common/Messages.h"
#include "common/myexception.h"
#include "support/ScopedEnvironment.h"

TEST(MessageTable, FindsTextsByIdInEitherLanguageWhateverTheOrder) {
    const MessageEntry entries[] = {{30, L"thirty", L"三十"}, {10, L"ten", L"十"}, {20, L"twenty", L"二十"}};
    MessageTable table(std::begin(entries), std::end(entries));
    EXPECT_STREQ(table.Find(10, false), L"ten");
    EXPECT_STREQ(table.Find(30, true), L"三十");
    EXPECT_EQ(table.Find(15, false), nullptr);
    EXPECT_EQ(table.Find(40, false), nullptr);

    MessageTable empty(entries, entries);
    wchar_t buffer[8];
    EXPECT_EQ(empty.CopyWide(10, false, buffer, 8), kMissingMessageW);

    char narrow[8];
    EXPECT_EQ(table.CopyUtf8(20, true, narrow, 8), narrow);
    EXPECT_STREQ(narrow, "二十");
    EXPECT_EQ(table.CopyUtf8(20, true, narrow, 7), narrow);
    EXPECT_STREQ(narrow, "二十");
    EXPECT_EQ(table.CopyUtf8(20, true, narrow, 6), narrow);
    EXPECT_STREQ(narrow, "二");
    EXPECT_EQ(table.CopyUtf8(99, true, narrow, 8), kMissingMessageA);
}

TEST(MessageTable, LanguageComesFromTheFirstSetVariable) {
    EXPECT_FALSE(LocaleTextIsJapanese(nullptr, nullptr, nullptr));
    EXPECT_TRUE(LocaleTextIsJapanese(nullptr, nullptr, "ja_JP.UTF-8"));
    EXPECT_TRUE(LocaleTextIsJapanese("ja", "C", "C"));
    EXPECT_TRUE(LocaleTextIsJapanese("", "ja_JP.eucJP", "en_US"));
    EXPECT_TRUE(LocaleTextIsJapanese(nullptr, nullptr, "ja@cjknarrow"));
    EXPECT_TRUE(LocaleTextIsJapanese(nullptr, nullptr, "ja.SJIS"));
    EXPECT_FALSE(LocaleTextIsJapanese("C", "ja_JP.UTF-8", "ja_JP.UTF-8"));
    EXPECT_FALSE(LocaleTextIsJapanese(nullptr, "POSIX", "ja_JP.UTF-8"));
    EXPECT_FALSE(LocaleTextIsJapanese(nullptr, nullptr, "jam_JM"));
    EXPECT_FALSE(LocaleTextIsJapanese(nullptr, nullptr, "en_JP"));
    EXPECT_FALSE(LocaleTextIsJapanese(nullptr, nullptr, "j"));
}

TEST(Messages, CommonAndProgramMessagesFollowTheLocale) {
    ScopedEnvironment environment;
    environment.Language("C");
    EXPECT_FALSE(IsJapaneseLocale());
    EXPECT_EQ(CommonMessage(140), L" is not exist.");
    EXPECT_EQ(CommonMessage(999), L"Can't find message.");
    EXPECT_EQ(ProgramMessage(999999), L"Can't find message.");

    environment.Language("ja_JP.UTF-8");
    EXPECT_TRUE(IsJapaneseLocale());
    EXPECT_EQ(CommonMessage(140), L" が存在しません。");
    EXPECT_EQ(CommonMessage(999), L"Can't find message.");
    EXPECT_EQ(ProgramMessage(999999), L"Can't find message.");
}

TEST(ErrorTypes, CarryTheirTextAndAreCaughtAsMyexception) {
    try {
        throw file_error(L"abc");
    } catch (const myexception& error) {
        EXPECT_STREQ(error.what(), L"abc");
        EXPECT_NE(dynamic_cast<const file_error*>(&error), nullptr);
    }
    try {
        throw memory_error();
    } catch (const myexception& error) {
        EXPECT_STREQ(error.what(), L"Memory Error.");
    }
    try {
        throw exec_error();
    } catch (const myexception& error) {
        EXPECT_STREQ(error.what(), L"Exec Error.");
    }
    // copies keep the text
    exec_error original(L"copied");
    myexception copy = original;
    EXPECT_EQ(copy.message(), L"copied");
}
