// The usual keyboard shortcuts for commands that have none of their own. None of them is
// an Alt+letter, so the menus' access keys keep working.
#include "app/form1.h"
#include "ui_form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>

namespace {

const QKeySequence kFindKey(Qt::CTRL | Qt::Key_F);

}

void Form1::connectShortcuts()
{
    // On the menu items the keys show in the menus, and a disabled item ignores its key.
    ui->MnuFind->setShortcut(kFindKey);
    ui->MenuFilePrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    ui->MenuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // "Find" types Ctrl+F into the focused control, and a typed key goes through the
    // shortcuts first: while that key is on its way the item's own key is taken off, or
    // it would run the item again, without end. The key is put back two event-loop
    // turns later, so it is after the typed key whether this runs before or after the
    // item's handler.
    connect(ui->MnuFind, &QAction::triggered, this, [this] {
        ui->MnuFind->setShortcut(QKeySequence());
        QMetaObject::invokeMethod(
            this,
            [this] {
                QMetaObject::invokeMethod(this, [this] { ui->MnuFind->setShortcut(kFindKey); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    });

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
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, &Form1::FindNextHit);

    // Ctrl+L: into the address bar with its text selected, ready to be typed over. A
    // pending hand-over of the focus to the page would take it away again, so it is off.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this, [this] {
        QComboBox *const bar = ui->Combo2;
        if (!bar->isEnabled() || !bar->isVisible())
            return;
        setTimerEnabled(Timer2, false);
        bar->setFocus(Qt::ShortcutFocusReason);
        if (QLineEdit *edit = bar->lineEdit())
            edit->selectAll();
    });
}
