#pragma once
// The information dialog: the file name, name, author, date and comment of a field
// definition, read-only, with OK. Built on QDialog.

#include <QDialog>

#include "definition/DefinitionParser.h"

class QLineEdit;
class QPlainTextEdit;

class CFieldInfoDialog : public QDialog {
    Q_OBJECT
public:
    // control identifiers
    static constexpr int kFileNameId = 1100;
    static constexpr int kNameId = 1098;
    static constexpr int kAuthorId = 1097;
    static constexpr int kDateId = 1099;
    static constexpr int kCommentId = 1022;
    static constexpr int kOkId = 1;

    explicit CFieldInfoDialog(QWidget* parent = nullptr);

    /// Shows the summary's texts.
    void SetSummary(const DefinitionSummary& summary);

private:
    QLineEdit* fileName_;
    QLineEdit* name_;
    QLineEdit* author_;
    QLineEdit* date_;
    QPlainTextEdit* comment_;
};
