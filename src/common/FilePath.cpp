// Built on the UTF-8 conversions of WideText.

#include "common/FilePath.h"

#include <algorithm>

#include "common/WideText.h"

std::string ToNativePath(const std::wstring& path) {
    std::wstring slashed = path;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    return ToUtf8(slashed);
}

std::wstring FromNativePath(const std::string& nativePath) {
    std::wstring path = FromUtf8(nativePath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring FilePath::GetExtension() const {
    std::size_t dot = path_.rfind(L'.');
    if (dot == std::wstring::npos) {
        return std::wstring();
    }
    return path_.substr(dot + 1);
}
