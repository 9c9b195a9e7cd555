#pragma once
// The window whose client area shows the world. The local player measures the cursor
// in it; the desktop shell implements it over its view widget.

class ViewWindow {
public:
    virtual ~ViewWindow() = default;
    /// The cursor position in client coordinates of this window; false when it cannot be had.
    virtual bool CursorClientPosition(int& x, int& y) const = 0;
};
