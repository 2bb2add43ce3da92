// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultspanel.h"

#include "archive/messagearchive.h"
#include "browser/browserpane.h"
#include "store/recordset.h"
#include "view/viewer.h"

#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

ResultsPanel::ResultsPanel(const Controls &controls, MessageArchive *archive, Viewer *viewer, BrowserPane *pane,
                           QWidget *window)
    : QObject(window)
    , List1(controls.List1)
    , hscroll2(controls.hscroll2)
    , lblResults(controls.lblResults)
    , HPic2(controls.HPic2)
    , m_hits(new ResultModel(archive, this))
    , m_window(window)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_pane(pane)
{
    List1->setHitModel(m_hits);
    QFont unreadFont = List1->font();
    unreadFont.setBold(true);
    m_hits->setUnreadFont(unreadFont);
    // Sorted by a header click: the results slider follows the selected entry to its new place.
    connect(List1, &ResultTable::reordered, this, [this](int row) {
        if (row >= 0)
            followRow(row);
    });

    // A selection change (a click on another entry, the keys, or the program) runs the
    // click handling; a click on the entry already selected changes nothing, so the
    // mouse events catch that one.
    connect(List1, &ResultTable::entrySelectionChanged, this, &ResultsPanel::List1_SelectionChanged);
    List1->installEventFilter(this);
    List1->viewport()->installEventFilter(this);
    hscroll2->setTracking(false);
    // A scroll bar's arrow keys run against its drawing by default: Right would go to a
    // lower hit. Right and Up go on, as the thumb moves right.
    hscroll2->setInvertedControls(false);
    m_viewer->watchSteps(hscroll2);
    connect(hscroll2, &QScrollBar::valueChanged, this, &ResultsPanel::hscroll2_Change);
    connect(hscroll2, &QScrollBar::sliderMoved, this, &ResultsPanel::hscroll2_Scroll);
    connect(viewer, &Viewer::resultStep, this, &ResultsPanel::stepResultSlider);
    connect(pane, &BrowserPane::messagePageComplete, this, [this] {
        if (!m_viewer->keyboardOnSteps())
            List1->setFocus(Qt::OtherFocusReason);
    });
}

ResultsPanel::~ResultsPanel() = default;

bool ResultsPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Only keys and clicks are looked at. Other events also come while the window is torn
    // down, when the list may already be gone.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        break;
    default:
        return false;
    }
    if (watched == List1 && event->type() == QEvent::KeyPress) {
        // Tab moves on to the next control, as it does everywhere else.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (!text.isEmpty())
            List1_KeyPress(text.at(0).unicode());
        return false; // the list still handles the key
    }
    if (event->type() == QEvent::KeyPress || watched != List1->viewport() || !List1->isEnabled())
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const int row = List1->indexAt(mouse->position().toPoint()).row();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_list1PressedRow = (mouse->button() == Qt::LeftButton && row >= 0 && row == selectedResultRow()) ? row : -1;
        break;
    case QEvent::MouseButtonDblClick:
        // The second press of a double click is no click of its own.
        m_list1PressedRow = -1;
        break;
    case QEvent::MouseButtonRelease: {
        const int pressed = std::exchange(m_list1PressedRow, -1);
        if (mouse->button() == Qt::LeftButton && pressed >= 0 && row == pressed && pressed == selectedResultRow())
            List1_Click();
        break;
    }
    default:
        break;
    }
    return false;
}

// ---- the list and its slider ----

void ResultsPanel::stepResultSlider(int delta)
{
    // One position along the results slider, unless that would pass its end.
    const int value = hscroll2->value() + delta;
    if (value >= hscroll2->minimum() && value <= hscroll2->maximum())
        hscroll2->setValue(value);
}

void ResultsPanel::hscroll2_Change()
{
    hscroll2_Select(hscroll2->value());
}

void ResultsPanel::hscroll2_Scroll()
{
    m_pane->setPageFocusPending(false);
    hscroll2_Select(hscroll2->sliderPosition());
}

void ResultsPanel::hscroll2_Select(int index)
{
    if (index > List1->count() - 1 || listSyncing)
        return;
    if (selectedResultRow() < 0)
        return;
    List1->setCurrentRow(index);
    // Stepped by key, the slider keeps the focus, so the next key steps again.
    if (!m_viewer->keyboardOnSteps())
        List1->setFocus(Qt::OtherFocusReason);
}

void ResultsPanel::followRow(int row)
{
    listSyncing = true;
    hscroll2->setValue(row);
    listSyncing = false;
}

int ResultsPanel::selectedResultRow() const
{
    return List1->selectedRow();
}

void ResultsPanel::List1_SelectionChanged()
{
    // A selection that was only taken away selects nothing to show.
    if (selectedResultRow() >= 0)
        List1_Click();
}

void ResultsPanel::List1_Click()
{
    m_pane->setPageFocusPending(false);
    if (List1->count() == 0)
        return;
    const int row = selectedResultRow();
    if (row < 0)
        return;
    const qint32 n = m_hits->number(row);
    emit hitPicked();

    if (n == listMsgNum) {
        // Brings the message back after the user has browsed elsewhere.
        m_viewer->showAgain(n);
        return;
    }

    listMsgNum = n;
    m_viewer->showOnSlider(n);
    followRow(row);
}

