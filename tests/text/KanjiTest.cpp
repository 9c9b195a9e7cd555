#include "text/KanjiConvert.h"
#include "text/KanjiLine.h"
#include "text/KanjiReader.h"
#include "text/KanjiWriter.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <sstream>
#include <string>

#include "common/WideText.h"

namespace {

const char* const kEncodings[] = {"SJIS", "JIS", "EUC", "Unicode"};

/// The same text converted by the C library's own iconv, as an independent reference.
std::string Iconv(const std::string& text, const char* from, const char* to) {
    iconv_t descriptor = iconv_open(to, from);
    EXPECT_NE(descriptor, reinterpret_cast<iconv_t>(-1));
    std::string output(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    EXPECT_NE(iconv(descriptor, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1));
    EXPECT_NE(iconv(descriptor, nullptr, nullptr, &out, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(descriptor);
    output.resize(output.size() - outLeft);
    return output;
}

TEST(KanjiTest, WideStringsAndShiftJisConvertBothWays) {
    EXPECT_EQ(WideToSjis(L""), "");
    EXPECT_EQ(SjisToWide(""), L"");
    EXPECT_EQ(WideToSjis(L"Ball_01.x data\\a"), "Ball_01.x data\\a");
    EXPECT_EQ(SjisToWide("Ball_01.x data\\a"), L"Ball_01.x data\\a");
    EXPECT_EQ(SjisToWide("\x82\xA0"), L"\u3042"); // hiragana a
    EXPECT_EQ(WideToSjis(L"\u3042"), "\x82\xA0");
    // code page 932's own characters: the circled digit, the full-width tilde, half-width katakana
    EXPECT_EQ(SjisToWide("\x87\x40\x81\x60\xB1"), L"\u2460\uFF5E\uFF71");
    EXPECT_EQ(WideToSjis(L"\u2460\uFF5E\uFF71"), "\x87\x40\x81\x60\xB1");

    const std::wstring japanese = L"ボール\\テクスチャ１.png 山田太郎";
    EXPECT_EQ(SjisToWide(WideToSjis(japanese)), japanese);
    EXPECT_EQ(WideToSjis(japanese), Iconv(ToUtf8(japanese), "UTF-8", "CP932"));

    // characters Shift_JIS does not have
    EXPECT_THROW(WideToSjis(L"\u4E02"), KanjiWriter::cant_convert);
    EXPECT_THROW(WideToSjis(L"\U0001F600"), KanjiWriter::cant_convert);
    EXPECT_THROW(WideToSjis(std::wstring(1, static_cast<wchar_t>(0xD800))), KanjiWriter::cant_convert);
}

TEST(KanjiTest, EveryEncodingRoundTripsAndMatchesTheStandardBytes) {
    // JIS X 0208 text with ASCII around it
    const std::string utf8 = "Kivaro: 転がるボールと「サイコロ」、ａｂｃ。end";
    const std::string sjis = Iconv(utf8, "UTF-8", "CP932");
    for (const char* from : kEncodings) {
        for (const char* to : kEncodings) {
            SCOPED_TRACE(std::string(from) + " -> " + to);
            EXPECT_EQ(KanjiConvert("", from, to), "");
            const std::string source = KanjiConvert(sjis, "SJIS", from);
            const std::string converted = KanjiConvert(source, from, to);
            EXPECT_EQ(KanjiConvert(converted, to, "SJIS"), sjis);
        }
    }
    EXPECT_EQ(KanjiConvert(sjis, "SJIS", "EUC"), Iconv(utf8, "UTF-8", "EUC-JP"));
    EXPECT_EQ(KanjiConvert(sjis, "SJIS", "JIS"), Iconv(utf8, "UTF-8", "ISO-2022-JP"));
    EXPECT_EQ(KanjiConvert(sjis, "SJIS", "Unicode"), Iconv(utf8, "UTF-8", "UTF-16BE"));

    // the exact forms of hiragana a and half-width katakana a
    EXPECT_EQ(KanjiConvert("\x82\xA0", "SJIS", "EUC"), "\xA4\xA2");
    EXPECT_EQ(KanjiConvert("\x82\xA0"
                           "a",
                           "SJIS", "JIS"),
              "\x1B$B\x24\x22\x1B(Ba");
    EXPECT_EQ(KanjiConvert("\xB1", "SJIS", "EUC"), "\x8E\xB1");
    EXPECT_EQ(KanjiConvert("\x8E\xB1", "EUC", "SJIS"), "\xB1");
    EXPECT_EQ(KanjiConvert("\x82\xA0", "SJIS", "Unicode"), "\x30\x42");
    // the older ISO-2022-JP switch and the JIS-Roman return are read as well
    EXPECT_EQ(KanjiConvert("\x1B$@\x24\x22\x1B(Ja", "JIS", "SJIS"), "\x82\xA0"
                                                                    "a");

    // the vendor rows of code page 932 beyond JIS X 0208 cannot be written as EUC or JIS
    EXPECT_EQ(KanjiConvert("\x87\x40", "SJIS", "EUC"), "\xAD\xA1"); // NEC row 13 lies inside
    EXPECT_THROW(KanjiConvert("\xFA\x40", "SJIS", "EUC"), KanjiWriter::cant_convert);
    EXPECT_THROW(KanjiConvert("\xFA\x40", "SJIS", "JIS"), KanjiWriter::cant_convert);
}

TEST(KanjiTest, MalformedInputAndUnknownNamesAreRefused) {
    // a lead byte without its trail byte, a bad trail byte, a byte code page 932 lacks
    EXPECT_THROW(KanjiConvert("\x82", "SJIS", "Unicode"), KanjiReader::cant_convert);
    EXPECT_THROW(KanjiConvert("a\x82 ", "SJIS", "Unicode"), KanjiReader::cant_convert);
    EXPECT_THROW(KanjiConvert("\xFD", "SJIS", "Unicode"), KanjiReader::cant_convert);
    EXPECT_THROW(KanjiConvert("\x1B$B\x24", "JIS", "SJIS"), KanjiReader::cant_convert);
    EXPECT_THROW(KanjiConvert("\x30", "Unicode", "SJIS"), KanjiReader::cant_convert);
    EXPECT_THROW(KanjiConvert("\x4E\x02", "Unicode", "SJIS"), KanjiWriter::cant_convert);

    // names are compared exactly
    try {
        KanjiReaderFactory::Create("sjis", "");
        ADD_FAILURE() << "a lower-case name was accepted";
    } catch (const KanjiReaderFactory::cant_convert& error) {
        EXPECT_STREQ(error.what(), L"Failed to convert string.");
    }
    EXPECT_THROW(KanjiWriterFactory::Create("unicode", ""), KanjiWriterFactory::cant_convert);
    EXPECT_THROW(KanjiConvert("a", "SJIS", "UTF-8"), KanjiWriterFactory::cant_convert);
    for (const char* name : kEncodings) {
        EXPECT_EQ(KanjiReaderFactory::Create(name, "")->GetName(), name);
        EXPECT_EQ(KanjiWriterFactory::Create(name, "")->GetName(), name);
    }

    KanjiReader::cant_convert reader;
    KanjiWriter::cant_convert writer;
    KanjiWriterFactory::cant_convert writerFactory;
    EXPECT_STREQ(reader.what(), L"Failed to convert string.");
    EXPECT_STREQ(writer.what(), L"Failed to convert string.");
    EXPECT_STREQ(writerFactory.what(), L"Failed to convert string.");
}

TEST(KanjiTest, ReadersSplitLinesAtEveryKindOfBreak) {
    KanjiReaderSJIS reader("\r\n");
    std::istringstream input("a\nb\r\nc\rd\n\n\x82\xA0");
    std::string line;
    std::vector<std::string> lines;
    while (reader.ReadLine(input, line)) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a\r\n", "b\r\n", "c\r\n", "d\r\n", "\r\n", "\x82\xA0"}));

    // with no terminator, an empty line in the middle is still a line
    KanjiReaderEUC bare("");
    std::istringstream blank("a\n\nb\n");
    lines.clear();
    while (bare.ReadLine(blank, line)) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b"}));
}

TEST(KanjiTest, UnicodeReaderFollowsTheByteOrderMark) {
    const std::string terminator("\0\n", 2);
    auto readAll = [&](const std::string& bytes, bool& bigEndian) {
        KanjiReaderUnicode reader(terminator);
        std::istringstream input(bytes);
        std::vector<std::string> lines;
        std::string line;
        while (reader.ReadLine(input, line)) {
            lines.push_back(line);
        }
        bigEndian = reader.IsBigEndian();
        return lines;
    };
    bool bigEndian = false;
    using Lines = std::vector<std::string>;

    // FF FE: little-endian; units come out high byte first
    EXPECT_EQ(readAll(std::string("\xFF\xFE"
                                  "a\0\n\0\x42\x30",
                                  8),
                      bigEndian),
              (Lines{std::string("\0a\0\n", 4), "\x30\x42"}));
    EXPECT_FALSE(bigEndian);
    // FE FF: big-endian, with a carriage return before a unit that is not a line feed
    EXPECT_EQ(readAll(std::string("\xFE\xFF\0a\0\r\0b\0\r\0\n", 12), bigEndian),
              (Lines{std::string("\0a\0\n", 4), std::string("\0b\0\n", 4)}));
    EXPECT_TRUE(bigEndian);
    // no mark: big-endian, and the first unit is kept
    EXPECT_EQ(readAll(std::string("\0a", 2), bigEndian), (Lines{std::string("\0a", 2)}));
    EXPECT_TRUE(bigEndian);
    EXPECT_TRUE(readAll("", bigEndian).empty());

    // a broken mark, a lone last byte
    EXPECT_THROW(readAll(std::string("\xFF\x00\0a", 4), bigEndian), KanjiReader::cant_convert);
    EXPECT_THROW(readAll("\xFE", bigEndian), KanjiReader::cant_convert);
    EXPECT_THROW(readAll(std::string("\xFF\xFE"
                                     "a",
                                     3),
                         bigEndian),
                 KanjiReader::cant_convert);
}

TEST(KanjiTest, UnicodeWriterWritesItsMarkOnceInItsByteOrder) {
    const std::string terminator("\0\r\0\n", 4);
    std::ostringstream little;
    KanjiWriterUnicode writer(terminator);
    writer.WriteLine("\x30\x42", little);
    writer.WriteLine(std::string("\0a", 2), little);
    EXPECT_EQ(little.str(), std::string("\xFF\xFE\x42\x30\r\0\n\0a\0\r\0\n\0", 14));

    std::ostringstream big;
    KanjiWriterUnicode bigWriter("");
    bigWriter.SetBigEndian(true);
    bigWriter.WriteLine("\x30\x42", big);
    EXPECT_EQ(big.str(), "\xFE\xFF\x30\x42");
    EXPECT_THROW(bigWriter.WriteLine("\x30", big), KanjiWriter::cant_convert);

    // and what it writes reads back
    KanjiReaderUnicode reader(std::string("\0\n", 2));
    std::istringstream input(little.str());
    std::string line;
    ASSERT_TRUE(reader.ReadLine(input, line));
    EXPECT_EQ(line, std::string("\x30\x42\0\n", 4));
}

TEST(KanjiTest, KanjiLineMovesLinesBetweenEncodings) {
    // a Shift_JIS stream copied line by line into EUC-JP and into UTF-16LE
    const std::string sjis = Iconv("一行目\n二行目 line", "UTF-8", "CP932");
    KanjiReaderSJIS reader("");
    KanjiWriterEUC eucWriter("\n");
    KanjiWriterUnicode unicodeWriter(std::string("\0\n", 2));
    std::istringstream input(sjis);
    std::ostringstream euc;
    std::ostringstream unicode;
    KanjiLine line;
    int count = 0;
    while (line.Read(input, reader)) {
        line.Write(euc, eucWriter);
        line.Write(unicode, unicodeWriter);
        ++count;
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(euc.str(), Iconv("一行目\n二行目 line\n", "UTF-8", "EUC-JP"));
    EXPECT_EQ(unicode.str(), "\xFF\xFE" + Iconv("一行目\n二行目 line\n", "UTF-8", "UTF-16LE"));

    // set and get through codecs; a failed set keeps the old line
    KanjiReaderJIS jisReader("");
    KanjiWriterSJIS sjisWriter("");
    line.Set("\x1B$B\x24\x22\x1B(B", jisReader);
    EXPECT_EQ(line.Get(sjisWriter), "\x82\xA0");
    EXPECT_THROW(line.Set("\x1B$B\x24", jisReader), KanjiReader::cant_convert);
    EXPECT_EQ(line.GetInternal(), "\x30\x42");
}

} // namespace
