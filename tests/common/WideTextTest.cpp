#include <gtest/gtest.h>

#include "common/FilePath.h"
#include "common/WideText.h"

TEST(WideText, RoundTripsEveryPlaneThroughUtf8AndUtf16) {
    std::wstring text = L"A\u00e9\u30ed\U0001F600;";
    EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE3\x83\xAD\xF0\x9F\x98\x80;");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf16(text), u"A\u00e9\u30ed\U0001F600;");
    EXPECT_EQ(ToUtf16(text).size(), 6u);
    EXPECT_EQ(FromUtf16(ToUtf16(text)), text);
    EXPECT_EQ(ToUtf16LE(L"A\u30ed"), std::string("A\0\xED\x30", 4));
    EXPECT_EQ(FromUtf16LE(ToUtf16LE(text)), text);
    EXPECT_EQ(FromUtf16LE(std::string("A\0B", 3)), L"A") << "a trailing odd byte is ignored";
}

TEST(WideText, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              L"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xE3\x83"), L"\uFFFD\uFFFD") << "truncated sequence";
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD") << "overlong form";
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
    EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD") << "beyond U+10FFFF";
    EXPECT_EQ(FromUtf16(u"\xD800"
                        u"x"),
              L"\uFFFDx");
    EXPECT_EQ(FromUtf16(std::u16string(1, u'\xDC00')), L"\uFFFD");
    std::wstring invalid(1, static_cast<wchar_t>(0x110000));
    EXPECT_EQ(ToUtf8(invalid), "\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf16(invalid), u"\uFFFD");
}

TEST(FilePath, MapsBackslashesOnlyAtTheFileSystem) {
    EXPECT_EQ(ToNativePath(L"items\\ball\\ball.wtf"), "items/ball/ball.wtf");
    EXPECT_EQ(ToNativePath(L".\\Kivaro.ini"), "./Kivaro.ini");
    EXPECT_EQ(ToNativePath(L"data\\\u7403.png"), "data/\xE7\x90\x83.png");
    EXPECT_EQ(FromNativePath("items/ball/ball.wtf"), L"items\\ball\\ball.wtf");
    EXPECT_EQ(ToNativePath(L""), "");
}

TEST(FilePath, ExtensionIsTheTextAfterTheLastDotOfTheWholePath) {
    EXPECT_EQ(FilePath(L"items\\ball\\ball.wtf").GetExtension(), L"wtf");
    EXPECT_EQ(FilePath(L"items.old\\ball\\ball").GetExtension(), L"old\\ball\\ball");
    EXPECT_EQ(FilePath(L"items\\ball").GetExtension(), L"");
    EXPECT_EQ(FilePath(L"archive.tar.gz").GetExtension(), L"gz");
    EXPECT_EQ(FilePath(L"trailing.").GetExtension(), L"");
    EXPECT_EQ(FilePath(L"").GetExtension(), L"");
}
