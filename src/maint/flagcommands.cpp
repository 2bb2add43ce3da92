// SPDX-License-Identifier: GPL-3.0-or-later
#include "maint/flagcommands.h"

#include "browser/browserpane.h"

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

FlagCommands::FlagCommands(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results,
                           BrowserPane *pane, BusyStates *busy, QObject *parent)
    : QObject(parent)
    , CmdMarkDelete(controls.CmdMarkDelete)
    , CmdMarkRange(controls.CmdMarkRange)
    , cmdCheckDelete(controls.cmdCheckDelete)
    , PicTrash(controls.PicTrash)
    , PicSave(controls.PicSave)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_results(results)
    , m_busy(busy)
{
    PicTrash->setPixmap(Icons::trash());
    PicSave->setPixmap(Icons::save());
    CmdMarkDelete->setIcon(Icons::saveIcon());
    CmdMarkRange->setIcon(Icons::saveIcon());
    cmdCheckDelete->setIcon(QIcon(Icons::tick()));
    connect(CmdMarkDelete, &QToolButton::clicked, this, &FlagCommands::CmdMarkDelete_Click);
    connect(CmdMarkRange, &QToolButton::clicked, this, &FlagCommands::CmdMarkRange_Click);
    connect(cmdCheckDelete, &QToolButton::clicked, this, &FlagCommands::cmdCheckDelete_Click);
    // The flag button acts on the message page only, and shows the shown message's flag.
    connect(pane, &BrowserPane::pageStarting, this, [this] { CmdMarkDelete->setEnabled(false); });
    connect(pane, &BrowserPane::pageEntered, this, [this](bool messagePage) {
        if (messagePage)
            CmdMarkDelete->setEnabled(true);
    });
    connect(viewer, &Viewer::recordShown, this, [this](bool flagged) { setMarkDeleteMarked(flagged, MarkWording::From); });
    connect(results, &ResultsPanel::listed, this, &FlagCommands::setMarkRangeMarked);
}

void FlagCommands::enableKnowledgeBase(bool on)
{
    cmdCheckDelete->setEnabled(on);
    if (!on) {
        CmdMarkRange->setEnabled(false);
        CmdMarkDelete->setEnabled(false);
    } else if (m_results->resultCount() > 0) {
        CmdMarkRange->setEnabled(true);
    }
}

void FlagCommands::flagShownMessage()
{
    if (CmdMarkDelete->isEnabled())
        CmdMarkDelete_Click();
}

void FlagCommands::setMarkDeleteMarked(bool marked, MarkWording wording)
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

void FlagCommands::setMarkRangeMarked(bool marked)
{
    QLabel *const holder = marked ? PicTrash : PicSave;
    CmdMarkRange->setIcon(marked ? Icons::trashIcon() : Icons::saveIcon());
    CmdMarkRange->setToolTip(holder->toolTip());
}

bool FlagCommands::markRangeShowsSave() const
{
    return CmdMarkRange->icon().cacheKey() == Icons::saveIcon().cacheKey();
}

void FlagCommands::reportMarkFailure(const QString &what, const QString &reason)
{
    m_results->setResultsText(u' ' + what + QStringLiteral(": ") + reason);
}

void FlagCommands::CmdMarkDelete_Click()
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

void FlagCommands::CmdMarkRange_Click()
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
        if (!walk.letEventsRun([&yield] { return yield(); }))
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

void FlagCommands::cmdCheckDelete_Click()
{
    m_busy->EnableOff();
    const QString criteria = DeletionMark::candidateCriteria();
    // The walk reads on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    ResultsPanel::Walked walked;
    // "Searcing" is the earlier program's own text, kept as its users know it.
    const Recordset::FindResult found = m_results->startWalk(walk, QStringLiteral(" Searcing"), criteria);
    if (found == Recordset::FindResult::Found)
        walked = m_results->walkFinds(walk, criteria, kFlaggedListLimit,
                                      [](const MessageRecord &r) { return DeletionMark::isMarked(r.messdate); });
    else if (found == Recordset::FindResult::Error)
        walked.failure = walk.recordset()->lastError();
    if (walked.interrupted) {
        if (Recordset *rs = walk.recordset())
            rs->moveFirst();
        m_viewer->showFirst();
    }
    m_results->endWalk();
    showFlaggedListing(walked.listed, walked.failure);
    m_busy->EnableOn();
}

void FlagCommands::showFlaggedListing(int count, const QString &failure)
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
