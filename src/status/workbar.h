// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QProgressBar;
class QWidget;

// The status strip's bar for long work (an update, the search index build, a compaction,
// a rescue): hidden while none runs; it counts where the work knows how much there is, and
// is busy where it does not. It stands left of the page-load bar, and the status text
// beside it makes room for it while it shows.
class WorkBar final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WorkBar)

public:
    // The bar goes into `strip` between `textBeside` and `rightNeighbour`.
    WorkBar(QWidget *strip, QWidget *textBeside, QWidget *rightNeighbour, QObject *parent);

    // `what` says what runs (its tool tip); a total of 0 is not known (yet).
    void show(const QString &what, qint64 done, qint64 total);
    void hide();
    // For work that keeps the event loop waiting until it ends (a compaction, a rescue):
    // the strip is painted at once, as often as a person sees the bar move.
    void paintNow();
    // Places the bar and the text beside it; the window calls it when it lays out the strip.
    void layout();

    QProgressBar *bar() const;

private:
    QWidget *m_strip;
    QWidget *m_text;
    QWidget *m_right;
    QProgressBar *m_bar;
    QElapsedTimer m_sincePaint;
    bool m_paintedBusy = false;
};
