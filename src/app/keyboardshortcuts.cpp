// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard: the usual keys for commands whose menus and buttons have none, and the
// list of every key under Help > Keyboard Shortcuts. None of them is an Alt+letter, so the
// menus' access keys keep working, and none is a key the page or a text box uses.
#include "app/keyboardshortcuts.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
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

KeyboardShortcuts::KeyboardShortcuts(const Controls &controls, QList<WindowKey> windowKeys, QWidget *window)
    : QObject(window)
    , m_menuBar(controls.menuBar)
    , m_window(window)
    , m_windowKeys(std::move(windowKeys))
{
    // On the menu items the keys show in the menus, and a disabled item ignores its key.
    // The page commands' keys are the pane's.
    const struct
    {
        QAction *action;
        QList<QKeySequence> keys;
    } menuKeys[] = {
        {controls.MenuFileExit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {controls.MenuHelpContents, {QKeySequence(Qt::Key_F1)}},
        {controls.MnuViewConversation, {QKeySequence(Qt::CTRL | Qt::Key_T)}},
        {controls.MnuNextInConversation, {QKeySequence(Qt::ALT | Qt::Key_PageDown)}},
        {controls.MnuPrevInConversation, {QKeySequence(Qt::ALT | Qt::Key_PageUp)}},
        {controls.MnuNextMessage, {QKeySequence(Qt::CTRL | Qt::Key_PageDown)}},
        {controls.MnuPrevMessage, {QKeySequence(Qt::CTRL | Qt::Key_PageUp)}},
        {controls.MnuNextHit, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown)}},
        {controls.MnuPrevHit, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp)}},
        {controls.MnuFlagMessage, {QKeySequence(Qt::CTRL | Qt::Key_D)}},
        // U for unread: N is taken by every program's "new file".
        {controls.MnuNewMessages, {QKeySequence(Qt::CTRL | Qt::Key_U)}},
        {controls.MnuSearchBox, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)}},
        // Ctrl+= is Ctrl+plus without Shift on most keyboards.
        {controls.MnuZoomIn, {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
        {controls.MnuZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
        {controls.MnuZoomReset, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
    };
    for (const auto &m : menuKeys) {
        m.action->setShortcuts(m.keys);
        // The window's keys work wherever the focus is in it, the page included.
        m.action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(controls.MnuKeyboard, &QAction::triggered, this, &KeyboardShortcuts::MnuKeyboard_Click);
    // The commands run exactly as their buttons run them, and not at all while those are off.
    for (const WindowKey &k : std::as_const(m_windowKeys))
        connect(new QShortcut(k.key, window), &QShortcut::activated, this, k.command);
}

QList<QPair<QString, QString>> KeyboardShortcuts::list() const
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
    for (const QAction *top : m_menuBar->actions()) {
        if (top->menu())
            addMenu(top->menu(), plainCaption(top->text()) + QStringLiteral(" > "));
    }
    for (const WindowKey &k : m_windowKeys)
        rows.append({k.key.toString(QKeySequence::NativeText), k.caption});
    rows.append({QStringLiteral("Left, Right"), QStringLiteral("On a slider: the next lower or higher message or hit")});
    rows.append({QStringLiteral("Space"), QStringLiteral("On < or >: one step; held, the steps repeat")});
    rows.append({QStringLiteral("Enter"), QStringLiteral("In the search box: search")});
    return rows;
}

void KeyboardShortcuts::MnuKeyboard_Click()
{
    QDialog dialog(m_window);
    dialog.setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    const QList<QPair<QString, QString>> rows = list();
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
