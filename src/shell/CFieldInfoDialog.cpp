#include "shell/CFieldInfoDialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/ShellText.h"

namespace {

/// A read-only field with its label, both named after the field.
template <typename Field> Field* AddField(QFormLayout* form, QWidget* parent, int textId, int controlId) {
    auto* field = new Field(parent);
    field->setReadOnly(true);
    const QString label = ShellText(textId);
    NameControl(field, controlId, label);
    auto* caption = new QLabel(label, parent);
    caption->setBuddy(field);
    form->addRow(caption, field);
    return field;
}

} // namespace

CFieldInfoDialog::CFieldInfoDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ShellText(kTextInformation));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* form = new QFormLayout;
    fileName_ = AddField<QLineEdit>(form, this, kTextFileName, kFileNameId);
    name_ = AddField<QLineEdit>(form, this, kTextName, kNameId);
    author_ = AddField<QLineEdit>(form, this, kTextAuthor, kAuthorId);
    date_ = AddField<QLineEdit>(form, this, kTextDate, kDateId);
    comment_ = AddField<QPlainTextEdit>(form, this, kTextComment, kCommentId);
    fileName_->setMinimumWidth(320);
    comment_->setFixedHeight(comment_->fontMetrics().lineSpacing() * 5 + 12);

    auto* ok = new QPushButton(ShellText(kTextOk), this);
    NameControl(ok, kOkId, ok->text());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

void CFieldInfoDialog::SetSummary(const DefinitionSummary& summary) {
    fileName_->setText(QString::fromStdWString(summary.path));
    name_->setText(QString::fromStdWString(summary.name));
    author_->setText(QString::fromStdWString(summary.author));
    date_->setText(QString::fromStdWString(summary.date));
    // a comment breaks its lines with CR LF
    QString comment = QString::fromStdWString(summary.comment);
    comment.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    comment_->setPlainText(comment);
}
