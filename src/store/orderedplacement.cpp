// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/orderedplacement.h"

#include "store/sqlitestatement.h"
#include "store/statementcatalogue.h"

#include <algorithm>

namespace {

// The id a record numbered n is given; false on failure. Appended records keep one free id
// for each number skipped before them, so a number fetched later finds its place free;
// where there is none (a file written otherwise), the record goes to the end rather than
// wait.
bool placeFor(StatementCatalogue &statements, qint64 n, qint64 highestDeleted, qint64 *id)
{
    using Numbered = StatementCatalogue::Numbered;
    std::optional<Numbered> last;
    std::optional<Numbered> after;
    if (!statements.queryNumbered(StatementCatalogue::LastNumbered, std::nullopt, &last)
        || !statements.queryNumbered(StatementCatalogue::Successor, n, &after))
        return false;
    const qint64 end = std::max(last ? last->id : 0, highestDeleted);
    if (!after || !last) {
        const qint64 gap = last && last->whole && last->number < n ? n - last->number : 1;
        *id = end + gap;
        return true;
    }
    std::optional<Numbered> before;
    if (!statements.queryNumbered(StatementCatalogue::Predecessor, n, &before))
        return false;
    const qint64 low = before ? before->id : 0;
    const qint64 high = after->id;
    *id = end + 1;
    if (high - low < 2)
        return true;
    const qint64 wanted = before ? before->id + (n - before->number) : high - 1;
    const qint64 candidate = std::clamp(wanted, low + 1, high - 1);
    std::optional<qint64> taken;
    if (!statements.queryId(StatementCatalogue::Exists, candidate, &taken))
        return false;
    if (!taken)
        *id = candidate;
    return true;
}

} // namespace

namespace OrderedPlacement {

Recordset::AddResult add(StatementCatalogue &statements, const MessageRecord &record, qint64 highestDeleted)
{
    std::optional<qint64> stored;
    if (!statements.queryId(StatementCatalogue::NumberStored, record.messnum, &stored))
        return Recordset::AddResult::Failed;
    if (stored)
        return Recordset::AddResult::AlreadyStored;
    qint64 id = 0;
    if (!placeFor(statements, record.messnum, highestDeleted, &id))
        return Recordset::AddResult::Failed;
    SqliteStatement *s = statements.statement(StatementCatalogue::InsertAt);
    if (!s)
        return Recordset::AddResult::Failed;
    ResetOnExit resetter(*s);
    const bool bound = s->bindInt64(1, id) && s->bindInt64(2, record.messnum) && s->bindText(3, record.messauthor)
                       && s->bindText(4, record.messdate) && s->bindText(5, record.messtitle)
                       && s->bindText(6, record.message);
    if (!bound || s->step() != SqliteStatement::Step::Done) {
        statements.failed();
        return Recordset::AddResult::Failed;
    }
    return Recordset::AddResult::Added;
}

}
