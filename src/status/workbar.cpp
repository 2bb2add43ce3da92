// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/workbar.h"

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <limits>

namespace {

constexpr int kWidth = 120; // pixels
// A person sees a bar move about ten times a second; more paints only slow the work.
constexpr int kPaintIntervalMs = 100;
constexpr qint64 kMostSteps = std::numeric_limits<int>::max();

}

WorkBar::WorkBar(QWidget *strip, QWidget *textBeside, QWidget *rightNeighbour, QObject *parent)
    : QObject(parent)
    , m_strip(strip)
    , m_text(textBeside)
    , m_right(rightNeighbour)
    , m_bar(new QProgressBar(strip))
{
    m_bar->setObjectName(QStringLiteral("PBarWork"));
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    m_bar->setFocusPolicy(Qt::NoFocus);
    m_bar->hide();
}

QProgressBar *WorkBar::bar() const
{
    return m_bar;
}

void WorkBar::show(const QString &what, qint64 done, qint64 total)
{
    if (total > 0) {
        // The bar counts in int: larger totals (a file's bytes) are counted in larger steps.
        const qint64 step = total / kMostSteps + 1;
        m_bar->setRange(0, int(total / step));
        m_bar->setValue(int(std::clamp<qint64>(done, 0, total) / step));
    } else {
        m_bar->setRange(0, 0);
    }
    m_bar->setToolTip(what);
    if (m_bar->isHidden()) {
        m_bar->show();
        layout();
    }
}

void WorkBar::hide()
{
    m_sincePaint.invalidate();
    if (m_bar->isHidden())
        return;
    m_bar->hide();
    m_bar->reset();
    layout();
}

void WorkBar::paintNow()
{
    // Going from counting to busy is shown at once: the work may hold the window a while then.
    const bool busy = m_bar->maximum() == 0;
    if (m_sincePaint.isValid() && m_sincePaint.elapsed() < kPaintIntervalMs && busy == m_paintedBusy)
        return;
    m_sincePaint.start();
    m_paintedBusy = busy;
    m_strip->repaint();
}

void WorkBar::layout()
{
    const QRect right = m_right->geometry();
    m_bar->setGeometry(right.x() - kWidth, right.y(), kWidth, right.height());
    const int textEnd = m_bar->isHidden() ? right.x() : m_bar->x();
    m_text->resize(std::max(0, textEnd - m_text->x()), m_text->height());
}
