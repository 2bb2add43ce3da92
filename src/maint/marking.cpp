// SPDX-License-Identifier: GPL-3.0-or-later
// Deletion marks: the flag button of the message in view, the walk that flags or
// unflags every listed message, and the list of every flagged message.
#include "maint/maintenance.h"

#include "widgets/busystates.h"
#include "widgets/eventyield.h"
#include "widgets/icons.h"
#include "archive/messagearchive.h"
#include "archive/walkcursor.h"
#include "results/resultspanel.h"
#include "view/viewer.h"
#include "archive/deletionmark.h"
#include "store/recordset.h"
#include "results/resultline.h"

#include <QApplication>
#include <QLabel>
#include <QToolButton>

namespace {

// More than this many entries end the listing of flagged messages.
constexpr int kFlaggedListLimit = 30000;

QString numberCriteria(const QString &messnum)
{
    return QStringLiteral("messnum = ") + messnum;
}

}

void Maintenance::setMarkDeleteMarked(bool marked, MarkWording wording)
{
    // The button is given the holders' own picture objects, never copies, so
    // markRangeShowsSave can tell them apart by identity.
    CmdMarkDelete->setIcon(marked ? Icons::trashIcon() : Icons::saveIcon());
    if (!marked)
        CmdMarkDelete->setToolTip(QStringLiteral("Add deletion flag to current message"));
    else if (wording == MarkWording::From)
        CmdMarkDelete->setToolTip(QStringLiteral("Remove deletion flag from current message"));
    else
        CmdMarkDelete->setToolTip(QStringLiteral("Remove deletion flag to current message"));
}

void Maintenance::setMarkRangeMarked(bool marked)
{
    QLabel *const holder = marked ? PicTrash : PicSave;
    CmdMarkRange->setIcon(marked ? Icons::trashIcon() : Icons::saveIcon());
    CmdMarkRange->setToolTip(holder->toolTip());
}

bool Maintenance::markRangeShowsSave() const
{
    return CmdMarkRange->icon().cacheKey() == Icons::saveIcon().cacheKey();
}

void Maintenance::reportMarkFailure(const QString &what, const QString &reason)
{
    m_results->setResultsText(u' ' + what + QStringLiteral(": ") + reason);
}

void Maintenance::CmdMarkDelete_Click()
{
    Recordset *const rs = m_archive->recordset();
    const QString shownMsgNum = m_viewer->shownMessageNumber();
    if (!rs) {
        reportMarkFailure(QStringLiteral("The message could not be flagged"), QStringLiteral("no message database is open"));
        return;
    }
    // A search leaves the cursor on the first record and a walk on its last entry; the
    // button acts on the message in view.
    // No current record reads as no number.
    if (rs->field(QStringLiteral("messnum")).toString() != shownMsgNum)
        rs->findFirst(numberCriteria(shownMsgNum));
    const QVariant date = rs->field(QStringLiteral("messdate"));
    if (!date.isValid() || rs->field(QStringLiteral("messnum")).toString() != shownMsgNum) {
        reportMarkFailure(QStringLiteral("Message %1 could not be flagged").arg(shownMsgNum), rs->lastError());
        return;
    }
    const QString text = date.toString();
    const bool marking = !DeletionMark::isMarked(text);
    if (!rs->updateField(QStringLiteral("messdate"), marking ? DeletionMark::marked(text) : DeletionMark::unmarked(text))) {
        // The button keeps showing what the record holds.
        reportMarkFailure(QStringLiteral("Message %1 could not be flagged").arg(shownMsgNum), rs->lastError());
        return;
    }
    setMarkDeleteMarked(marking, MarkWording::To);
}

