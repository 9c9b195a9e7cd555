#pragma once
// The desktop's keyboard repeat settings as the input part asks for them, read from the
// X server's keyboard extension.

#include <string>

/// "KeyboardDelay" (0-3) or "KeyboardSpeed" (0-31) as decimal text; false when the desktop
/// does not offer it (not running on X, or another name).
bool ReadDesktopKeyboardSetting(const std::wstring& name, std::wstring& value);
