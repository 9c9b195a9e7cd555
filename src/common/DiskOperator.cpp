#include "common/DiskOperator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <utility>

#include "common/FilePath.h"
#include "common/WideText.h"

namespace {

struct Entry {
    bool exists = false;
    bool isDirectory = false;
    dev_t device = 0;
    ino_t inode = 0;
    DateTime creationTime;
    DateTime lastAccessTime;
    DateTime lastWriteTime;
};

DateTime UtcTime(std::int64_t seconds) {
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    DateTime result;
    if (gmtime_r(&time, &utc) != nullptr) {
        result =
            DateTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    }
    return result;
}

// links are followed, as the system's own listing would
Entry LookUp(const std::wstring& path) {
    Entry entry;
    struct statx status {};
    if (path.empty() ||
        statx(AT_FDCWD, ToNativePath(path).c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
        return entry;
    }
    entry.exists = true;
    entry.isDirectory = S_ISDIR(status.stx_mode);
    entry.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    entry.inode = status.stx_ino;
    // file systems without a birth time give the last change instead
    bool hasBirth = (status.stx_mask & STATX_BTIME) != 0;
    entry.creationTime = UtcTime(hasBirth ? status.stx_btime.tv_sec : status.stx_ctime.tv_sec);
    entry.lastAccessTime = UtcTime(status.stx_atime.tv_sec);
    entry.lastWriteTime = UtcTime(status.stx_mtime.tv_sec);
    return entry;
}

bool HasWildcard(const std::wstring& path) {
    return path.find_first_of(L"*?") != std::wstring::npos;
}

wchar_t FoldAscii(wchar_t character) {
    return character >= L'A' && character <= L'Z' ? static_cast<wchar_t>(character - L'A' + L'a') : character;
}

// iterative wildcard match with a single back-track point for the last "*"
bool Wildcard(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starPattern = std::wstring_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starPattern = p++;
            starName = n;
        } else if (starPattern != std::wstring_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

using DirectorySet = std::set<std::pair<dev_t, ino_t>>;

void ListEntry(const std::wstring& path, const std::wstring& pattern, DiskDirectory& container,
               DirectorySet& ancestors) {
    Entry entry = LookUp(path);
    if (!entry.exists) {
        return;
    }
    if (!entry.isDirectory) {
        auto file = std::make_unique<DiskFile>(path);
        file->creationTime = entry.creationTime;
        file->lastAccessTime = entry.lastAccessTime;
        file->lastWriteTime = entry.lastWriteTime;
        container.children.push_back(std::move(file));
        return;
    }
    auto directory = std::make_unique<DiskDirectory>(path);
    directory->creationTime = entry.creationTime;
    directory->lastAccessTime = entry.lastAccessTime;
    directory->lastWriteTime = entry.lastWriteTime;
    DiskDirectory& added = *directory;
    container.children.push_back(std::move(directory));

    // a directory already being listed further up (a link cycle) is entered only once
    auto key = std::make_pair(entry.device, entry.inode);
    if (!ancestors.insert(key).second) {
        return;
    }

    std::wstring prefix = path.empty() || path.back() == L'\\' ? path : path + L'\\';
    std::vector<std::wstring> names;
    if (DIR* stream = opendir(ToNativePath(path).c_str())) {
        while (dirent* found = readdir(stream)) {
            std::wstring name = FromUtf8(found->d_name);
            if (name != L"." && name != L".." && DiskOperator::MatchesPattern(pattern, name)) {
                names.push_back(std::move(name));
            }
        }
        closedir(stream);
    }
    // the system returns names in no settled order; the listing is kept by name
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        ListEntry(prefix + name, pattern, added, ancestors);
    }
    ancestors.erase(key);
}

} // namespace

bool DiskOperator::IsDirectory(const std::wstring& path) const {
    if (HasWildcard(path)) {
        return false;
    }
    std::wstring trimmed = path;
    if (trimmed.size() > 1 && trimmed.back() == L'\\') {
        trimmed.pop_back();
    }
    Entry entry = LookUp(trimmed);
    return entry.exists && entry.isDirectory;
}

bool DiskOperator::IsFile(const std::wstring& path) const {
    if (HasWildcard(path)) {
        return false;
    }
    Entry entry = LookUp(path);
    return entry.exists && !entry.isDirectory;
}

void DiskOperator::List(const std::wstring& path, const std::wstring& pattern,
                        DiskDirectory& container) const {
    DirectorySet ancestors;
    ListEntry(path, pattern, container, ancestors);
}

std::wstring DiskOperator::LastErrorText() const {
    int error = errno;
    char buffer[256];
    // the GNU strerror_r may return its own constant text instead of filling the buffer
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return FromUtf8(text);
}

bool DiskOperator::MatchesPattern(const std::wstring& pattern, const std::wstring& name) {
    if (Wildcard(pattern, name)) {
        return true;
    }
    // as on the original system, a pattern ending in ".*" also takes names without a dot
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, L".*") == 0) {
        return Wildcard(std::wstring_view(pattern).substr(0, pattern.size() - 2), name);
    }
    return false;
}
