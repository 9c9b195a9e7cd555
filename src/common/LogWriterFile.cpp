#include "common/LogWriterFile.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "common/FilePath.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"

namespace {

// the formatting buffer of a record holds 1024 characters with its terminator
constexpr std::size_t kRecordCapacity = 1023;

} // namespace

LogWriterFile::LogWriterFile(std::wstring fileName) : fileName_(std::move(fileName)) {
    level = 2;
}

std::wstring LogWriterFile::FormatRecord(const DateTime& time, long processId, long threadId,
                                         const std::wstring& sourceFile, int line,
                                         const std::wstring& message) {
    wchar_t head[96];
    std::swprintf(head, sizeof head / sizeof head[0], L"%04d%02d%02d%02d%02d%02d[%ld][%ld]", time.year,
                  time.month, time.day, time.hour, time.minute, time.second, processId, threadId);
    wchar_t lineText[24];
    std::swprintf(lineText, sizeof lineText / sizeof lineText[0], L"(%d) ", line);
    std::wstring record = std::wstring(head) + sourceFile + lineText;

    // an over-long record keeps its head and its line end; the message is cut to fit
    std::size_t room = record.size() + 2 < kRecordCapacity ? kRecordCapacity - record.size() - 2 : 0;
    record += message.substr(0, room);
    record += L"\r\n";
    if (record.size() > kRecordCapacity) {
        record = record.substr(0, kRecordCapacity - 2) + L"\r\n";
    }
    return record;
}

void LogWriterFile::Write(const std::wstring& sourceFile, int line, const std::wstring& message, int level) {
    if (this->level < level) {
        return;
    }
    if (fileName_.empty()) {
        throw file_error(CommonMessage(103));
    }
    DateTime now;
    now.SetNow();
    std::string bytes = ToUtf16LE(FormatRecord(now, static_cast<long>(getpid()), static_cast<long>(gettid()),
                                               sourceFile, line, message));

    // one open, one append and one close per record, so the file is complete up to the
    // last record even when the process dies; failures lose the record silently
    int file = open(ToNativePath(fileName_).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        return;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t result = ::write(file, bytes.data() + written, bytes.size() - written);
        if (result <= 0) {
            break;
        }
        written += static_cast<std::size_t>(result);
    }
    close(file);
}