void ResultsPanel::List1_KeyPress(int)
{
    m_pane->setPageFocusPending(false);
    m_window->setFocus(Qt::OtherFocusReason);
}

// ---- the list as the parts fill it ----

void ResultsPanel::requestInterrupt()
{
    interruptFlag = true;
}

bool ResultsPanel::interruptRequested() const
{
    return interruptFlag;
}

void ResultsPanel::clearInterrupt()
{
    interruptFlag = false;
}

void ResultsPanel::beginWalk()
{
    m_hits->clear();
    interruptFlag = false;
    ResultList::setForeColor(lblResults, ResultList::kRunningColor);
    HPic2->hide();
    lblResults->clear();
}

void ResultsPanel::endWalk()
{
    ResultList::setForeColor(lblResults, ResultList::kDoneColor);
}

void ResultsPanel::showRunning(const QString &text)
{
    // Painted at once: the walk that follows may hold the window a while.
    hscroll2->setValue(1);
    ResultList::setForeColor(lblResults, ResultList::kRunningColor);
    lblResults->setText(text);
    lblResults->repaint();
}

void ResultsPanel::setResultsText(const QString &text)
{
    lblResults->setText(text);
}

void ResultsPanel::clearResults()
{
    m_hits->clear();
}

void ResultsPanel::addHit(const ResultModel::Hit &hit)
{
    m_hits->append({hit});
}

void ResultsPanel::showListed(int count)
{
    hscroll2->setMaximum(count - 1);
    HPic2->show();
    List1->setCurrentRow(0);
    // The busy state still holds the list disabled, and a disabled list takes no focus.
    List1->setEnabled(true);
    List1->setFocus(Qt::OtherFocusReason);
}

void ResultsPanel::showSearchCount(bool overLimit, const QString &failure)
{
    const int lines = List1->count();
    hscroll2->setMaximum(1);
    if (lines > 1) {
        hscroll2->setMaximum(lines - 1);
        hscroll2->setValue(0);
    }
    hscroll2->setValue(0);

    ResultList::setForeColor(lblResults, ResultList::kDoneColor);
    if (lines == 0) {
        lblResults->setText(QStringLiteral(" No messages found"));
        return;
    }
    List1->setCurrentRow(0);
    QString text = overLimit ? QStringLiteral("Found>5,000") : u' ' + QString::number(lines) + QStringLiteral(" Found");
    // A store that fails part way must not pass for a complete search.
    if (!failure.isEmpty())
        text += QStringLiteral(" - the search stopped: ") + failure;
    lblResults->setText(text);
}

void ResultsPanel::selectFirstListed()
{
    if (List1->count() <= 1)
        return;
    // Selected away and back, so that the first entry's message is shown.
    List1->setCurrentRow(1);
    QCoreApplication::processEvents();
    List1->setCurrentRow(0);
    HPic2->show();
    // The busy state may still hold the list disabled, and a disabled list takes no focus.
    List1->setEnabled(true);
    List1->setFocus(Qt::OtherFocusReason);
}

void ResultsPanel::showHits(std::vector<ResultModel::Hit> hits, int selectRow, qint32 shownNumber,
                            const QString &text)
{
    const int count = int(hits.size());
    m_hits->setHits(std::move(hits));
    ResultList::setForeColor(lblResults, ResultList::kDoneColor);
    lblResults->setText(text);
    hscroll2->setMaximum(std::max(1, count - 1));
    {
        const QSignalBlocker blocker(List1);
        const QSignalBlocker blockSelection(List1->selectionModel());
        List1->setCurrentRow(selectRow);
    }
    listMsgNum = shownNumber;
    followRow(selectRow);
    if (count > 1)
        HPic2->show();
    List1->setEnabled(true);
    List1->setFocus(Qt::ShortcutFocusReason);
}

void ResultsPanel::listFound(std::vector<ResultModel::Hit> hits, bool overLimit)
{
    beginWalk();
    const bool none = hits.empty();
    m_hits->setHits(std::move(hits));
    endWalk();
    if (none)
        setResultsText(QStringLiteral(" No Messages Found"));
    else
        showSearchCount(overLimit, {});
    selectFirstListed();
    announceListed(none);
}

void ResultsPanel::readChanged(qint32 messnum)
{
    m_hits->readChanged(messnum);
}

void ResultsPanel::allRead()
{
    m_hits->forgetFields();
}

void ResultsPanel::announceListed(bool allFlagged)
{
    emit listed(allFlagged);
}

void ResultsPanel::enableKnowledgeBase(bool on)
{
    hscroll2->setEnabled(on);
    List1->setEnabled(on);
}

void ResultsPanel::hideResultSlider()
{
    HPic2->hide();
}

// ---- reading it ----

int ResultsPanel::resultCount() const
{
    return List1->count();
}

QString ResultsPanel::resultText(int row) const
{
    return m_hits->lineText(row);
}

QList<qint32> ResultsPanel::listedNumbers() const
{
    return m_hits->numbers();
}

void ResultsPanel::selectResult(int row)
{
    List1->setCurrentRow(row);
}

int ResultsPanel::rowOf(qint32 messnum) const
{
    return m_hits->rowOf(messnum);
}

QList<int> ResultsPanel::resultColumnWidths() const
{
    return List1->columnWidths();
}

void ResultsPanel::setResultColumnWidths(const QList<int> &widths)
{
    List1->setColumnWidths(widths);
}
