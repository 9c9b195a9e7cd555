#pragma once
// Process-wide log: time-stamped UTF-16LE records, one line each, dropped when
// their level is above the writer's threshold.

#include <cstdint>
#include <string>

/// Levels: 1 error, 2 progress, 3 detail, 4 dumps.
class LogWriter {
public:
    virtual ~LogWriter() = default;
    virtual void Write(const std::wstring& sourceFile, int line, const std::wstring& message, int level) = 0;

    /// Threshold: records whose level is above it are dropped. Callers set it directly.
    int level = 2;
};

/// The process-wide writer; null before the main window creates it and after it is destroyed.
LogWriter* GetLogWriter();
/// Installs (or, with null, removes) the process-wide writer; does not take ownership.
void SetLogWriter(LogWriter* writer);

/// Writes through the process-wide writer when one exists; otherwise does nothing.
void Log(const std::wstring& sourceFile, int line, const std::wstring& message, int level);

/// Logs a failed platform call at level 1: call name, " に失敗[0x", code in lower-case hex, "]".
void LogFailure(const std::wstring& sourceFile, int line, const std::wstring& callName, std::uint32_t code);

/// Writes a byte range as lines of "%02x " groups, 16 bytes a line.
void DumpBytes(const std::uint8_t* begin, const std::uint8_t* end, LogWriter& writer,
               const std::wstring& sourceFile, int line, int level);
