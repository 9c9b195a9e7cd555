#pragma once
// Conversions of whole strings between the Japanese encodings "SJIS", "JIS", "EUC" and
// "Unicode" (UTF-16, high byte first), and between wide strings and Shift_JIS bytes.

#include <string>

/// Decodes with the reader of from and encodes with the writer of to (no line
/// terminators). Throws the factories' cant_convert for unknown names and the codecs'
/// cant_convert for text they cannot convert.
std::string KanjiConvert(const std::string& source, const std::string& from, const std::string& to);

/// Shift_JIS (code page 932) bytes to a wide string.
std::wstring SjisToWide(const std::string& sjis);

/// A wide string to Shift_JIS (code page 932) bytes; a character Shift_JIS does not have
/// throws KanjiWriter::cant_convert.
std::string WideToSjis(const std::wstring& text);
