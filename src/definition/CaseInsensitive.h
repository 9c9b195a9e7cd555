#pragma once
// Element names, attribute types and flags of definition files compare without regard to
// case ("FieldItem", "fielditem"; "Float", "float"; "TRUE", "true").

#include <cwctype>
#include <string_view>

/// Whether the two texts are equal, each character compared in lower case.
inline bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return true;
}
