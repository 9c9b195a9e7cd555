#pragma once
// Whole-file reads and writes through the native path mapping.

#include <optional>
#include <string>

#include <cstddef>
#include <limits>

/// The file's bytes, or nothing when it cannot be opened or read. A file (or anything else
/// under its name, such as a device) with more than limit bytes is not read past limit + 1
/// bytes: nothing is returned and tooLarge, when given, is set.
std::optional<std::string> ReadFileBytes(const std::wstring& path,
                                         std::size_t limit = std::numeric_limits<std::size_t>::max() - 1,
                                         bool* tooLarge = nullptr);

/// Writes the bytes to the file, creating or truncating it. False (and errno set) when the
/// file cannot be opened or not every byte reaches it.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
