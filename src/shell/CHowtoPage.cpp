#include "shell/CHowtoPage.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>

#include "tester/KeyBindings.h"

CHowtoPage::CHowtoPage(QWidget* parent) : QWidget(parent) {
    // the rows of the key table (mouse actions, then keys): each action followed by its effect
    auto* rows = new QWidget;
    auto* grid = new QGridLayout(rows);
    int row = 0;
    for (const KeyBindings::Binding& binding : KeyBindings::Table()) {
        auto* action = new QLabel(QString::fromStdWString(KeyBindings::KeyText(binding)), rows);
        auto* effect = new QLabel(QString::fromStdWString(KeyBindings::Description(binding)), rows);
        action->setFrameShape(QFrame::StyledPanel);
        effect->setFrameShape(QFrame::StyledPanel);
        action->setWordWrap(true);
        effect->setWordWrap(true);
        grid->addWidget(action, row, 0);
        grid->addWidget(effect, row, 1);
        ++row;
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);

    // the keys make the table taller than the other pages
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(rows);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll, 0, 0);
}
