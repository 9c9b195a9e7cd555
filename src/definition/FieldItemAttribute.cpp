#include "definition/FieldItemAttribute.h"

#include "common/Messages.h"
#include "common/myexception.h"
#include "definition/CaseInsensitive.h"

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
