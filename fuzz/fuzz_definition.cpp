// The definition loader as the program drives it: the input is a field definition file and
// the item definition files it uses, separated by lines "%%". They are written into a scratch
// item folder (in memory where the system offers one; a file is rewritten only when its bytes
// changed), the folder is updated as the toolbox updates it, and every field whose header
// reads is then loaded as Add loads it. Every fault must be a myexception.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/FileBytes.h"
#include "common/FilePath.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "definition/FieldCatalog.h"
#include "physics/FieldItem.h"

namespace {

// more item files than any bundled toy uses
constexpr std::size_t kMaxFiles = 16;

/// The bytes each scratch file holds now (nothing for a file that is absent).
std::vector<std::optional<std::string>> gWritten(kMaxFiles);

std::wstring FileName(std::size_t index) {
    return index == 0 ? std::wstring(L"items\\field.wtf") : L"items\\item" + std::to_wstring(index) + L".wti";
}

void PrepareFolder() {
    const char* shared = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(shared) + "/kivaro_fuzz_definition_XXXXXX";
    if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
        std::abort();
    }
    std::filesystem::create_directory("items");
}

/// Splits the input at lines "%%" into at most kMaxFiles files.
std::vector<std::string> Split(const std::string& input) {
    std::vector<std::string> files;
    std::size_t start = 0;
    while (files.size() + 1 < kMaxFiles) {
        const std::size_t separator = input.find("\n%%\n", start);
        if (separator == std::string::npos) {
            break;
        }
        files.push_back(input.substr(start, separator - start));
        start = separator + 4;
    }
    files.push_back(input.substr(start));
    return files;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> files = Split(std::string(reinterpret_cast<const char*>(data), size));

    // the scratch folder holds exactly this input's files
    for (std::size_t index = 0; index < kMaxFiles; ++index) {
        if (index < files.size()) {
            if (gWritten[index] != files[index] && !WriteFileBytes(FileName(index), files[index])) {
                std::abort();
            }
            gWritten[index] = files[index];
        } else if (gWritten[index]) {
            std::filesystem::remove(ToNativePath(FileName(index)));
            gWritten[index].reset();
        }
    }

    // the update, then each field as Add loads it
    FieldCatalog catalog;
    catalog.UpdateReportingAll();
    for (const DefinitionSummary& summary : catalog.Summaries()) {
        DefinitionParser::ItemMap items;
        DefinitionSummary again;
        try {
            catalog.Parser().LoadField(summary.path, items, again, false);
        } catch (const myexception&) {
        }
    }
    return 0;
}
