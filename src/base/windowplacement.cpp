// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/windowplacement.h"

#include <algorithm>

namespace {

qint64 area(const QRect &r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The parts of `r` outside `cut`: up to four rects, a band above and below, then the
// pieces left and right of it.
QList<QRect> minus(const QRect &r, const QRect &cut)
{
    const QRect overlap = r & cut;
    if (overlap.isEmpty())
        return {r};
    QList<QRect> rest;
    if (overlap.top() > r.top())
        rest << QRect(QPoint(r.left(), r.top()), QPoint(r.right(), overlap.top() - 1));
    if (overlap.bottom() < r.bottom())
        rest << QRect(QPoint(r.left(), overlap.bottom() + 1), QPoint(r.right(), r.bottom()));
    if (overlap.left() > r.left())
        rest << QRect(QPoint(r.left(), overlap.top()), QPoint(overlap.left() - 1, overlap.bottom()));
    if (overlap.right() < r.right())
        rest << QRect(QPoint(overlap.right() + 1, overlap.top()), QPoint(r.right(), overlap.bottom()));
    return rest;
}

// Screens may overlap (a mirrored one), so what is left off them is cut out screen by screen
// rather than their shares added up.
bool whollyOn(const QRect &r, const QList<QRect> &screens)
{
    QList<QRect> outside{r};
    for (const QRect &screen : screens) {
        QList<QRect> next;
        for (const QRect &part : outside)
            next << minus(part, screen);
        outside = next;
    }
    return outside.isEmpty();
}

}

namespace WindowPlacement {

QRect fitted(const QRect &saved, const QList<QRect> &screens)
{
    if (screens.isEmpty() || saved.isEmpty())
        return screens.isEmpty() ? saved : QRect();
    if (whollyOn(saved, screens))
        return saved;
    const QRect *best = &screens.front();
    qint64 bestArea = 0;
    for (const QRect &screen : screens) {
        const qint64 covered = area(saved & screen);
        if (covered > bestArea) {
            bestArea = covered;
            best = &screen;
        }
    }
    // Never larger than that screen, which a damaged file or another scale factor would give.
    QRect moved(saved.topLeft(), saved.size().boundedTo(best->size()));
    if (bestArea == 0)
        moved.moveCenter(best->center());
    moved.moveLeft(std::clamp(moved.left(), best->left(), best->right() - moved.width() + 1));
    moved.moveTop(std::clamp(moved.top(), best->top(), best->bottom() - moved.height() + 1));
    return moved;
}

}
