#pragma once
// Message texts by number: the common messages of the message library and the
// program's own string table, both in English and Japanese, chosen by the locale.

#include <string>

/// Common message (101-170) from the message library, looked up with a 1024-character
/// buffer; "Can't find message." when the id has no text.
std::wstring CommonMessage(int id);

/// The program's own string (definition parser, tester, shell); same lookup and fallback.
std::wstring ProgramMessage(int id);

/// True when the process locale (LC_ALL, then LC_MESSAGES, then LANG) names Japanese.
bool IsJapaneseLocale();
