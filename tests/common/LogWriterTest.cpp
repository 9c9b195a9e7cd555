// The log file's exact bytes, the threshold, the process-wide writer and byte dumps.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileBytes.h"
#include "common/LogWriterFile.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

std::string FileText(const std::string& path) {
    return ReadFileBytes(FromUtf8(path)).value_or(std::string());
}

} // namespace

TEST(LogWriterFile, FormatsTheRecordExactly) {
    DateTime time(2008, 3, 1, 7, 4, 2);
    EXPECT_EQ(LogWriterFile::FormatRecord(time, 100, 200, L"A", 5, L"x"),
              L"20080301070402[100][200]A(5) x\r\n");
    EXPECT_EQ(LogWriterFile::FormatRecord(DateTime(2026, 12, 31, 23, 59, 59), 1, 2, L".\\MainFrm", -3, L""),
              L"20261231235959[1][2].\\MainFrm(-3) \r\n");

    // the whole record fits 1023 characters; the message is cut and the line end kept
    std::wstring longMessage(5000, L'm');
    std::wstring record = LogWriterFile::FormatRecord(time, 100, 200, L"A", 5, longMessage);
    EXPECT_EQ(record.size(), 1023u);
    EXPECT_EQ(record.substr(0, 31), L"20080301070402[100][200]A(5) mm");
    EXPECT_EQ(record.substr(1021), L"\r\n");
}

TEST(LogWriterFile, AppendsUtf16LERecordsWithoutByteOrderMark) {
    TemporaryDirectory directory;
    std::string path = directory.Path() + "/Kivaro.log";
    DateTime before;
    before.SetNow();
    LogWriterFile writer(FromUtf8(path));
    EXPECT_EQ(writer.level, 2);
    writer.level = 1;

    writer.Write(L".\\MainFrm", 52, L"----------- start -----------", 2);
    EXPECT_FALSE(ReadFileBytes(FromUtf8(path)).has_value()) << "a dropped record must not create the file";

    writer.Write(L".\\MainFrm", 52, L"CreateDevice に失敗[0x8876086c]", 1);
    writer.Write(L"B", 7, L"zero", 0);
    std::string bytes = FileText(path);
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(bytes.size() % 2, 0u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE", 2));

    // one CR LF per record, nothing else between them
    std::wstring text = FromUtf16LE(bytes);
    std::wregex record(L"(\\d{14})\\[(\\d+)\\]\\[(\\d+)\\]([^\\r\\n(]*)\\((-?\\d+)\\) ([^\\r\\n]*)\\r\\n");
    std::vector<std::wstring> messages;
    std::wstring sources;
    for (auto it = std::wsregex_iterator(text.begin(), text.end(), record); it != std::wsregex_iterator();
         ++it) {
        EXPECT_EQ(std::stol((*it)[2].str()), static_cast<long>(getpid()));
        EXPECT_EQ(std::stol((*it)[3].str()), static_cast<long>(gettid()));
        sources += (*it)[4].str() + L"(" + (*it)[5].str() + L");";
        messages.push_back((*it)[6].str());
    }
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"CreateDevice に失敗[0x8876086c]", L"zero"}));
    EXPECT_EQ(sources, L".\\MainFrm(52);B(7);");
    EXPECT_EQ(std::regex_replace(text, record, L""), L"");

    // the Japanese characters are single little-endian code units: 失 is U+5931
    EXPECT_NE(bytes.find(std::string("\x31\x59", 2)), std::string::npos);

    // the date is the local date of the writing (taken on both sides of it, for midnight)
    DateTime after;
    after.SetNow();
    auto digits = [](const DateTime& date) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%04d%02d%02d", date.year, date.month, date.day);
        return std::wstring(text);
    };
    EXPECT_TRUE(text.substr(0, 8) == digits(before) || text.substr(0, 8) == digits(after))
        << text.substr(0, 8);
}

TEST(LogWriterFile, ThresholdDecidesWhatIsWritten) {
    TemporaryDirectory directory;
    std::string path = directory.Path() + "/levels.log";
    LogWriterFile writer(FromUtf8(path));
    writer.level = 0;
    writer.Write(L"A", 1, L"level zero", 0);
    writer.Write(L"A", 1, L"level one", 1);
    writer.level = 3;
    writer.Write(L"A", 1, L"level three", 3);
    writer.Write(L"A", 1, L"level four", 4);
    std::wstring text = FromUtf16LE(FileText(path));
    EXPECT_NE(text.find(L"level zero"), std::wstring::npos);
    EXPECT_EQ(text.find(L"level one"), std::wstring::npos);
    EXPECT_NE(text.find(L"level three"), std::wstring::npos);
    EXPECT_EQ(text.find(L"level four"), std::wstring::npos);
}

