#pragma once
// The file system as the program sees it: paths with "\" between names, asked of the
// system through ToNativePath. Built on POSIX stat/statx and opendir.

#include <string>

#include "common/DiskItem.h"

class DiskOperator {
public:
    virtual ~DiskOperator() = default;

    /// False for paths with "*" or "?"; a single trailing "\" is ignored.
    virtual bool IsDirectory(const std::wstring& path) const;
    /// False for paths with "*" or "?"; true when the path exists and is no directory.
    virtual bool IsFile(const std::wstring& path) const;
    /// Appends an entry for `path` to the container (nothing when it does not exist) and,
    /// for a directory, its entries matching `pattern` recursively, sorted by name. The
    /// pattern ("*", "?", compared without regard to ASCII case; "*.*" takes every name)
    /// applies in every directory, so it filters subdirectories too. Directories reached
    /// again through links are not entered twice.
    virtual void List(const std::wstring& path, const std::wstring& pattern, DiskDirectory& container) const;
    /// The system's text for the calling thread's last error.
    virtual std::wstring LastErrorText() const;

    /// True when the name matches the pattern as List matches it.
    static bool MatchesPattern(const std::wstring& pattern, const std::wstring& name);
};
