#include "shell/ShellText.h"

#include <QMessageBox>
#include <QWidget>

#include "common/Messages.h"

QString ShellText(int id) {
    return QString::fromStdWString(ProgramMessage(id));
}

QString WithoutMnemonic(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // "&&" stands for one ampersand; a single one marks the next character
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                plain += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        plain += text[i];
    }
    return plain;
}

void NameControl(QWidget* control, int controlId, const QString& accessibleName) {
    control->setObjectName(QString::number(controlId));
    control->setAccessibleName(WithoutMnemonic(accessibleName));
}

void ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, ShellText(kTextTitle), text, QMessageBox::Ok, parent);
    box.exec();
}
