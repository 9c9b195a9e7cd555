#pragma once
// Where the definition files of the item folder come from: the disk, as the program reads
// them. A source that holds the files in memory lets a caller that reads the same files
// many times (the fuzz target of the loader) skip the file system.

#include <memory>
#include <string>
#include <vector>

class XMLElement;

class DefinitionSource {
public:
    DefinitionSource() = default;
    virtual ~DefinitionSource() = default;
    DefinitionSource(const DefinitionSource&) = delete;
    DefinitionSource& operator=(const DefinitionSource&) = delete;

    /// Every file under the folder, depth first in listing order (sorted by name in each
    /// folder); nothing when the folder does not exist.
    virtual std::vector<std::wstring> Files(const std::wstring& folder) const;
    /// The root element of the definition file at path; throws file_error or memory_error.
    /// The tree is only read: a source that holds the files may hand out one tree many times.
    virtual std::shared_ptr<const XMLElement> Read(const std::wstring& path) const;
};
