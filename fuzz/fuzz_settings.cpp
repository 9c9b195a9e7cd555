// The settings reader and store: the input is a settings file. Whatever it holds, the store
// loads it or refuses it with an exec_error; a loaded store saved and loaded again holds
// exactly what it held, a value the program writes included.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/ApplicationConfigIni.h"
#include "common/FileBytes.h"
#include "common/IniFile.h"
#include "common/WideText.h"
#include "common/myexception.h"

namespace {

std::string gFolder;

void RemoveFolder() {
    std::error_code error;
    std::filesystem::remove_all(gFolder, error);
}

/// A scratch folder in memory when the system offers one, made once and removed at the end.
const std::wstring& BaseName() {
    static const std::wstring base = [] {
        const char* shared = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        gFolder = std::string(shared) + "/kivaro_fuzz_settings_XXXXXX";
        if (mkdtemp(gFolder.data()) == nullptr) {
            std::abort();
        }
        std::atexit(RemoveFolder);
        return FromUtf8(gFolder) + L"\\Kivaro_u";
    }();
    return base;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // the parsed form reads back unchanged from what it writes
    IniFile parsed;
    try {
        parsed.Parse(bytes);
    } catch (const myexception&) {
        return 0;
    }
    IniFile again;
    again.Parse(parsed.Serialize());
    if (!(again.AllSections() == parsed.AllSections())) {
        std::abort();
    }

    // the store: load, set a value made of what the file held, save, load again
    const std::wstring& base = BaseName();
    if (!WriteFileBytes(base + L".ini", bytes)) {
        std::abort();
    }
    const IniLockWait noWait{std::chrono::milliseconds(0), 1};
    IniFile::Sections expected;
    try {
        ApplicationConfigIni store(base, true, noWait);
        std::wstring value;
        for (const auto& [section, keys] : store.File().AllSections()) {
            for (const auto& [key, text] : keys) {
                value += key + L"=" + text + L";";
            }
        }
        store.SetSection(L"Settings");
        store.SetString(L"Item0", value);
        expected = store.File().AllSections();
    } catch (const myexception&) {
        return 0;
    }
    ApplicationConfigIni reloaded(base, false, noWait);
    if (!(reloaded.File().AllSections() == expected)) {
        std::abort();
    }
    return 0;
}