void Maintenance::CmdMarkRange_Click()
{
    m_busy->EnableOff();
    m_viewer->pauseRendering(true);
    const bool marking = markRangeShowsSave();
    setMarkRangeMarked(marking);
    QCoreApplication::processEvents();

    if (m_results->resultCount() > 1) {
        m_results->selectResult(1);
        QCoreApplication::processEvents();
        m_results->selectResult(0);
    }
    // The walk flags on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    EventYield yield;
    // The count is read afresh: the events let run may have emptied the list.
    for (int i = 0; i < m_results->resultCount(); ++i) {
        if (m_results->interruptRequested())
            break;
        const QString line = m_results->resultText(i);
        // Selecting moves the cursor only when the number differs from the one selected
        // last; a search leaves the cursor on the first record.
        m_results->selectResult(i);
        Recordset *rs = walk.recordset();
        const std::optional<qint32> number = ResultLine::number(line);
        if (!rs)
            break;
        if (!number)
            continue;
        const QString messnum = QString::number(*number);
        if (rs->field(QStringLiteral("messnum")).toString() != messnum) {
            if (rs->findFirst(numberCriteria(messnum)) == Recordset::FindResult::Error) {
                reportMarkFailure(QStringLiteral("Flagging stopped at message %1").arg(messnum), rs->lastError());
                break;
            }
        }
        if (!yieldInWalk(yield, walk))
            break;

        const QVariant date = rs->field(QStringLiteral("messdate"));
        if (!date.isValid() || rs->field(QStringLiteral("messnum")).toString() != messnum) {
            reportMarkFailure(QStringLiteral("Message %1 was skipped").arg(messnum),
                              date.isValid() ? QStringLiteral("it is no longer in the database") : rs->lastError());
            continue;
        }
        const QString text = date.toString();
        setMarkDeleteMarked(marking, MarkWording::To);
        if (!rs->updateField(QStringLiteral("messdate"), marking ? DeletionMark::marked(text) : DeletionMark::unmarked(text)))
            reportMarkFailure(QStringLiteral("Message %1 was skipped").arg(messnum), rs->lastError());
    }

    m_viewer->pauseRendering(false);
    m_busy->EnableOn();
    if (m_results->resultCount() > 0)
        CmdMarkDelete->setEnabled(true);
}

bool Maintenance::yieldInWalk(EventYield &yield, WalkCursor &walk)
{
    return walk.letEventsRun([&yield] { return yield(); });
}

QString Maintenance::walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit)
{
    m_busy->EnableOff();
    m_results->beginWalk();

    const QString criteria = DeletionMark::candidateCriteria();
    QString failure;
    // The walk reads on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    Recordset *rs = walk.recordset();
    Recordset::FindResult found = Recordset::FindResult::NoMatch;
    if (rs) {
        rs->moveFirst();
        m_results->setResultsText(startText);
        walk.letEventsRun([] {
            QCoreApplication::processEvents();
            return true;
        });
        rs = walk.recordset();
        if (rs)
            found = rs->findFirst(criteria);
    }
    EventYield yield;
    while (rs && found == Recordset::FindResult::Found) {
        if (!visit(*rs))
            break;
        if (!yieldInWalk(yield, walk))
            break;
        // On from the current position, so one pass over the table suffices. A find that
        // fails ends the walk like one that finds nothing, with the reason.
        found = rs->findNext(criteria);
        if (found == Recordset::FindResult::Error)
            failure = rs->lastError();
        if (m_results->interruptRequested()) {
            rs->moveFirst();
            m_viewer->showFirst();
            break;
        }
    }
    m_results->endWalk();
    return failure;
}

void Maintenance::cmdCheckDelete_Click()
{
    m_busy->EnableOff();
    m_results->beginWalk();
    const QString criteria = DeletionMark::candidateCriteria();
    // The walk reads on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    ResultsPanel::Walked walked;
    if (Recordset *rs = walk.recordset()) {
        rs->moveFirst();
        // "Searcing" is the earlier program's own text, kept as its users know it.
        m_results->setResultsText(QStringLiteral(" Searcing"));
        walk.letEventsRun([] {
            QCoreApplication::processEvents();
            return true;
        });
        rs = walk.recordset();
        const Recordset::FindResult found = rs ? rs->findFirst(criteria) : Recordset::FindResult::NoMatch;
        if (found == Recordset::FindResult::Found)
            walked = m_results->walkFinds(walk, criteria, kFlaggedListLimit,
                                          [](const MessageRecord &r) { return DeletionMark::isMarked(r.messdate); });
        else if (found == Recordset::FindResult::Error)
            walked.failure = rs->lastError();
    }
    if (walked.interrupted) {
        if (Recordset *rs = walk.recordset())
            rs->moveFirst();
        m_viewer->showFirst();
    }
    m_results->endWalk();
    showFlaggedListing(walked.listed, walked.failure);
    m_busy->EnableOn();
}

void Maintenance::showFlaggedListing(int count, const QString &failure)
{
    if (count >= 1) {
        CmdMarkRange->setEnabled(true);
        setMarkRangeMarked(true);
        QString text = u' ' + QString::number(count) + QStringLiteral(" Found");
        if (!failure.isEmpty())
            text += QStringLiteral(" - the search stopped: ") + failure;
        m_results->setResultsText(text);
        m_results->showListed(count);
        return;
    }
    // "Crrently" is the earlier program's own text, kept as its users know it.
    m_results->setResultsText(failure.isEmpty() ? QStringLiteral(" There Are Crrently No Messages Marked For Deletion")
                                                : QStringLiteral(" The search stopped: ") + failure);
    if (Recordset *rs = m_archive->recordset())
        rs->moveFirst();
    m_viewer->showFirst();
}
