#pragma once
// A compiled-in table of texts by number in English and Japanese, and its lookup.
// The message library and the program's own string table share this code.

#include <cstddef>

struct MessageEntry {
    int id;
    const wchar_t* english;
    const wchar_t* japanese;
};
