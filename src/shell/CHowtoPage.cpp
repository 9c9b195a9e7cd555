#include "shell/CHowtoPage.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include "shell/ShellText.h"

CHowtoPage::CHowtoPage(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    for (int pair = 0; pair < kPairCount; ++pair) {
        // the table holds each action followed by its effect
        auto* action = new QLabel(ShellText(kTextHowtoFirst + 2 * pair), this);
        auto* effect = new QLabel(ShellText(kTextHowtoFirst + 2 * pair + 1), this);
        action->setFrameShape(QFrame::StyledPanel);
        effect->setFrameShape(QFrame::StyledPanel);
        action->setWordWrap(true);
        grid->addWidget(action, pair, 0);
        grid->addWidget(effect, pair, 1);
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(kPairCount, 1);
}
