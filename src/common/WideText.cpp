// Wide text conversions, written out by hand: the standard library's converters are
// deprecated and depend on the process locale.

#include "common/WideText.h"

#include <cstddef>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidCodePoint(char32_t code) {
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t code) {
    if (!IsValidCodePoint(code)) {
        code = kReplacement;
    }
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t code) {
    if (!IsValidCodePoint(code)) {
        code = kReplacement;
    }
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

} // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t character : text) {
        AppendUtf8(out, static_cast<char32_t>(character));
    }
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    // a text in ASCII, as most names and numbers of files are, is copied as it is
    std::size_t ascii = 0;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) {
        ++ascii;
    }
    std::wstring out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
    if (ascii == text.size()) {
        return out;
    }
    out.reserve(text.size());
    std::size_t index = ascii;
    while (index < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[index]);
        // length and payload of the lead byte; 0 marks a byte that cannot start a sequence
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || index + length > text.size()) {
            out += static_cast<wchar_t>(kReplacement);
            ++index;
            continue;
        }
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool wellFormed = true;
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[index + k]);
            if ((next & 0xC0) != 0x80) {
                wellFormed = false;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // overlong forms and out-of-range values are as malformed as broken continuations
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!wellFormed || code < kSmallest[length] || !IsValidCodePoint(code)) {
            out += static_cast<wchar_t>(kReplacement);
            ++index;
            continue;
        }
        out += static_cast<wchar_t>(code);
        index += length;
    }
    return out;
}

std::u16string ToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t character : text) {
        AppendUtf16(out, static_cast<char32_t>(character));
    }
    return out;
}

std::wstring FromUtf16(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        char16_t unit = text[index];
        if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
            text[index + 1] <= 0xDFFF) {
            char32_t code =
                0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[index + 1] - 0xDC00);
            out += static_cast<wchar_t>(code);
            ++index;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += static_cast<wchar_t>(kReplacement);
        } else {
            out += static_cast<wchar_t>(unit);
        }
    }
    return out;
}

std::string ToUtf16LE(const std::wstring& text) {
    std::u16string units = ToUtf16(text);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::wstring FromUtf16LE(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[index]) |
                                       (static_cast<unsigned char>(bytes[index + 1]) << 8));
    }
    return FromUtf16(units);
}
