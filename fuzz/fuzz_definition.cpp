// The definition loader as the program drives it: the input is a field definition file and
// the item definition files it uses, separated by lines "%%". They form the item folder,
// held in memory (the files are parsed as the disk's would be, with their bounds, but no
// file is written or read), the folder is updated as the toolbox updates it, and every field
// whose header reads is then loaded as Add loads it. Every fault must be a myexception.
//
// Most inputs differ from the one before in one file: a file whose bytes were parsed before
// is not parsed again, its tree (shared, as the parser only reads it) or its failure is taken
// from then.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
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

/// Files parsed before, by path and bytes (the path is part of a failure's text, and of the
/// key in front of the bytes); forgotten all at once when full, between two inputs, so that a
/// long run holds no more than this many.
constexpr std::size_t kMaxParsed = 4096;
std::unordered_map<std::string, Parsed> gParsed;

/// The item folder of one input, in memory.
class MemorySource : public DefinitionSource {
public:
    explicit MemorySource(std::vector<std::string> files) {
        if (gParsed.size() + files.size() > kMaxParsed) {
            gParsed.clear();
        }
        for (std::size_t index = 0; index < files.size(); ++index) {
            const std::wstring path = FileName(index);
            std::string key(reinterpret_cast<const char*>(path.data()), path.size() * sizeof(wchar_t));
            key.push_back('\0');
            key.append(files[index]);
            Parsed& parsed = gParsed[std::move(key)];
            files_.emplace(path, File{std::move(files[index]), &parsed});
        }
    }

    std::vector<std::wstring> Files(const std::wstring&) const override {
        // sorted by name, as a listing of the disk is
        std::vector<std::wstring> paths;
        for (const auto& [path, file] : files_) {
            paths.push_back(path);
        }
        return paths;
    }

    std::shared_ptr<const XMLElement> Read(const std::wstring& path) const override {
        const auto found = files_.find(path);
        if (found == files_.end()) {
            // a file the folder does not hold fails as a missing one does
            return DefinitionSource::Read(path);
        }
        Parsed& parsed = *found->second.parsed;
        if (!parsed.done) {
            parsed.done = true;
            try {
                XMLParserLibXml2 parser;
                parsed.root = parser.loadBytes(path, found->second.bytes);
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
        std::string bytes;
        Parsed* parsed;
    };

    static std::wstring FileName(std::size_t index) {
        return index == 0 ? std::wstring(L"items\\field.wtf")
                          : L"items\\item" + std::to_wstring(index) + L".wti";
    }

    std::map<std::wstring, File> files_;
};

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto source =
        std::make_shared<MemorySource>(Split(std::string(reinterpret_cast<const char*>(data), size)));

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
