#pragma once
// The character mapping between Shift_JIS (as Windows writes it: code page 932) and
// UTF-16, built on iconv's "CP932". Shared by the Kanji readers and writers.

#include <string>

/// Maps Shift_JIS characters to UTF-16 units, each written high byte first. The bytes
/// must already split into whole characters. False when a character maps to nothing.
/// Throws exec_error when the system has no code page 932 converter.
bool MapShiftJisToUtf16(const std::string& shiftJis, std::string& utf16);

/// Maps UTF-16 units (high byte first, even length) to Shift_JIS characters. False when a
/// unit has no Shift_JIS character. Throws exec_error as above.
bool MapUtf16ToShiftJis(const std::string& utf16, std::string& shiftJis);

/// JIS X 0208 row and cell bytes (each 0x21-0x7E) to a Shift_JIS double-byte character.
void JisToShiftJis(unsigned char& first, unsigned char& second);

/// A Shift_JIS double-byte character to JIS X 0208 bytes; false when it lies outside
/// JIS X 0208's 94 x 94 table (the vendor and user-defined rows).
bool ShiftJisToJis(unsigned char& first, unsigned char& second);

/// A byte that starts a Shift_JIS double-byte character.
inline bool IsShiftJisLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// A byte that may end a Shift_JIS double-byte character.
inline bool IsShiftJisTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}
