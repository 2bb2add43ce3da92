// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/statusstrip.h"

#include "widgets/icons.h"
#include "status/workbar.h"
#include "widgets/elidedtext.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>

namespace {

// Records left to index below which the status line is left alone.
constexpr qint64 kQuietIndexWork = 5000;

}

StatusStrip::StatusStrip(const Controls &controls, QObject *parent)
    : QObject(parent)
    , stbar(controls.stbar)
    , LblStBar1(controls.LblStBar1)
    , PBar1(controls.PBar1)
    , PLockBox(controls.PLockBox)
    , PicLock(controls.PicLock)
    , LblUpdateStatus(controls.LblUpdateStatus)
    , m_workBar(new WorkBar(stbar, LblStBar1, PBar1, this))
{
    PicLock->setPixmap(Icons::lock());
    PicLock->setVisible(false);
    // A text too long for its box (an address, the count of missing numbers, why a run
    // stopped) ends in "..." there and is shown whole in its tip.
    ElidedText::attach(LblStBar1);
    ElidedText::attach(LblUpdateStatus);
}

void StatusStrip::showPageText(const QString &text)
{
    LblStBar1->setText(text);
    // A text longer than the box shows its beginning.
    LblStBar1->setCursorPosition(0);
}

QString StatusStrip::pageText() const
{
    return LblStBar1->text();
}

void StatusStrip::showPageProgress(int progress, int progressMax)
{
    // The bar refuses a maximum at or below its minimum and a value beyond its maximum;
    // each refusal skips only that step.
    if (progress > 0) {
        if (progressMax > PBar1->minimum())
            PBar1->setMaximum(progressMax);
        if (progress <= PBar1->maximum())
            PBar1->setValue(progress);
    }
    if (progress >= progressMax)
        PBar1->setValue(0);
}

void StatusStrip::showSecure(bool secure)
{
    PicLock->setVisible(secure);
}

void StatusStrip::showStatus(const QString &text)
{
    LblUpdateStatus->setText(text);
}

QString StatusStrip::statusText() const
{
    return LblUpdateStatus->text();
}

void StatusStrip::setForegroundWork(bool running)
{
    m_foreground = running;
}

void StatusStrip::showBackgroundProgress(const QString &text, qint64 done, qint64 total)
{
    // The foreground work's texts come first; the background's come back with its next step.
    if (m_foreground)
        return;
    if (LblUpdateStatus->text() != m_progressText)
        m_statusBefore = LblUpdateStatus->text();
    m_progressText = text;
    LblUpdateStatus->setText(text);
    m_workBar->show(text, done, total);
}

void StatusStrip::showIndexProgress(qint64 done, qint64 total)
{
    // A small archive, or an update's new messages, are in too soon to be worth a word.
    if (!showsBackgroundProgress() && total - done < kQuietIndexWork)
        return;
    const qint64 percent = total > 0 ? std::min<qint64>(100, done * 100 / total) : 100;
    showBackgroundProgress(QStringLiteral("Building the search index: %1%").arg(percent), done, total);
}

bool StatusStrip::showsBackgroundProgress() const
{
    return !m_progressText.isEmpty();
}

void StatusStrip::endBackgroundProgress()
{
    if (!m_progressText.isEmpty() && LblUpdateStatus->text() == m_progressText)
        LblUpdateStatus->setText(m_statusBefore);
    // Foreground work has the bar; other work took it only after this showed on it.
    if (!m_progressText.isEmpty() && !m_foreground)
        m_workBar->hide();
    m_progressText.clear();
}

WorkBar *StatusStrip::workBar() const
{
    return m_workBar;
}

int StatusStrip::height(int least) const
{
    return qMax(least, LblStBar1->sizeHint().height());
}

void StatusStrip::layout(int width, int height, int lockLeft)
{
    stbar->setGeometry(0, stbar->parentWidget()->height() - height, width, height);
    const int boxHeight = height - 2;
    LblStBar1->resize(LblStBar1->width(), height);
    PBar1->resize(PBar1->width(), boxHeight);
    PLockBox->resize(PLockBox->width(), boxHeight);
    PLockBox->move(lockLeft, 1);
    PBar1->move(lockLeft - PBar1->width(), 1);
    // The text ends at the page-load bar, or at the long work's bar while that shows.
    m_workBar->layout();
}
