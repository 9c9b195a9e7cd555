#pragma once
// The message library's interface: the common messages 101-170 by number, in English
// or Japanese as the process locale (LC_ALL, LC_MESSAGES, LANG) asks. Built on a table
// compiled into the shared library libResource.so.

#if defined(KIVARO_RESOURCE_BUILD)
#define KIVARO_RESOURCE_API __attribute__((visibility("default")))
#else
#define KIVARO_RESOURCE_API
#endif

extern "C" {

/// Copies the message into the buffer (truncated to capacity - 1 characters, always
/// terminated) and returns the buffer; for an id without a text returns the library's
/// constant "Can't find message." instead. Callers use the returned pointer only.
KIVARO_RESOURCE_API const wchar_t* GetCommonMessageW(int id, wchar_t* buffer, int capacity);

/// The same in UTF-8; a truncation never splits a character.
KIVARO_RESOURCE_API const char* GetCommonMessageA(int id, char* buffer, int capacity);
}
