#pragma once
// Loads an XML file completely into a tree of XMLElement; the document itself is
// released before the tree is handed back.

#include <memory>
#include <string>

#include "common/myexception.h"
#include "text/XMLElement.h"

class XMLParser {
public:
    virtual ~XMLParser() = default;
    /// The root element of the file at path (the program's form, "\" between names).
    /// Throws file_error (missing file, malformed document) or memory_error.
    virtual std::unique_ptr<XMLElement> load(const std::wstring& path) = 0;
};
