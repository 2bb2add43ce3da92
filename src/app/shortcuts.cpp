// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard: the usual keys for commands whose menus and buttons have none, and the
// list of every key under Help > Keyboard Shortcuts. None of them is an Alt+letter, so the
// menus' access keys keep working, and none is a key the page or a text box uses.
#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browserpane.h"
#include "maint/flagcommands.h"
#include "results/resultspanel.h"
#include "search/searchpanel.h"
#include "view/viewer.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenuBar>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A menu item's caption as a list shows it: without its access-key mark.
QString plainCaption(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(u'&');
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

}

void Form1::connectShortcuts()
{
    // On the menu items the keys show in the menus, and a disabled item ignores its key.
    // The page commands' keys are the pane's.
    const struct
    {
        QAction *action;
        QList<QKeySequence> keys;
    } menuKeys[] = {
        {ui->MenuFileExit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {ui->MenuHelpContents, {QKeySequence(Qt::Key_F1)}},
        {ui->MnuViewConversation, {QKeySequence(Qt::CTRL | Qt::Key_T)}},
        {ui->MnuNextInConversation, {QKeySequence(Qt::ALT | Qt::Key_PageDown)}},
        {ui->MnuPrevInConversation, {QKeySequence(Qt::ALT | Qt::Key_PageUp)}},
        {ui->MnuNextMessage, {QKeySequence(Qt::CTRL | Qt::Key_PageDown)}},
        {ui->MnuPrevMessage, {QKeySequence(Qt::CTRL | Qt::Key_PageUp)}},
        {ui->MnuNextHit, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown)}},
        {ui->MnuPrevHit, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp)}},
        {ui->MnuFlagMessage, {QKeySequence(Qt::CTRL | Qt::Key_D)}},
        {ui->MnuSearchBox, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)}},
        // Ctrl+= is Ctrl+plus without Shift on most keyboards.
        {ui->MnuZoomIn, {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
        {ui->MnuZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
        {ui->MnuZoomReset, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
    };
    for (const auto &m : menuKeys) {
        m.action->setShortcuts(m.keys);
        // The window's keys work wherever the focus is in it, the page included.
        m.action->setShortcutContext(Qt::WindowShortcut);
    }

    connect(ui->MnuNextMessage, &QAction::triggered, this, [this] { m_viewer->step(+1); });
    connect(ui->MnuPrevMessage, &QAction::triggered, this, [this] { m_viewer->step(-1); });
    connect(ui->MnuNextHit, &QAction::triggered, this, [this] { m_results->stepResultSlider(+1); });
    connect(ui->MnuPrevHit, &QAction::triggered, this, [this] { m_results->stepResultSlider(-1); });
    connect(ui->MnuSearchBox, &QAction::triggered, m_search, &SearchPanel::focusSearchBox);
    connect(ui->MnuFlagMessage, &QAction::triggered, m_flags, &FlagCommands::flagShownMessage);
    connect(ui->MnuKeyboard, &QAction::triggered, this, &Form1::MnuKeyboard_Click);

    // The buttons' commands run exactly as clicked, and not at all while the buttons are off.
    for (const auto &b : buttonKeys())
        connect(new QShortcut(b.key, this), &QShortcut::activated, this, b.command);

    // F3: the next occurrence of the last search's words in the hit shown.
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, m_search, &SearchPanel::FindNextHit);

    // Ctrl+L: into the address bar with its text selected, ready to be typed over.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, m_pane,
            &BrowserPane::focusAddressBar);
}

QList<Form1::ButtonKey> Form1::buttonKeys() const
{
    return {
        {QKeySequence(Qt::Key_F5), [this] { m_pane->refreshCommand(); }, QStringLiteral("Refresh")},
        {QKeySequence(Qt::ALT | Qt::Key_Left), [this] { m_pane->backCommand(); }, QStringLiteral("Back")},
        {QKeySequence(Qt::ALT | Qt::Key_Right), [this] { m_pane->forwardCommand(); }, QStringLiteral("Forward")},
    };
}

QList<QPair<QString, QString>> Form1::keyboardShortcuts() const
{
    // Every menu item with a key, in menu order, then the keys of buttons and of the fields.
    QList<QPair<QString, QString>> rows;
    const std::function<void(const QMenu *, const QString &)> addMenu = [&](const QMenu *menu, const QString &path) {
        for (const QAction *action : menu->actions()) {
            const QString caption = path + plainCaption(action->text());
            if (action->menu()) {
                addMenu(action->menu(), caption + QStringLiteral(" > "));
            } else if (!action->shortcuts().isEmpty()) {
                QStringList keys;
                for (const QKeySequence &key : action->shortcuts())
                    keys << key.toString(QKeySequence::NativeText);
                rows.append({keys.join(QStringLiteral(", ")), caption});
            }
        }
    };
    for (const QAction *top : menuBar()->actions()) {
        if (top->menu())
            addMenu(top->menu(), plainCaption(top->text()) + QStringLiteral(" > "));
    }
    for (const ButtonKey &b : buttonKeys())
        rows.append({b.key.toString(QKeySequence::NativeText), b.caption});
    rows.append({QKeySequence(Qt::Key_F3).toString(QKeySequence::NativeText),
                 QStringLiteral("Next place of the searched words in the message shown")});
    rows.append({QKeySequence(Qt::CTRL | Qt::Key_L).toString(QKeySequence::NativeText),
                 QStringLiteral("Go to the address bar")});
    rows.append({QStringLiteral("Left, Right"), QStringLiteral("On a slider: the next lower or higher message or hit")});
    rows.append({QStringLiteral("Space"), QStringLiteral("On < or >: one step; held, the steps repeat")});
    rows.append({QStringLiteral("Enter"), QStringLiteral("In the search box: search")});
    return rows;
}

void Form1::MnuKeyboard_Click()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    const QList<QPair<QString, QString>> rows = keyboardShortcuts();
    auto *table = new QTableWidget(int(rows.size()), 2, &dialog);
    table->setObjectName(QStringLiteral("ShortcutTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Command")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < rows.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(rows.at(row).first));
        table->setItem(row, 1, new QTableWidgetItem(rows.at(row).second));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(table);
    layout->addWidget(buttons);
    dialog.resize(560, 520);
    dialog.exec();
}
