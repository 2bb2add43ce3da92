// SPDX-License-Identifier: GPL-3.0-or-later
// The result list and its slider: picking a hit shows it, and the walks of other parts
// (listing and flagging) fill and read the list through the panel.
#include "search/searchpanel.h"

#include "browser/browserpane.h"
#include "convert/htmltext.h"
#include "view/resultline.h"
#include "view/viewer.h"
#include "archive/messagearchive.h"
#include "store/recordset.h"

#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>

#include <optional>
#include <utility>

bool SearchPanel::listEventFilter(QObject *watched, QEvent *event)
{
    QListWidget *const list = List1;
    if (watched == list && event->type() == QEvent::KeyPress) {
        // Tab moves on to the next control, as it does everywhere else.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (!text.isEmpty())
            List1_KeyPress(text.at(0).unicode());
        return false; // the list still handles the key
    }
    if (watched != list->viewport() || !list->isEnabled())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int row = list->indexAt(mouse->position().toPoint()).row();
        m_list1PressedRow = (mouse->button() == Qt::LeftButton && row >= 0 && row == selectedResultRow()) ? row : -1;
        break;
    }
    case QEvent::MouseButtonDblClick:
        // The second press of a double click is no click of its own.
        m_list1PressedRow = -1;
        break;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int pressed = std::exchange(m_list1PressedRow, -1);
        if (mouse->button() == Qt::LeftButton && pressed >= 0
            && list->indexAt(mouse->position().toPoint()).row() == pressed && pressed == selectedResultRow())
            List1_Click();
        break;
    }
    default:
        break;
    }
    return false;
}

void SearchPanel::stepResultSlider(int delta)
{
    // One position along the results slider, unless that would pass its end.
    const int value = hscroll2->value() + delta;
    if (value >= hscroll2->minimum() && value <= hscroll2->maximum())
        hscroll2->setValue(value);
}

void SearchPanel::hscroll2_Change()
{
    hscroll2_Select(hscroll2->value());
}

void SearchPanel::hscroll2_Scroll()
{
    m_pane->setPageFocusPending(false);
    hscroll2_Select(hscroll2->sliderPosition());
}

void SearchPanel::hscroll2_Select(int index)
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

int SearchPanel::selectedResultRow() const
{
    const QList<QListWidgetItem *> selected = List1->selectedItems();
    return selected.isEmpty() ? -1 : List1->row(selected.first());
}

void SearchPanel::List1_SelectionChanged()
{
    // A selection that was only taken away selects nothing to show.
    if (selectedResultRow() >= 0)
        List1_Click();
}

void SearchPanel::List1_Click()
{
    m_pane->setPageFocusPending(false);
    if (List1->count() == 0)
        return;
    const int row = selectedResultRow();
    if (row < 0)
        return;
    const std::optional<qint32> number = ResultLine::number(List1->item(row)->text());
    if (!number)
        return;
    const qint32 n = *number;
    searchHitShown();

    if (n == listMsgNum) {
        // Brings the message back after the user has browsed elsewhere.
        m_viewer->showAgain(n);
        return;
    }

    listMsgNum = n;
    m_viewer->showOnSlider(n);
    listSyncing = true;
    hscroll2->setValue(row);
    listSyncing = false;
}

void SearchPanel::List1_KeyPress(int)
{
    m_pane->setPageFocusPending(false);
    m_window->setFocus(Qt::OtherFocusReason);
}

// ---- the list as other parts' walks use it ----

void SearchPanel::beginWalk()
{
    List1->clear();
    interruptFlag = false;
    ResultList::setForeColor(lblResults, ResultList::kRunningColor);
    HPic2->hide();
    lblResults->clear();
}

void SearchPanel::endWalk()
{
    ResultList::setForeColor(lblResults, ResultList::kDoneColor);
}

void SearchPanel::setResultsText(const QString &text)
{
    lblResults->setText(text);
}

void SearchPanel::clearResults()
{
    List1->clear();
}

int SearchPanel::resultCount() const
{
    return List1->count();
}

QString SearchPanel::resultText(int row) const
{
    return List1->item(row)->text();
}

void SearchPanel::selectResult(int row)
{
    List1->setCurrentRow(row);
}

void SearchPanel::showListed(int count)
{
    hscroll2->setMaximum(count - 1);
    HPic2->show();
    List1->setCurrentRow(0);
    // The busy state still holds the list disabled, and a disabled list takes no focus.
    List1->setEnabled(true);
    List1->setFocus(Qt::OtherFocusReason);
}

ResultList::Batch SearchPanel::resultBatch() const
{
    return ResultList::Batch(List1);
}

ResultList::Progress SearchPanel::resultProgress() const
{
    return ResultList::Progress(lblResults);
}

void SearchPanel::hideResultSlider()
{
    HPic2->hide();
}

QList<int> SearchPanel::resultColumnWidths() const
{
    return List1->columnWidths();
}

void SearchPanel::setResultColumnWidths(const QList<int> &widths)
{
    List1->setColumnWidths(widths);
}

void SearchPanel::focusSearchBox()
{
    Combo1->setFocus(Qt::ShortcutFocusReason);
    if (QLineEdit *edit = Combo1->lineEdit())
        edit->selectAll();
}

std::optional<ResultListWidget::Details> SearchPanel::readDetails(qint32 messnum)
{
    Recordset *const rs = m_archive->recordset();
    if (!rs)
        return std::nullopt;
    if (m_detailsGeneration != m_archive->generation() || !m_detailsStatement.isPrepared()) {
        m_detailsStatement.finalize();
        m_detailsGeneration = m_archive->generation();
        // The first record of the number is the one picking the entry shows.
        if (!m_detailsStatement.prepare(rs->connection(),
                                        "SELECT messauthor, messdate FROM veltra WHERE messnum = ? ORDER BY rowid LIMIT 1"))
            return std::nullopt;
    }
    const ResetOnExit reset(m_detailsStatement);
    if (!m_detailsStatement.bindInt64(1, messnum) || m_detailsStatement.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    // Authors are stored as the group's pages write them, "&lt;" and all.
    return ResultListWidget::Details{QString::fromUtf8(HtmlText::decodeEntities(m_detailsStatement.columnBytes(0))),
                                     m_detailsStatement.columnText(1)};
}
