// The message library as the program uses it: linked at load time, found beside the
// executable, answering in the language the locale variables name.

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "resource/CommonMessage.h"
#include "support/ScopedEnvironment.h"

namespace {

constexpr int kCapacity = 1024;

std::wstring Wide(int id) {
    wchar_t buffer[kCapacity];
    return GetCommonMessageW(id, buffer, kCapacity);
}

std::string Narrow(int id) {
    char buffer[kCapacity];
    return GetCommonMessageA(id, buffer, kCapacity);
}

} // namespace

TEST(CommonMessageLibrary, IsTheSharedLibraryBesideTheExecutable) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetCommonMessageW), &info), 0);
    std::filesystem::path library = std::filesystem::canonical(info.dli_fname);
    std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(library.filename(), "libResource.so");
    EXPECT_EQ(library.parent_path(), executable.parent_path());

    // both lookups are exported under their plain C names
    void* self = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(dlsym(self, "GetCommonMessageW"), reinterpret_cast<void*>(&GetCommonMessageW));
    EXPECT_EQ(dlsym(self, "GetCommonMessageA"), reinterpret_cast<void*>(&GetCommonMessageA));
    dlclose(self);
}

TEST(CommonMessageLibrary, AnswersInEnglishForTheCLocale) {
    ScopedEnvironment environment;
    environment.Language("C");
    EXPECT_EQ(Wide(101), L"Failed to write configuration.");
    EXPECT_EQ(Wide(117), L"Failed to init Direct3D.  ");
    EXPECT_EQ(Wide(144), L"Failed to create session.  Confirm network settings.  ");
    EXPECT_EQ(Wide(170), L"Trimming");
    EXPECT_EQ(Narrow(139), "A file name can't not contain following characters.");
    EXPECT_EQ(Wide(126), Wide(127));
}

TEST(CommonMessageLibrary, AnswersInJapaneseForAJapaneseLocale) {
    ScopedEnvironment environment;
    environment.Language("ja_JP.UTF-8");
    EXPECT_EQ(Wide(101), L"設定の書き込みに失敗しました。");
    EXPECT_EQ(Wide(117), L"Direct3D が初期化できません。");
    EXPECT_EQ(Wide(160), L"2 値化");
    EXPECT_EQ(Wide(163), L"RDS");
    EXPECT_EQ(Narrow(103), "ログファイルが指定されていません。");
    EXPECT_EQ(Wide(126), Wide(127));
    EXPECT_NE(Wide(146), Wide(147));
}

TEST(CommonMessageLibrary, FollowsLcAllThenLcMessagesThenLang) {
    ScopedEnvironment environment;
    environment.Set("LC_ALL", "C").Set("LC_MESSAGES", "ja_JP.UTF-8").Set("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(Wide(112), L"Line:");

    environment.Set("LC_ALL", "").Set("LC_MESSAGES", "ja_JP.eucJP").Set("LANG", "en_US.UTF-8");
    EXPECT_EQ(Wide(112), L"行:");

    environment.Set("LC_ALL", nullptr).Set("LC_MESSAGES", nullptr).Set("LANG", "ja");
    EXPECT_EQ(Wide(113), L" 桁:");

    // only the language part counts: "jam" or a Japanese territory are not Japanese
    environment.Set("LANG", "jam_JM.UTF-8");
    EXPECT_EQ(Wide(113), L" Column:");
    environment.Set("LANG", "en_JP.UTF-8");
    EXPECT_EQ(Wide(113), L" Column:");
    environment.Set("LANG", nullptr);
    EXPECT_EQ(Wide(113), L" Column:");
}

TEST(CommonMessageLibrary, EveryIdentifierHasBothTexts) {
    ScopedEnvironment environment;
    for (int id = 101; id <= 170; ++id) {
        environment.Language("C");
        std::wstring english = Wide(id);
        environment.Language("ja_JP.UTF-8");
        std::wstring japanese = Wide(id);
        EXPECT_NE(english, L"Can't find message.") << id;
        EXPECT_NE(japanese, L"Can't find message.") << id;
        EXPECT_FALSE(english.empty()) << id;
        // only the acronym 163 reads the same in both languages
        if (id != 163) {
            EXPECT_NE(english, japanese) << id;
        }
    }
    environment.Language("C");
    EXPECT_EQ(Wide(100), L"Can't find message.");
    EXPECT_EQ(Wide(171), L"Can't find message.");
}

TEST(CommonMessageLibrary, MissingIdentifierReturnsTheConstantFallbackNotTheBuffer) {
    ScopedEnvironment environment;
    for (const char* language : {"C", "ja_JP.UTF-8"}) {
        environment.Language(language);
        wchar_t wide[kCapacity] = L"untouched";
        const wchar_t* wideResult = GetCommonMessageW(999, wide, kCapacity);
        EXPECT_NE(wideResult, wide);
        EXPECT_STREQ(wideResult, L"Can't find message.");

        char narrow[kCapacity] = "untouched";
        const char* narrowResult = GetCommonMessageA(999, narrow, kCapacity);
        EXPECT_NE(narrowResult, narrow);
        EXPECT_STREQ(narrowResult, "Can't find message.");

        // the fallback is one constant, the same at every call
        wchar_t other[kCapacity];
        EXPECT_EQ(GetCommonMessageW(-1, other, kCapacity), wideResult);
    }
}

TEST(CommonMessageLibrary, TruncatesToTheBufferAndAlwaysTerminates) {
    ScopedEnvironment environment;
    environment.Language("C");
    wchar_t wide[5];
    std::wmemset(wide, L'#', 5);
    EXPECT_EQ(GetCommonMessageW(101, wide, 5), wide);
    EXPECT_STREQ(wide, L"Fail");

    wchar_t single[1] = {L'#'};
    EXPECT_EQ(GetCommonMessageW(101, single, 1), single);
    EXPECT_EQ(single[0], L'\0');

    char narrow[5];
    std::memset(narrow, '#', 5);
    EXPECT_EQ(GetCommonMessageA(101, narrow, 5), narrow);
    EXPECT_STREQ(narrow, "Fail");

    // no room at all: nothing is written and the caller still gets a text to show
    EXPECT_STREQ(GetCommonMessageW(101, nullptr, 0), L"Can't find message.");
    EXPECT_STREQ(GetCommonMessageA(101, narrow, 0), "Can't find message.");

    // the narrow text never ends in the middle of a character's bytes
    environment.Language("ja_JP.UTF-8");
    std::memset(narrow, '#', 5);
    EXPECT_EQ(GetCommonMessageA(101, narrow, 5), narrow);
    EXPECT_STREQ(narrow, "設");
    std::memset(narrow, '#', 5);
    EXPECT_EQ(GetCommonMessageA(101, narrow, 3), narrow);
    EXPECT_STREQ(narrow, "");
    std::wmemset(wide, L'#', 5);
    EXPECT_EQ(GetCommonMessageW(101, wide, 5), wide);
    EXPECT_STREQ(wide, L"設定の書");
}
