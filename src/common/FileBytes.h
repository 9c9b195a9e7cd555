#pragma once
// Whole-file reads and writes through the native path mapping.

#include <optional>
#include <string>

/// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::wstring& path);

/// Writes the bytes to the file, creating or truncating it. False (and errno set) when the
/// file cannot be opened or not every byte reaches it.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
