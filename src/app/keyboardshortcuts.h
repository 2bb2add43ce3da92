// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QAction;
class QMenuBar;
class QWidget;

// The keyboard: the usual keys on the menu items whose commands have none in the form,
// keys of the window's own for commands without a menu item (the browser's buttons, F3,
// the address bar), and the list of every key under Help > Keyboard Shortcuts.
class KeyboardShortcuts final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyboardShortcuts)

public:
    struct Controls
    {
        QMenuBar *menuBar; // read for the list
        QAction *MenuFileExit;
        QAction *MenuHelpContents;
        QAction *MnuViewConversation;
        QAction *MnuNextInConversation;
        QAction *MnuPrevInConversation;
        QAction *MnuNextMessage;
        QAction *MnuPrevMessage;
        QAction *MnuNextHit;
        QAction *MnuPrevHit;
        QAction *MnuFlagMessage;
        QAction *MnuNewMessages;
        QAction *MnuSearchBox;
        QAction *MnuZoomIn;
        QAction *MnuZoomOut;
        QAction *MnuZoomReset;
        QAction *MnuKeyboard;
    };
    // A key of the window's own: the owning part's command, and what the list calls it.
    struct WindowKey
    {
        QKeySequence key;
        std::function<void()> command;
        QString caption;
    };

    KeyboardShortcuts(const Controls &controls, QList<WindowKey> windowKeys, QWidget *window);

    // Each key with what it does: the menus' in menu order, then the window's own, then
    // those of the sliders, buttons and the search box.
    QList<QPair<QString, QString>> list() const;

private:
    void MnuKeyboard_Click();

    QMenuBar *m_menuBar;
    QWidget *m_window;
    QList<WindowKey> m_windowKeys;
};
