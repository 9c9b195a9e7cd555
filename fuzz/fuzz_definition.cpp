// The definition loader as the program drives it: the input is a field definition file and
// the item definition files it uses, separated by lines "%%". They form the item folder,
// held in memory (the files are parsed as the disk's would be, with their bounds, but no
// file is written or read), the folder is updated as the toolbox updates it, and every field
// whose header reads is then loaded as Add loads it. Every fault must be a myexception.
//
// Most inputs differ from the one before in one file: a file whose bytes were parsed before
// is not parsed again, its tree (shared, as the parser only reads it) or its failure is taken
// from then. The files are views of the input, copied only when their bytes are new.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/myexception.h"
#include "definition/DefinitionSource.h"
#include "definition/FieldCatalog.h"
#include "physics/FieldItem.h"
#include "text/XMLElement.h"
#include "text/XMLParserLibXml2.h"

namespace {

// more item files than any bundled toy uses
constexpr std::size_t kMaxFiles = 16;

/// What the bytes of a file parsed to: the tree, or the text of the failure.
struct Parsed {
    std::shared_ptr<const XMLElement> root;
    std::wstring failure;
    bool done = false;
};

/// Hashes the bytes of a file, held or viewed, so that a view is looked up without a copy.
struct BytesHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>()(bytes); }
};

/// Files parsed before, one table for each place in the input (the place gives the path, and
/// the path is part of a failure's text) by bytes; forgotten all at once when full, between
/// two inputs, so that a long run holds no more than this many.
constexpr std::size_t kMaxParsed = 4096;
std::array<std::unordered_map<std::string, Parsed, BytesHash, std::equal_to<>>, kMaxFiles> gParsed;
std::size_t gParsedCount = 0;

/// The path of the file at each place in the input.
const std::array<std::wstring, kMaxFiles>& Paths() {
    static const std::array<std::wstring, kMaxFiles> paths = [] {
        std::array<std::wstring, kMaxFiles> made;
        made[0] = L"items\\field.wtf";
        for (std::size_t index = 1; index < kMaxFiles; ++index) {
            made[index] = L"items\\item" + std::to_wstring(index) + L".wti";
        }
        return made;
    }();
    return paths;
}

/// The item folder of one input, in memory; the input outlives it.
class MemorySource : public DefinitionSource {
public:
    explicit MemorySource(const std::vector<std::string_view>& files) {
        if (gParsedCount + files.size() > kMaxParsed) {
            for (auto& table : gParsed) {
                table.clear();
            }
            gParsedCount = 0;
        }
        files_.reserve(files.size());
        for (std::size_t index = 0; index < files.size(); ++index) {
            auto& table = gParsed[index];
            auto found = table.find(files[index]);
            if (found == table.end()) {
                found = table.emplace(std::string(files[index]), Parsed()).first;
                ++gParsedCount;
            }
            files_.push_back(File{files[index], &found->second});
        }
    }

    std::vector<std::wstring> Files(const std::wstring&) const override {
        // sorted by name, as a listing of the disk is
        std::vector<std::wstring> paths(Paths().begin(), Paths().begin() + files_.size());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    std::shared_ptr<const XMLElement> Read(const std::wstring& path) const override {
        const auto place = std::find(Paths().begin(), Paths().begin() + files_.size(), path);
        if (place == Paths().begin() + files_.size()) {
            // a file the folder does not hold fails as a missing one does
            return DefinitionSource::Read(path);
        }
        const File& file = files_[static_cast<std::size_t>(place - Paths().begin())];
        Parsed& parsed = *file.parsed;
        if (!parsed.done) {
            parsed.done = true;
            try {
                XMLParserLibXml2 parser;
                parsed.root = parser.loadBytes(path, file.bytes);
            } catch (const file_error& error) {
                parsed.failure = error.what();
            }
        }
        if (parsed.root == nullptr) {
            throw file_error(parsed.failure);
        }
        return parsed.root;
    }

private:
    struct File {
        std::string_view bytes;
        Parsed* parsed;
    };

    std::vector<File> files_;
};

/// Splits the input at lines "%%" into at most kMaxFiles files.
std::vector<std::string_view> Split(std::string_view input) {
    std::vector<std::string_view> files;
    std::size_t start = 0;
    while (files.size() + 1 < kMaxFiles) {
        const std::size_t separator = input.find("\n%%\n", start);
        if (separator == std::string_view::npos) {
            break;
        }
        files.push_back(input.substr(start, separator - start));
        start = separator + 4;
    }
    files.push_back(input.substr(start));
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto source =
        std::make_shared<MemorySource>(Split(std::string_view(reinterpret_cast<const char*>(data), size)));

    // the update, then each field as Add loads it
    FieldCatalog catalog(source);
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
