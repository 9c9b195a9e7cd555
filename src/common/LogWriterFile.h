#pragma once
// The log writer of the program: appends each record as one UTF-16LE line to a file,
// opening and closing the file per record. Built on POSIX open/write/close.

#include <string>

#include "common/DateTime.h"
#include "common/LogWriter.h"

class LogWriterFile : public LogWriter {
public:
    /// The threshold starts at 2; callers change `level` directly.
    explicit LogWriterFile(std::wstring fileName);

    /// Appends one record when `level` is at most the threshold. Throws file_error when
    /// the writer has no file name; a file that cannot be written loses the record.
    void Write(const std::wstring& sourceFile, int line, const std::wstring& message, int level) override;

    const std::wstring& FileName() const { return fileName_; }

    /// The text of one record: date and time as fourteen digits, "[process][thread]",
    /// source file, "(line) ", message and CR LF; at most 1023 characters, the message
    /// being cut to fit.
    static std::wstring FormatRecord(const DateTime& time, long processId, long threadId,
                                     const std::wstring& sourceFile, int line, const std::wstring& message);

private:
    std::wstring fileName_;
};
