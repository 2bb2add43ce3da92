// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/windowplacement.h"

#include <algorithm>

namespace {

// Enough of the top edge to take hold of the title bar with the pointer.
constexpr int kTitleBarHeight = 24;

qint64 area(const QRect &r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

}

namespace WindowPlacement {

QRect fitted(const QRect &saved, const QList<QRect> &screens)
{
    if (screens.isEmpty() || saved.isEmpty())
        return screens.isEmpty() ? saved : QRect();
    const QRect *best = nullptr;
    qint64 bestArea = 0;
    for (const QRect &screen : screens) {
        const qint64 covered = area(saved & screen);
        if (covered > bestArea) {
            bestArea = covered;
            best = &screen;
        }
    }
    if (!best)
        return {};
    // Never larger than that screen, which a damaged file or another scale factor would give.
    QRect moved(saved.topLeft(), saved.size().boundedTo(best->size()));
    const QRect titleBar(moved.left(), moved.top(), moved.width(), std::min(kTitleBarHeight, moved.height()));
    const QRect titleShown = titleBar & *best;
    const bool reachable = titleShown.height() == titleBar.height() && 2 * area(titleShown) >= area(titleBar);
    if (reachable && 2 * area(moved & *best) >= area(moved))
        return moved;
    moved.moveLeft(std::clamp(moved.left(), best->left(), best->right() - moved.width() + 1));
    moved.moveTop(std::clamp(moved.top(), best->top(), best->bottom() - moved.height() + 1));
    return moved;
}

}
