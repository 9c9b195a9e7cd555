#include "shell/CMirelView.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "framework/DeviceObjectData.h"
#include "framework/DirectInput.h"
#include "render/GlDeviceProvider.h"

CMirelView::CMirelView() {
    // the device's context and this surface must agree before the window is created
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(GlDeviceProvider::SurfaceFormat());
}

CMirelView::~CMirelView() = default;

bool CMirelView::CursorClientPosition(int& x, int& y) const {
    if (!cursorKnown_) {
        return false;
    }
    x = cursorX_;
    y = cursorY_;
    return true;
}

bool CMirelView::IsButtonDown(int button) const {
    if (button < 0 || button > 3) {
        return false;
    }
    return (buttonsDown_ & (1u << button)) != 0;
}

int CMirelView::ButtonNumber(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 0;
    case Qt::RightButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::BackButton:
        return 3;
    default:
        return -1;
    }
}

void CMirelView::keyPressEvent(QKeyEvent* event) {
    KeyTransition(event, true);
}

void CMirelView::keyReleaseEvent(QKeyEvent* event) {
    KeyTransition(event, false);
}

void CMirelView::KeyTransition(QKeyEvent* event, bool pressed) {
    // Ctrl+S saves the scene; its S is no single step for the tester
    if (event->key() == Qt::Key_S && (event->modifiers() & Qt::ControlModifier) != 0) {
        if (pressed && !event->isAutoRepeat()) {
            emit saveSceneWanted();
        }
        event->accept();
        return;
    }
    // the input part wants physical transitions only: the desktop's repeats are left out
    if (event->isAutoRepeat()) {
        return;
    }
    if (sink_ != nullptr) {
        sink_->KeyEvent(ScanCodeFromX11KeyCode(event->nativeScanCode()), pressed);
    }
    event->accept();
}

void CMirelView::NoteCursor(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
    cursorKnown_ = true;
}

void CMirelView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    NoteCursor(position.x(), position.y());
    if (sink_ != nullptr) {
        sink_->MouseMoved(position.x(), position.y());
    }
}

void CMirelView::mousePressEvent(QMouseEvent* event) {
    // a click into the view makes the main window the active one, as a window manager would
    // (the input is acquired when it becomes active)
    QWindow* top = this;
    while (top->parent() != nullptr) {
        top = top->parent();
    }
    if (!top->isActive()) {
        top->requestActivate();
    }
    MouseButtonTransition(event, true);
}

void CMirelView::mouseReleaseEvent(QMouseEvent* event) {
    MouseButtonTransition(event, false);
}

void CMirelView::MouseButtonTransition(QMouseEvent* event, bool pressed) {
    const int button = ButtonNumber(event->button());
    const QPoint position = event->position().toPoint();
    NoteCursor(position.x(), position.y());
    if (button < 0) {
        return;
    }
    if (pressed) {
        buttonsDown_ |= 1u << button;
    } else {
        buttonsDown_ &= ~(1u << button);
    }
    if (sink_ != nullptr) {
        sink_->MouseButtonEvent(button, pressed, position.x(), position.y());
    }
}

void CMirelView::wheelEvent(QWheelEvent* event) {
    // 120 per notch, positive away from the user: the input part's own scale
    if (sink_ != nullptr) {
        sink_->MouseWheelEvent(event->angleDelta().y());
    }
}

void CMirelView::focusOutEvent(QFocusEvent* event) {
    // releases that happen in another window are never seen here
    buttonsDown_ = 0;
    QWindow::focusOutEvent(event);
}
