#pragma once
// The window whose client area shows the world. The local player measures the cursor
// in it and asks it which mouse buttons are down; the tester application implements it
// over its input part and the desktop shell's view widget.

class ViewWindow {
public:
    virtual ~ViewWindow() = default;
    /// The cursor position in client coordinates of this window; false when it cannot be had.
    virtual bool CursorClientPosition(int& x, int& y) const = 0;
    /// Whether mouse button 0 left, 1 right or 2 middle is down at this moment. A window that
    /// cannot tell answers true, so that the button states the mouse events reported stand.
    virtual bool IsButtonDown(int /*button*/) const { return true; }
};
