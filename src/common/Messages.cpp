// Built on the message library (common messages) and the compiled-in program table.

#include "common/Messages.h"

#include "common/MessageTable.h"
#include "common/ProgramMessages.h"
#include "resource/CommonMessage.h"

namespace {

// callers of the lookups always hand them a buffer of this many characters
constexpr int kMessageCapacity = 1024;

} // namespace

std::wstring CommonMessage(int id) {
    wchar_t buffer[kMessageCapacity];
    return GetCommonMessageW(id, buffer, kMessageCapacity);
}

std::wstring ProgramMessage(int id) {
    wchar_t buffer[kMessageCapacity];
    return ProgramMessageTable().CopyWide(id, IsJapaneseLocale(), buffer, kMessageCapacity);
}

bool IsJapaneseLocale() {
    return EnvironmentLocaleIsJapanese();
}
