#include "definition/FieldItemAttribute.h"

#include <cwctype>

#include "common/Messages.h"
#include "common/myexception.h"

namespace {

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == L'\0';
}

} // namespace

FieldItemAttribute FieldItemAttribute::Create(const std::wstring& name, const std::wstring& typeText) {
    if (EqualsIgnoringCase(typeText, L"float")) {
        return FieldItemAttribute(name, kFloat);
    }
    if (EqualsIgnoringCase(typeText, L"string")) {
        return FieldItemAttribute(name, kString);
    }
    if (EqualsIgnoringCase(typeText, L"vector")) {
        return FieldItemAttribute(name, kVector);
    }
    throw file_error(L"[" + typeText + L"]\r\n" + ProgramMessage(131));
}
