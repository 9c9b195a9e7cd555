#pragma once
// Paths are kept as the program's own text, with "\" between names; the file system is
// asked with UTF-8 and "/". ToNativePath is the one place where the two meet.

#include <string>
#include <utility>

/// The file-system form of a path: UTF-8 with every "\" turned into "/".
std::string ToNativePath(const std::wstring& path);
/// The program's form of a file-system path: wide text with every "/" turned into "\".
std::wstring FromNativePath(const std::string& nativePath);

/// A path as text, for taking it apart.
class FilePath {
public:
    explicit FilePath(std::wstring path) : path_(std::move(path)) {}

    /// The text after the last "." of the whole path (directories included), or empty.
    std::wstring GetExtension() const;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};
