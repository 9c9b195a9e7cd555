#pragma once
// The view: the surface the tester application draws the world on, filling the main
// window's client area. Built on QWindow (OpenGL surface), embedded in the main window
// through QWidget::createWindowContainer. It turns its key and mouse events into the
// input part's window events and tells the local player where the cursor is.

#include <QWindow>

#include <atomic>

#include "physics/ViewWindow.h"

class WindowInputSink;

class CMirelView : public QWindow, public ViewWindow {
    Q_OBJECT
public:
    CMirelView();
    ~CMirelView() override;

    /// The input part the events go to; null stops them. Not owned; set on the user-interface thread.
    void SetInputSink(WindowInputSink* sink) { sink_ = sink; }

    /// The cursor position the view last saw, in its client coordinates (any thread).
    bool CursorClientPosition(int& x, int& y) const override;
    /// Whether the button is down as the view's events last reported it (any thread).
    bool IsButtonDown(int button) const override;

    /// The input part's number of a mouse button: 0 left, 1 right, 2 middle, 3 the fourth; -1 for others.
    static int ButtonNumber(Qt::MouseButton button);

signals:
    /// Ctrl+S was pressed in the view: the scene is to be saved.
    void saveSceneWanted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void KeyTransition(QKeyEvent* event, bool pressed);
    void MouseButtonTransition(QMouseEvent* event, bool pressed);
    void NoteCursor(int x, int y);

    WindowInputSink* sink_ = nullptr;
    // written by the user-interface thread, read by the application thread
    std::atomic<bool> cursorKnown_{false};
    std::atomic<int> cursorX_{0};
    std::atomic<int> cursorY_{0};
    /// Bit n: button n is down.
    std::atomic<unsigned> buttonsDown_{0};
};
