#pragma once
// Conversions between the program's wide strings (UTF-32 on this platform) and the
// byte encodings of files and the file system: UTF-8 and UTF-16LE. Malformed input
// never fails: each malformed unit becomes U+FFFD.

#include <string>
#include <string_view>

/// UTF-8 text of a wide string; invalid code points become U+FFFD.
std::string ToUtf8(const std::wstring& text);
/// Wide string of UTF-8 text; malformed sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);

/// UTF-16 code units of a wide string (characters above U+FFFF as surrogate pairs).
std::u16string ToUtf16(const std::wstring& text);
/// Wide string of UTF-16 code units; unpaired surrogates become U+FFFD.
std::wstring FromUtf16(std::u16string_view text);

/// UTF-16LE bytes of a wide string, without byte-order mark or terminator.
std::string ToUtf16LE(const std::wstring& text);
/// Wide string of UTF-16LE bytes; a trailing odd byte is ignored.
std::wstring FromUtf16LE(std::string_view bytes);
