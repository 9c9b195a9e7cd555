#include "definition/DefinitionSource.h"

#include "common/DiskItem.h"
#include "common/DiskOperator.h"
#include "text/XMLParserLibXml2.h"

namespace {

void CollectFiles(const DiskItem& item, std::vector<std::wstring>& files) {
    if (item.isFile) {
        files.push_back(item.path);
        return;
    }
    for (const auto& child : static_cast<const DiskDirectory&>(item).children) {
        CollectFiles(*child, files);
    }
}

} // namespace

std::vector<std::wstring> DefinitionSource::Files(const std::wstring& folder) const {
    DiskOperator disk;
    std::vector<std::wstring> files;
    if (disk.IsDirectory(folder)) {
        DiskDirectory listing(folder);
        disk.List(folder, L"*.*", listing);
        for (const auto& child : listing.children) {
            CollectFiles(*child, files);
        }
    }
    return files;
}

std::shared_ptr<const XMLElement> DefinitionSource::Read(const std::wstring& path) const {
    XMLParserLibXml2 parser;
    return parser.load(path);
}