TEST(LogWriterFile, NamelessWriterThrowsOnlyForRecordsItWouldWrite) {
    ScopedEnvironment environment;
    environment.Language("C");
    LogWriterFile writer(L"");
    writer.level = 1;
    EXPECT_NO_THROW(writer.Write(L"A", 1, L"dropped", 2));
    try {
        writer.Write(L"A", 1, L"kept", 1);
        FAIL() << "no exception";
    } catch (const myexception& error) {
        EXPECT_NE(dynamic_cast<const file_error*>(&error), nullptr);
        EXPECT_STREQ(error.what(), L"Log file error.");
    }
    environment.Language("ja_JP.UTF-8");
    try {
        writer.Write(L"A", 1, L"kept", 1);
        FAIL() << "no exception";
    } catch (const file_error& error) {
        EXPECT_EQ(error.message(), L"ログファイルが指定されていません。");
    }
}

TEST(LogWriterFile, UnwritableFileLosesTheRecordSilently) {
    TemporaryDirectory directory;
    // a directory cannot be opened for appending
    LogWriterFile writer(FromUtf8(directory.Path()));
    EXPECT_NO_THROW(writer.Write(L"A", 1, L"lost", 1));
    LogWriterFile missingFolder(FromUtf8(directory.Path()) + L"\\no\\such\\folder.log");
    EXPECT_NO_THROW(missingFolder.Write(L"A", 1, L"lost", 1));
}

TEST(LogWriterFile, BackslashPathsReachTheFileSystemWithSlashes) {
    TemporaryDirectory directory;
    mkdir((directory.Path() + "/logs").c_str(), 0755);
    std::wstring programPath = FromUtf8(directory.Path()) + L"\\logs\\Kivaro.log";
    LogWriterFile writer(programPath);
    writer.Write(L"A", 1, L"here", 1);
    EXPECT_NE(FromUtf16LE(FileText(directory.Path() + "/logs/Kivaro.log")).find(L"here"), std::wstring::npos);
}

TEST(ProcessLogWriter, LogsThroughTheInstalledWriterOnly) {
    LogWriter* const installed = GetLogWriter();
    SetLogWriter(nullptr);
    EXPECT_NO_THROW(Log(L"A", 1, L"nobody listens", 1));
    SetLogWriter(installed);
    {
        ScopedLogCapture capture(4, true);
        Log(L".\\Dev", 12, L"started", 2);
        LogFailure(L".\\Dev", 13, L"CreateDevice", 0x8876086Cu);
        LogFailure(L".\\Dev", 14, L"Open", 0);
        auto records = capture.Writer().Records();
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].message, L"started");
        EXPECT_EQ(records[0].level, 2);
        EXPECT_EQ(records[1].message, L"CreateDevice に失敗[0x8876086c]");
        EXPECT_EQ(records[1].level, 1);
        EXPECT_EQ(records[1].sourceFile, L".\\Dev");
        EXPECT_EQ(records[1].line, 13);
        EXPECT_EQ(records[2].message, L"Open に失敗[0x0]");
    }
    EXPECT_EQ(GetLogWriter(), installed);
}

TEST(DumpBytes, WritesSixteenGroupsPerRecord) {
    RecordingLogWriter writer;
    writer.level = 4;
    std::vector<std::uint8_t> bytes(17);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 15 + 10);
    }
    DumpBytes(bytes.data(), bytes.data() + bytes.size(), writer, L"N", 9, 4);
    auto records = writer.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, L"0a 19 28 37 46 55 64 73 82 91 a0 af be cd dc eb ");
    EXPECT_EQ(records[1].message, L"fa ");
    EXPECT_EQ(records[1].sourceFile, L"N");
    EXPECT_EQ(records[1].line, 9);
    EXPECT_EQ(records[1].level, 4);

    writer.Clear();
    DumpBytes(bytes.data(), bytes.data() + 16, writer, L"N", 9, 4);
    EXPECT_EQ(writer.Records().size(), 1u);

    writer.Clear();
    DumpBytes(bytes.data(), bytes.data(), writer, L"N", 9, 4);
    EXPECT_TRUE(writer.Records().empty());

    writer.level = 3;
    DumpBytes(bytes.data(), bytes.data() + bytes.size(), writer, L"N", 9, 4);
    EXPECT_TRUE(writer.Records().empty());
}
