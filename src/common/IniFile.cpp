#include "common/IniFile.h"

#include <algorithm>

#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"

namespace {

// UTF-16 puts the characters above U+FFFF (surrogate pairs) between U+D7FF and U+E000
std::uint32_t Utf16SortKey(wchar_t character) {
    auto code = static_cast<std::uint32_t>(character);
    if (code >= 0xE000 && code <= 0xFFFF) {
        return code + 0x200000;
    }
    return code;
}

bool IsBlank(wchar_t character) {
    return character == L' ' || character == L'\t';
}

// a ";" outside double quotes starts a comment that runs to the end of the line
std::wstring WithoutComment(const std::wstring& line) {
    bool inQuotes = false;
    for (std::size_t index = 0; index < line.size(); ++index) {
        if (line[index] == L'"') {
            inQuotes = !inQuotes;
        } else if (line[index] == L';' && !inQuotes) {
            return line.substr(0, index);
        }
    }
    return line;
}

/// The position of the first "[" outside double quotes, or npos.
std::size_t SectionOpen(const std::wstring& line) {
    bool inQuotes = false;
    for (std::size_t index = 0; index < line.size(); ++index) {
        if (line[index] == L'"') {
            inQuotes = !inQuotes;
        } else if (line[index] == L'[' && !inQuotes) {
            return index;
        }
    }
    return std::wstring::npos;
}

/// The text of a quoted name or value whose opening quote is at position - 1; a doubled
/// quote inside stands for one quote. The text ends at the closing quote or, when none
/// follows, at the end of the line. position is left after the closing quote.
std::wstring ReadQuoted(const std::wstring& line, std::size_t& position) {
    std::wstring text;
    while (position < line.size()) {
        const wchar_t character = line[position++];
        if (character != L'"') {
            text += character;
        } else if (position < line.size() && line[position] == L'"') {
            text += L'"';
            ++position;
        } else {
            break;
        }
    }
    return text;
}

/// The name or value as written: in quotes (inner quotes doubled) when it holds what would
/// otherwise end it, open a comment or a section, or lose its leading blanks.
std::wstring Written(const std::wstring& text, const wchar_t* endings) {
    const bool plain =
        text.find_first_of(endings) == std::wstring::npos && (text.empty() || !IsBlank(text[0]));
    if (plain) {
        return text;
    }
    std::wstring quoted = L"\"";
    for (const wchar_t character : text) {
        quoted += character;
        if (character == L'"') {
            quoted += L'"';
        }
    }
    return quoted + L"\"";
}

} // namespace

bool Utf16Less::operator()(const std::wstring& left, const std::wstring& right) const {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(),
        [](wchar_t a, wchar_t b) { return Utf16SortKey(a) < Utf16SortKey(b); });
}

void IniFile::Parse(std::string_view bytes) {
    // the first two bytes are the byte-order mark and are not checked
    std::string_view body = bytes.size() >= 2 ? bytes.substr(2) : std::string_view();
    std::u16string units;
    units.reserve(body.size() / 2);
    for (std::size_t index = 0; index + 1 < body.size(); index += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(body[index]) |
                                       (static_cast<unsigned char>(body[index + 1]) << 8));
    }

    // a line runs up to a carriage return; the unit after it (the line feed) is dropped
    std::wstring section;
    std::size_t start = 0;
    while (start < units.size()) {
        std::size_t end = units.find(u'\r', start);
        if (end == std::u16string::npos) {
            ParseLine(FromUtf16(std::u16string_view(units).substr(start)), section);
            break;
        }
        ParseLine(FromUtf16(std::u16string_view(units).substr(start, end - start)), section);
        start = end + 2;
    }
}

void IniFile::ParseLine(std::wstring line, std::wstring& section) {
    line = WithoutComment(line);
    // a line of nothing but blanks would otherwise become a key with an empty name
    if (std::all_of(line.begin(), line.end(), IsBlank)) {
        return;
    }

    // section line: a "[" outside quotes
    std::size_t open = SectionOpen(line);
    if (open != std::wstring::npos) {
        std::size_t close = line.find(L']', open + 1);
        if (close == std::wstring::npos) {
            throw exec_error(CommonMessage(104) + L"[" + line + L"]");
        }
        section = line.substr(open + 1, close - open - 1);
        return;
    }

    // key line: key (quoted or up to "=" or a blank), blanks, "=", blanks, value (quoted or
    // up to a quote or the end)
    std::size_t position = 0;
    while (position < line.size() && IsBlank(line[position])) {
        ++position;
    }
    std::wstring key;
    if (position < line.size() && line[position] == L'"') {
        ++position;
        key = ReadQuoted(line, position);
    } else {
        std::size_t keyEnd = line.find_first_of(L"= \t", position);
        if (keyEnd == std::wstring::npos) {
            keyEnd = line.size();
        }
        key = line.substr(position, keyEnd - position);
        position = keyEnd;
    }
    while (position < line.size() && IsBlank(line[position])) {
        ++position;
    }
    std::wstring value;
    if (position < line.size() && line[position] == L'=') {
        ++position;
        while (position < line.size() && IsBlank(line[position])) {
            ++position;
        }
        // a quoted value ends at its closing quote, a plain one at the end or at a quote
        if (position < line.size() && line[position] == L'"') {
            ++position;
            value = ReadQuoted(line, position);
        } else {
            std::size_t quote = line.find(L'"', position);
            value =
                line.substr(position, quote == std::wstring::npos ? std::wstring::npos : quote - position);
        }
    }
    sections_[section][key] = value;
}

std::string IniFile::Serialize() const {
    std::wstring text;
    for (const auto& [name, keys] : sections_) {
        text += L"[" + name + L"]\r\n";
        for (const auto& [key, value] : keys) {
            text += Written(key, L"= \t;\"[") + L"=" + Written(value, L";\"[") + L"\r\n";
        }
    }
    return std::string("\xFF\xFE", 2) + ToUtf16LE(text);
}

const std::wstring* IniFile::Find(const std::wstring& section, const std::wstring& key) const {
    auto foundSection = sections_.find(section);
    if (foundSection == sections_.end()) {
        return nullptr;
    }
    auto foundKey = foundSection->second.find(key);
    return foundKey == foundSection->second.end() ? nullptr : &foundKey->second;
}

void IniFile::Set(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    sections_[section][key] = value;
}
