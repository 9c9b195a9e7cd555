// The process-wide writer is an atomic pointer: the user-interface thread installs and
// removes it while other threads may be logging.

#include "common/LogWriter.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<LogWriter*> processWriter{nullptr};

} // namespace

LogWriter* GetLogWriter() {
    return processWriter.load(std::memory_order_acquire);
}

void SetLogWriter(LogWriter* writer) {
    processWriter.store(writer, std::memory_order_release);
}

void Log(const std::wstring& sourceFile, int line, const std::wstring& message, int level) {
    if (LogWriter* writer = GetLogWriter()) {
        writer->Write(sourceFile, line, message, level);
    }
}

void LogFailure(const std::wstring& sourceFile, int line, const std::wstring& callName, std::uint32_t code) {
    wchar_t hex[16];
    std::swprintf(hex, sizeof hex / sizeof hex[0], L"%x", static_cast<unsigned>(code));
    Log(sourceFile, line, callName + L" に失敗[0x" + hex + L"]", 1);
}

void DumpBytes(const std::uint8_t* begin, const std::uint8_t* end, LogWriter& writer,
               const std::wstring& sourceFile, int line, int level) {
    if (writer.level < level) {
        return;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    int count = 0;
    for (const std::uint8_t* byte = begin; byte != end; ++byte) {
        text += kDigits[*byte >> 4];
        text += kDigits[*byte & 0xF];
        text += L' ';
        if (++count % 16 == 0) {
            writer.Write(sourceFile, line, text, level);
            text.clear();
        }
    }
    if (!text.empty()) {
        writer.Write(sourceFile, line, text, level);
    }
}
