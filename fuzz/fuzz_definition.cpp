// The definition loader as the program drives it: the input is a field definition file and
// the item definition files it uses, separated by lines "%%". They form the item folder,
// held in memory (the files are parsed as the disk's would be, with their bounds, but no
// file is written or read), the folder is updated as the toolbox updates it, and every field
// whose header reads is then loaded as Add loads it. Every fault must be a myexception.
//
// Most inputs differ from the one before in one file: a file whose bytes were parsed before
// is not parsed again, its tree (or its failure) is taken from then.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
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

/// A copy of the tree, as a new parse of the same bytes would give it.
std::unique_ptr<XMLElement> Clone(const XMLElement& element) {
    auto copy = std::make_unique<XMLElement>();
    copy->SetName(element.GetName());
    for (const auto& [name, value] : element.GetAttributes()) {
        copy->SetAttribute(name, value);
    }
    copy->SetText(element.GetText());
    for (const auto& child : element.GetChildren()) {
        copy->AddChild(Clone(*child));
    }
    return copy;
}

/// What the bytes of a file parsed to: the tree, or the text of the failure.
struct Parsed {
    std::unique_ptr<XMLElement> root;
    std::wstring failure;
};

/// Files parsed before, by path and bytes (the path is part of a failure's text); forgotten
/// all at once when full, so that a long run holds no more than this many.
constexpr std::size_t kMaxParsed = 4096;
std::map<std::pair<std::wstring, std::string>, Parsed> gParsed;

/// The item folder of one input, in memory.
class MemorySource : public DefinitionSource {
public:
    explicit MemorySource(const std::vector<std::string>& files) {
        for (std::size_t index = 0; index < files.size(); ++index) {
            files_.emplace(FileName(index), files[index]);
        }
    }

    std::vector<std::wstring> Files(const std::wstring&) const override {
        // sorted by name, as a listing of the disk is
        std::vector<std::wstring> paths;
        for (const auto& [path, bytes] : files_) {
            paths.push_back(path);
        }
        return paths;
    }

    std::unique_ptr<XMLElement> Read(const std::wstring& path) const override {
        const auto found = files_.find(path);
        if (found == files_.end()) {
            // a file the folder does not hold fails as a missing one does
            return DefinitionSource::Read(path);
        }
        auto key = std::make_pair(path, found->second);
        auto known = gParsed.find(key);
        if (known == gParsed.end()) {
            if (gParsed.size() >= kMaxParsed) {
                gParsed.clear();
            }
            known = gParsed.emplace(std::move(key), Parsed()).first;
        }
        Parsed& parsed = known->second;
        if (parsed.root == nullptr && parsed.failure.empty()) {
            try {
                XMLParserLibXml2 parser;
                parsed.root = parser.loadBytes(path, found->second);
            } catch (const file_error& error) {
                parsed.failure = error.what();
            }
        }
        if (parsed.root == nullptr) {
            throw file_error(parsed.failure);
        }
        return Clone(*parsed.root);
    }

private:
    static std::wstring FileName(std::size_t index) {
        return index == 0 ? std::wstring(L"items\\field.wtf")
                          : L"items\\item" + std::to_wstring(index) + L".wti";
    }

    std::map<std::wstring, std::string> files_;
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
