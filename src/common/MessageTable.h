#pragma once
// A compiled-in table of texts by number in English and Japanese, and its lookup.
// The message library and the program's own string table share this code: it is
// header-only so that the shared library (which links nothing of ours) and the
// common library compile the very same lookup.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

struct MessageEntry {
    int id;
    const wchar_t* english;
    const wchar_t* japanese;
};

/// The text every lookup yields for an id without a text.
inline constexpr const wchar_t* kMissingMessageW = L"Can't find message.";
inline constexpr const char* kMissingMessageA = "Can't find message.";

/// True when the locale named by these variables' texts is Japanese: the first non-empty
/// one of LC_ALL, LC_MESSAGES and LANG decides, and its language part (before "_", "."
/// or "@") must be "ja". Null or empty texts count as unset.
inline bool LocaleTextIsJapanese(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* chosen = nullptr;
    for (const char* candidate : {lcAll, lcMessages, lang}) {
        if (candidate != nullptr && candidate[0] != '\0') {
            chosen = candidate;
            break;
        }
    }
    if (chosen == nullptr) {
        return false;
    }
    std::string_view text(chosen);
    std::string_view language = text.substr(0, text.find_first_of("_.@"));
    return language == "ja";
}

/// The same decision from the process environment, read at every call so that a change
/// of the variables takes effect at once (no setlocale: a machine may lack the locale).
inline bool EnvironmentLocaleIsJapanese() {
    return LocaleTextIsJapanese(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

/// An id-ordered view of a table of entries, built once and then only read.
class MessageTable {
public:
    MessageTable(const MessageEntry* begin, const MessageEntry* end) : entries_(begin, end) {
        std::sort(entries_.begin(), entries_.end(),
                  [](const MessageEntry& a, const MessageEntry& b) { return a.id < b.id; });
        // two texts under one id would make the lookup depend on the order of the fragments
        assert(std::adjacent_find(entries_.begin(), entries_.end(),
                                  [](const MessageEntry& a, const MessageEntry& b) {
                                      return a.id == b.id;
                                  }) == entries_.end());
    }

    /// The text of the id in the chosen language, or null when the id has none.
    const wchar_t* Find(int id, bool japanese) const {
        auto found = std::lower_bound(entries_.begin(), entries_.end(), id,
                                      [](const MessageEntry& entry, int value) { return entry.id < value; });
        if (found == entries_.end() || found->id != id) {
            return nullptr;
        }
        return japanese ? found->japanese : found->english;
    }

    /// Copies the id's text into the buffer (truncated to capacity - 1 characters and
    /// terminated) and returns the buffer; returns the constant fallback text when the id
    /// has no text or there is no room even for the terminator.
    const wchar_t* CopyWide(int id, bool japanese, wchar_t* buffer, int capacity) const {
        const wchar_t* text = Find(id, japanese);
        if (text == nullptr || buffer == nullptr || capacity <= 0) {
            return kMissingMessageW;
        }
        std::size_t length = std::min(std::wcslen(text), static_cast<std::size_t>(capacity - 1));
        std::copy(text, text + length, buffer);
        buffer[length] = L'\0';
        return buffer;
    }

    /// The same for UTF-8 text; a truncation never cuts a character's byte sequence.
    const char* CopyUtf8(int id, bool japanese, char* buffer, int capacity) const {
        const wchar_t* text = Find(id, japanese);
        if (text == nullptr || buffer == nullptr || capacity <= 0) {
            return kMissingMessageA;
        }
        std::size_t room = static_cast<std::size_t>(capacity - 1);
        std::size_t used = 0;
        for (const wchar_t* character = text; *character != L'\0'; ++character) {
            char encoded[4];
            std::size_t size = EncodeUtf8(static_cast<char32_t>(*character), encoded);
            if (used + size > room) {
                break;
            }
            std::memcpy(buffer + used, encoded, size);
            used += size;
        }
        buffer[used] = '\0';
        return buffer;
    }

private:
    static std::size_t EncodeUtf8(char32_t code, char* out) {
        // the tables hold only valid characters; anything else would be our own fault
        assert(code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF));
        if (code < 0x80) {
            out[0] = static_cast<char>(code);
            return 1;
        }
        if (code < 0x800) {
            out[0] = static_cast<char>(0xC0 | (code >> 6));
            out[1] = static_cast<char>(0x80 | (code & 0x3F));
            return 2;
        }
        if (code < 0x10000) {
            out[0] = static_cast<char>(0xE0 | (code >> 12));
            out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (code & 0x3F));
            return 3;
        }
        out[0] = static_cast<char>(0xF0 | (code >> 18));
        out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (code & 0x3F));
        return 4;
    }

    std::vector<MessageEntry> entries_;
};
