#pragma once
// Helpers of the desktop program's tests: modal windows caught and closed, controls
// found by their identifiers, screenshots on request.

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

/// Runs trigger; the first modal window that opens meanwhile is handed to inspect and then
/// closed. Returns whether one opened.
bool WithModal(const std::function<void()>& trigger, const std::function<void(QWidget*)>& inspect);

/// The control with the identifier among the window's children; null when there is none.
template <typename Control> Control* FindControl(const QWidget* window, int controlId) {
    return window->findChild<Control*>(QString::number(controlId));
}

/// The screen's pixels inside the area of the widget (all of it by default), as the user sees them.
QImage GrabOnScreen(const QWidget* widget, QRect area = QRect());

/// When KIVARO_SCREENSHOTS names a folder, saves the screen's upper left area there as name.png.
void SaveScreenshot(const QString& name);
