#include "shell/DesktopKeyboard.h"

#include <QGuiApplication>

#include "framework/DirectInput.h"

// Xlib last: its macros (None, KeyPress, Status) would clash with Qt's names
#include <X11/XKBlib.h>

bool ReadDesktopKeyboardSetting(const std::wstring& name, std::wstring& value) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) {
        return false;
    }
    unsigned int delay = 0;
    unsigned int interval = 0;
    if (!XkbGetAutoRepeatRate(x11->display(), XkbUseCoreKbd, &delay, &interval)) {
        return false;
    }
    if (name == L"KeyboardDelay") {
        value = std::to_wstring(DirectInput::KeyboardDelayFromMilliseconds(static_cast<int>(delay)));
        return true;
    }
    if (name == L"KeyboardSpeed") {
        value = std::to_wstring(DirectInput::KeyboardSpeedFromInterval(static_cast<int>(interval)));
        return true;
    }
    return false;
}
