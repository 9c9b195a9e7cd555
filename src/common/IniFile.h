#pragma once
// The parsed form of a settings file: sections of keys and values, both kept in the
// order of their UTF-16 code units, read from and written to UTF-16LE text.

#include <map>
#include <string>
#include <string_view>

/// Orders wide strings as their UTF-16 code units would be ordered.
struct Utf16Less {
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};

class IniFile {
public:
    using Section = std::map<std::wstring, std::wstring, Utf16Less>;
    using Sections = std::map<std::wstring, Section, Utf16Less>;

    /// Parses the bytes of a file (byte-order mark included). Throws exec_error for a
    /// section line without its closing "]".
    void Parse(std::string_view bytes);
    /// The bytes of the file: byte-order mark, then every section and key in order. Keys and
    /// values that the plain form would not read back (quotes, ";", "=", "[", blanks) are
    /// written in quotes with inner quotes doubled; a carriage return cannot be written.
    std::string Serialize() const;

    /// The value, or null when the section or the key is absent.
    const std::wstring* Find(const std::wstring& section, const std::wstring& key) const;
    /// Stores the value, creating the section and the key when needed.
    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value);

    const Sections& AllSections() const { return sections_; }

private:
    void ParseLine(std::wstring line, std::wstring& section);

    Sections sections_;
};
