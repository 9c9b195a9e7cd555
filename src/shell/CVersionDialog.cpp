#include "shell/CVersionDialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/ShellText.h"

CHyperlinkLabel::CHyperlinkLabel(const QString& text, QUrl page, QWidget* parent)
    : QLabel(text, parent), page_(std::move(page)) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    // pure blue text on the dialog's own background
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(colours);
    setAutoFillBackground(false);
    setCursor(Qt::PointingHandCursor);
}

void CHyperlinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QDesktopServices::openUrl(page_);
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

QUrl CVersionDialog::MakerPage() {
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("README.md")));
}

CVersionDialog::CVersionDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ShellText(kTextVersionCaption));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(32, 32));
    auto* version = new QLabel(ShellText(kTextVersionLine), this);
    auto* years = new QLabel(ShellText(kTextYears), this);
    auto* maker = new CHyperlinkLabel(ShellText(kTextMaker), MakerPage(), this);
    NameControl(maker, kMakerLabelId, maker->text());
    auto* ok = new QPushButton(ShellText(kTextOk), this);
    NameControl(ok, kOkId, ok->text());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(years);
    texts->addWidget(maker);
    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addLayout(texts, 0, 1);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
