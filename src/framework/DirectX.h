#pragma once
// Abstract base of the application's device parts (graphics, input, sound and the
// unused 2-D surface and network parts). Each part derives from it separately and
// the application combines them; freeing any part frees the whole application.

#include <string>

#include "common/myexception.h"

class MainWindowLink;

class DirectX {
public:
    /// A device that could not be initialised.
    class init_error : public myexception {
    public:
        using myexception::myexception;
    };
    /// A failed operation on an initialised device.
    class exec_error : public myexception {
    public:
        using myexception::myexception;
    };
    /// Thrown by an application hook to abandon the creation quietly; carries no text.
    class exec_cancel {};

    DirectX() = default;
    virtual ~DirectX() = default;
    DirectX(const DirectX&) = delete;
    DirectX& operator=(const DirectX&) = delete;

    /// Releases the device.
    virtual void Free() = 0;
    /// The main window, or null when there is none (headless runs and tests).
    virtual MainWindowLink* GetWindow() = 0;
    /// The module instance the application was created with (opaque).
    virtual void* GetInstance() = 0;
};
