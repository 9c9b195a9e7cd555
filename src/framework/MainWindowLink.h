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

    /// Resizes the window, without moving or activating it, so that its client area is
    /// width x height pixels. Called from any thread; may queue the request.
    virtual void ResizeClient(int /*width*/, int /*height*/) {}

    /// Shows a text in a message box with an OK button, modal to the window. Called from
    /// any thread; a call from another thread than the window's may queue it and return.
    virtual void ShowMessage(const std::wstring& /*text*/) {}

    /// Shows a short text in the window's status line for a few seconds. Called from any thread; may queue
    /// it.
    virtual void ShowStatus(const std::wstring& /*text*/) {}

    /// Shows the program's version dialog, modal to the window. Called from any thread; may queue it.
    virtual void ShowVersion() {}
};
