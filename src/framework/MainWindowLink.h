#pragma once
// What the framework needs of the program's main window. The desktop shell
// implements it; tests implement it to observe the framework's requests.

#include <string>

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    /// Asks the window to close as if the user had closed it. Called from any thread,
    /// also while the window is already closing; it must only queue the request, never block.
    virtual void RequestClose() = 0;

    /// Reads one of the desktop's keyboard settings by name ("KeyboardDelay": 0 to 3, the
    /// delay in quarter seconds minus one; "KeyboardSpeed": 0 to 31, about 2.5 to 30
    /// repeats a second), as decimal text. False when the desktop does not offer it.
    virtual bool ReadKeyboardSetting(const std::wstring& /*name*/, std::wstring& /*value*/) { return false; }
};
