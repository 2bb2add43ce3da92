// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>

#include <initializer_list>
#include <utility>

// Each menu item's click to its owner's handler.
template <class Owner>
void connectMenus(Owner *owner, std::initializer_list<std::pair<QAction *, void (Owner::*)()>> menus)
{
    for (const auto &[action, handler] : menus)
        QObject::connect(action, &QAction::triggered, owner, handler);
}

// A menu item with a check mark whose handler sets the mark itself: the action's own
// toggle is undone before the handler runs.
template <class Owner>
void connectCheckMark(QAction *action, Owner *owner, void (Owner::*handler)())
{
    QObject::connect(action, &QAction::triggered, owner, [owner, action, handler](bool checkedByAction) {
        action->setChecked(!checkedByAction);
        (owner->*handler)();
    });
}
