// SPDX-License-Identifier: GPL-3.0-or-later
// The walk that lists finds: the search's hits and the flagged messages alike.
#include "results/resultspanel.h"

#include "archive/deletionmark.h"
#include "archive/walkcursor.h"
#include "store/recordset.h"
#include "widgets/eventyield.h"

#include <QCoreApplication>

namespace {

// Events run after each of the first finds, then this often: through the index a find
// takes microseconds, and running the events after each would cost more than the walk.
constexpr int kYieldEveryFindUpTo = 16;
constexpr int kYieldEveryMs = 10;

}

Recordset::FindResult ResultsPanel::startWalk(WalkCursor &walk, const QString &text, const QString &criteria)
{
    beginWalk();
    Recordset *rs = walk.recordset();
    if (!rs)
        return Recordset::FindResult::NoMatch;
    rs->moveFirst();
    setResultsText(text);
    walk.letEventsRun([] {
        QCoreApplication::processEvents();
        return true;
    });
    rs = walk.recordset();
    return rs ? rs->findFirst(criteria) : Recordset::FindResult::NoMatch;
}

ResultsPanel::Walked ResultsPanel::walkFinds(WalkCursor &walk, const QString &criteria, int most, const Keep &keep)
{
    Walked walked;
    ResultList::Batch batch(m_hits);
    ResultList::Progress progress(lblResults);
    EventYield yield(kYieldEveryMs);
    Recordset *rs = walk.recordset();
    int visited = 0;
    while (rs && !rs->noMatch()) {
        // One read for the line and the flag: a walk through the index spends as long on
        // these reads as on finding the record.
        MessageRecord found;
        rs->current(&found, Recordset::Body::Skipped);
        if (!keep || keep(found)) {
            if (DeletionMark::isMarked(found.messdate))
                ++walked.flagged;
            batch.add({found.messnum, rs->bookmark().id});
        }
        const int count = batch.count();
        if (rs->findNext(criteria) == Recordset::FindResult::Error)
            walked.failure = rs->lastError();
        if (progress.due())
            progress.show(rs->noMatch() ? found.messnum : rs->field(QStringLiteral("messnum")).toInt(), count);
        if (count > most) {
            walked.overLimit = true;
            break;
        }
        if (interruptFlag) {
            walked.interrupted = true;
            break;
        }
        // The events run on the user's place (the < > buttons, an update run, the window
        // shown again); the walk goes on from its own find, so none is lost or listed
        // twice, and ends when the database was closed meanwhile.
        ++visited;
        const bool open = walk.letEventsRun([&] {
            if (visited > kYieldEveryFindUpTo)
                return yield();
            QCoreApplication::processEvents();
            return true;
        });
        if (!open)
            break;
        rs = walk.recordset();
    }
    batch.flush();
    walked.listed = m_hits->count();
    return walked;
}
