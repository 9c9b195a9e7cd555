#include "shell/support/ShellTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

bool WithModal(const std::function<void()>& trigger, const std::function<void(QWidget*)>& inspect) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || seen) {
            return;
        }
        seen = true;
        inspect(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->close();
        }
    });
    poll.start();
    trigger();
    poll.stop();
    return seen;
}

QImage GrabOnScreen(const QWidget* widget, QRect area) {
    if (area.isNull()) {
        area = widget->rect();
    }
    const QPoint topLeft = widget->mapToGlobal(area.topLeft());
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, topLeft.x(), topLeft.y(), area.width(), area.height())
        .toImage();
}

void SaveScreenshot(const QString& name) {
    const QString folder = qEnvironmentVariable("KIVARO_SCREENSHOTS");
    if (folder.isEmpty()) {
        return;
    }
    QDir().mkpath(folder);
    QGuiApplication::primaryScreen()
        ->grabWindow(0, 0, 0, 1400, 720)
        .save(folder + QLatin1Char('/') + name + ".png");
}

// the Qt application exists only while the tests run, never at static initialisation:
// test discovery and --gtest_list_tests need no display
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
