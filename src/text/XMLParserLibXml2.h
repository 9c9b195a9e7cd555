#pragma once
// The XML parser of the program, built on libxml2. Holds no state between calls; any
// number of threads may load at the same time, each with its own parser.
//
// Documents are read without network access, without loading external entities or
// DTDs, with libxml2's limits on entity expansion, element depth and text length, from a
// file of at most kMaxFileSize bytes, and stopped as soon as it holds more than kMaxNodes
// nodes or kMaxTreeText bytes of text; a document that needs more fails to load.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "text/XMLParser.h"

class XMLParserLibXml2 : public XMLParser {
public:
    /// Larger files are refused before they are read.
    static constexpr std::size_t kMaxFileSize = 64u << 20;
    /// Bound on the nodes (elements, attributes, text, comments) one document may hold,
    /// checked while it is parsed. The largest bundled toy holds under 2 000; each node costs
    /// a few hundred bytes in libxml2's tree and in ours, so the bound keeps a load under 100 MB.
    static constexpr std::size_t kMaxNodes = 100000;
    /// Bound on the text and attribute values (UTF-8 bytes) a document may hold, checked while
    /// it is parsed and again, summed over the walk, while the tree is built.
    static constexpr std::size_t kMaxTreeText = 16u << 20;

    std::unique_ptr<XMLElement> load(const std::wstring& path) override;
    /// Parses bytes held in memory as load parses the file at path, with the same bounds and
    /// the same failures (path names the document in them); nothing is read from the disk.
    std::unique_ptr<XMLElement> loadBytes(const std::wstring& path, std::string_view bytes);
};
