// The usual keyboard shortcuts for commands that have none of their own. None of them is
// an Alt+letter, so the menus' access keys keep working.
#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browserpane.h"
#include "search/searchpanel.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QShortcut>

void Form1::connectShortcuts()
{
    // On the menu item the key shows in the menu. The page commands' keys are the pane's.
    ui->MenuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Buttons run exactly as clicked, and not at all while they are disabled.
    const struct
    {
        QKeySequence key;
        QAbstractButton *button;
    } buttons[] = {
        {QKeySequence(Qt::Key_F5), ui->CmdRefresh},
        {QKeySequence(Qt::ALT | Qt::Key_Left), ui->CmdBack},
        {QKeySequence(Qt::ALT | Qt::Key_Right), ui->CmdForward},
    };
    for (const auto &b : buttons) {
        QAbstractButton *const button = b.button;
        connect(new QShortcut(b.key, this), &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    }

    // F3: the next occurrence of the last search's words in the hit shown.
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, m_search, &SearchPanel::FindNextHit);

    // Ctrl+L: into the address bar with its text selected, ready to be typed over.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, m_pane,
            &BrowserPane::focusAddressBar);
}
