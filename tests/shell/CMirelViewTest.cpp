#include "shell/CMirelView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <string>
#include <vector>

#include "framework/DeviceObjectData.h"
#include "framework/DirectInput.h"

namespace {

// what the view tells the input part, as text
class RecordingSink : public WindowInputSink {
public:
    void KeyEvent(std::uint32_t scanCode, bool pressed) override {
        calls.push_back("key " + std::to_string(scanCode) + (pressed ? " down" : " up"));
    }
    void MouseMoved(int x, int y) override { calls.push_back("move " + Point(x, y)); }
    void MouseButtonEvent(int button, bool pressed, int x, int y) override {
        calls.push_back("button " + std::to_string(button) + (pressed ? " down " : " up ") + Point(x, y));
    }
    void MouseWheelEvent(int delta) override { calls.push_back("wheel " + std::to_string(delta)); }
    void WindowActivated(bool active) override { calls.push_back(active ? "active" : "inactive"); }

    std::vector<std::string> calls;

private:
    static std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
};

// X11 key codes of an evdev keyboard: the PC scan code plus 8
constexpr quint32 kX11KeyOne = DIK_1 + 8;
constexpr quint32 kX11KeyP = DIK_P + 8;

void SendKey(QWindow& window, QEvent::Type type, int key, quint32 nativeScanCode, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, nativeScanCode, 0, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(&window, &event);
}

void SendMouse(QWindow& window, QEvent::Type type, QPointF position, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, position, window.mapToGlobal(position), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
}

TEST(CMirelViewTest, KeysAndMouseBecomeTheInputPartsWindowEvents) {
    CMirelView view;
    RecordingSink sink;
    view.SetInputSink(&sink);
    int x = -1;
    int y = -1;
    EXPECT_FALSE(view.CursorClientPosition(x, y));

    // keys by their scan codes; the desktop's own repeats are left out
    SendKey(view, QEvent::KeyPress, Qt::Key_1, kX11KeyOne);
    SendKey(view, QEvent::KeyPress, Qt::Key_1, kX11KeyOne, true);
    SendKey(view, QEvent::KeyRelease, Qt::Key_1, kX11KeyOne);
    SendKey(view, QEvent::KeyPress, Qt::Key_P, kX11KeyP);

    // buttons numbered as the input part numbers them, at client positions
    SendMouse(view, QEvent::MouseMove, {12, 34}, Qt::NoButton, Qt::NoButton);
    SendMouse(view, QEvent::MouseButtonPress, {15, 36}, Qt::RightButton, Qt::RightButton);
    EXPECT_TRUE(view.IsButtonDown(1));
    EXPECT_FALSE(view.IsButtonDown(0));
    SendMouse(view, QEvent::MouseButtonPress, {15, 36}, Qt::MiddleButton, Qt::RightButton | Qt::MiddleButton);
    SendMouse(view, QEvent::MouseButtonRelease, {16, 37}, Qt::RightButton, Qt::MiddleButton);
    EXPECT_FALSE(view.IsButtonDown(1));
    EXPECT_TRUE(view.IsButtonDown(2));
    ASSERT_TRUE(view.CursorClientPosition(x, y));
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 37);

    // one notch away from the user
    QWheelEvent wheel({16, 37}, view.mapToGlobal(QPointF(16, 37)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);

    const std::vector<std::string> expected{
        "key 2 down",          "key 2 up",          "key 25 down", "move 12,34", "button 1 down 15,36",
        "button 2 down 15,36", "button 1 up 16,37", "wheel 120"};
    EXPECT_EQ(sink.calls, expected);

    // without an input part the events go nowhere, and the cursor is still followed
    view.SetInputSink(nullptr);
    SendMouse(view, QEvent::MouseMove, {3, 4}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(sink.calls.size(), expected.size());
    ASSERT_TRUE(view.CursorClientPosition(x, y));
    EXPECT_EQ(x, 3);

    EXPECT_EQ(CMirelView::ButtonNumber(Qt::LeftButton), 0);
    EXPECT_EQ(CMirelView::ButtonNumber(Qt::BackButton), 3);
    EXPECT_EQ(CMirelView::ButtonNumber(Qt::ForwardButton), -1);
}

} // namespace
