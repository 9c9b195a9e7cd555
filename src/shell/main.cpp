// The desktop program Kivaro: the Qt application, then the design's start-up; the
// arguments are field definition files to add once the program runs.

#include <QApplication>

#include "shell/CMirelApp.h"

int main(int argc, char* argv[]) {
    QApplication qtApplication(argc, argv);
    QStringList fieldFiles = QApplication::arguments();
    fieldFiles.removeFirst();

    CMirelApp application;
    if (!application.InitInstance(fieldFiles)) {
        return 1;
    }
    return QApplication::exec();
}
