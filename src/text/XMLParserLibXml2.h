#pragma once
// The XML parser of the program, built on libxml2. Holds no state between calls; any
// number of threads may load at the same time, each with its own parser.
//
// Documents are read without network access, without loading external entities or
// DTDs, with libxml2's limits on entity expansion and element depth, and from a file of
// at most kMaxFileSize bytes; a document that needs more fails to load.

#include <cstddef>
#include <memory>
#include <string>

#include "text/XMLParser.h"

class XMLParserLibXml2 : public XMLParser {
public:
    /// Larger files are refused before they are read.
    static constexpr std::size_t kMaxFileSize = 64u << 20;
    /// Bound on the text and attribute values (UTF-8 bytes, summed over the walk) a tree may hold.
    static constexpr std::size_t kMaxTreeText = 16u << 20;

    std::unique_ptr<XMLElement> load(const std::wstring& path) override;
};
