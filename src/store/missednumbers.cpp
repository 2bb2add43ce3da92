// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/missednumbers.h"

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

namespace {

// Statements are made for each call and finalized at once: a statement left prepared
// would keep the file open after the message database is closed for compaction.
struct Query
{
    SqliteStatement statement;
    bool ok = false;
    Query(SqliteDb &db, const char *sql) { ok = statement.prepare(db, sql, false); }
};

}

MissedNumbers::MissedNumbers(SqliteDb &db)
    : m_db(db)
{
}

bool MissedNumbers::prepare()
{
    m_usable = m_db.exec("CREATE TABLE IF NOT EXISTS veltra_missed ("
                         " messnum INTEGER PRIMARY KEY,"
                         " reason TEXT NOT NULL,"
                         " tries INTEGER NOT NULL,"
                         " lasttry INTEGER NOT NULL)");
    return m_usable;
}

QList<qint32> MissedNumbers::due(qint64 now, int triesBeforeRest, qint64 restSeconds)
{
    QList<qint32> numbers;
    if (!m_usable)
        return numbers;
    Query q(m_db, "SELECT messnum FROM veltra_missed WHERE tries < ?1 OR lasttry <= ?2 ORDER BY messnum");
    if (!q.ok || !q.statement.bindInt64(1, triesBeforeRest) || !q.statement.bindInt64(2, now - restSeconds))
        return numbers;
    while (q.statement.step() == SqliteStatement::Step::Row)
        numbers << qint32(q.statement.columnInt64(0));
    return numbers;
}

qint32 MissedNumbers::highest()
{
    if (!m_usable)
        return 0;
    Query q(m_db, "SELECT max(messnum) FROM veltra_missed");
    return q.ok && q.statement.step() == SqliteStatement::Step::Row ? qint32(q.statement.columnInt64(0)) : 0;
}

int MissedNumbers::count()
{
    if (!m_usable)
        return 0;
    Query q(m_db, "SELECT count(*) FROM veltra_missed");
    return q.ok && q.statement.step() == SqliteStatement::Step::Row ? int(q.statement.columnInt64(0)) : 0;
}

std::optional<MissedNumbers::Entry> MissedNumbers::entry(qint32 number)
{
    if (!m_usable)
        return std::nullopt;
    Query q(m_db, "SELECT reason, tries, lasttry FROM veltra_missed WHERE messnum = ?1");
    if (!q.ok || !q.statement.bindInt64(1, number) || q.statement.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    return Entry{number, q.statement.columnText(0), int(q.statement.columnInt64(1)), q.statement.columnInt64(2)};
}

QList<MissedNumbers::Entry> MissedNumbers::entries()
{
    QList<Entry> out;
    if (!m_usable)
        return out;
    Query q(m_db, "SELECT messnum, reason, tries, lasttry FROM veltra_missed ORDER BY messnum");
    while (q.ok && q.statement.step() == SqliteStatement::Step::Row)
        out << Entry{qint32(q.statement.columnInt64(0)), q.statement.columnText(1), int(q.statement.columnInt64(2)),
                     q.statement.columnInt64(3)};
    return out;
}

bool MissedNumbers::notYetOnServer(const QString &reason)
{
    return reason.startsWith(QLatin1String("the update server had no page for it"))
           || reason == QLatin1String("the server answered with status 404")
           || reason == QLatin1String("the server answered with status 410");
}

bool MissedNumbers::remember(qint32 number, const QString &reason, qint64 now)
{
    return rememberRange(number, number, reason, now);
}

bool MissedNumbers::rememberRange(qint32 first, qint32 last, const QString &reason, qint64 now)
{
    if (!m_usable)
        return false;
    Query q(m_db, "WITH RECURSIVE n(x) AS (SELECT ?1 UNION ALL SELECT x + 1 FROM n WHERE x < ?2)"
                  " INSERT INTO veltra_missed (messnum, reason, tries, lasttry) SELECT x, ?3, 1, ?4 FROM n WHERE true"
                  " ON CONFLICT (messnum) DO UPDATE SET reason = excluded.reason, tries = tries + 1,"
                  " lasttry = excluded.lasttry");
    return q.ok && q.statement.bindInt64(1, first) && q.statement.bindInt64(2, last) && q.statement.bindText(3, reason)
           && q.statement.bindInt64(4, now) && q.statement.step() == SqliteStatement::Step::Done;
}

bool MissedNumbers::forget(qint32 number)
{
    if (!m_usable)
        return true;
    Query q(m_db, "DELETE FROM veltra_missed WHERE messnum = ?1");
    return q.ok && q.statement.bindInt64(1, number) && q.statement.step() == SqliteStatement::Step::Done;
}

QString MissedNumbers::lastError() const
{
    return m_db.lastError();
}
