// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/readstate.h"

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"

namespace {

constexpr int kFormat = 1;

constexpr char kDrop[] = "DROP TRIGGER IF EXISTS veltra_unread_insert;"
                         "DROP TRIGGER IF EXISTS veltra_unread_delete;"
                         "DROP TABLE IF EXISTS veltra_unread;"
                         "DROP TABLE IF EXISTS veltra_unread_state;";
// A number stays unread while any record of it is left; a record stored again under a
// number already read makes it new again.
constexpr char kCreate[] = "CREATE TABLE veltra_unread(messnum INTEGER PRIMARY KEY);"
                           "CREATE TABLE veltra_unread_state(format INTEGER NOT NULL);"
                           "INSERT INTO veltra_unread_state(format) VALUES (1);"
                           "CREATE TRIGGER veltra_unread_insert AFTER INSERT ON veltra"
                           " BEGIN INSERT OR IGNORE INTO veltra_unread(messnum) VALUES (new.messnum); END;"
                           "CREATE TRIGGER veltra_unread_delete AFTER DELETE ON veltra"
                           " WHEN NOT EXISTS (SELECT 1 FROM veltra WHERE messnum = old.messnum)"
                           " BEGIN DELETE FROM veltra_unread WHERE messnum = old.messnum; END;";
constexpr char kFillAll[] = "INSERT OR IGNORE INTO veltra_unread(messnum) SELECT messnum FROM veltra";

bool hasAny(SqliteDb &db, const char *sql)
{
    SqliteStatement s;
    return s.prepare(db, sql, false) && s.step() == SqliteStatement::Step::Row && s.columnInt64(0) > 0;
}

}

ReadState::ReadState(SqliteDb &db)
    : m_db(db)
{
}

ReadState::Found ReadState::inspect(SqliteDb &db)
{
    if (!hasAny(db, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'veltra\\_unread%' ESCAPE '\\'"))
        return Found::Missing;
    SqliteStatement state;
    if (!state.prepare(db, "SELECT format FROM veltra_unread_state", false) || state.step() != SqliteStatement::Step::Row)
        return Found::Damaged;
    const qint64 format = state.columnInt64(0);
    if (format > kFormat)
        return Found::Newer;
    SqliteStatement probe;
    const bool readable = probe.prepare(db, "SELECT messnum FROM veltra_unread ORDER BY messnum DESC LIMIT 1", false)
                          && probe.step() != SqliteStatement::Step::Error;
    const bool triggers = hasAny(db, "SELECT count(*) = 2 FROM sqlite_master WHERE type = 'trigger'"
                                     " AND name IN ('veltra_unread_insert', 'veltra_unread_delete')");
    return readable && triggers && format == kFormat ? Found::Sound : Found::Damaged;
}

ReadState::Found ReadState::open()
{
    m_found = inspect(m_db);
    // A new database has nothing to have read: it is given the table at once, unsaid.
    if (m_found == Found::Missing && !hasAny(m_db, "SELECT count(*) FROM (SELECT 1 FROM veltra LIMIT 1)") && rewrite())
        m_found = Found::Sound;
    m_usable = m_found == Found::Sound;
    return m_found;
}

ReadState::Found ReadState::found() const
{
    return m_found;
}

bool ReadState::isUsable() const
{
    return m_usable;
}

void ReadState::markRead(qint32 messnum)
{
    if (messnum <= 0)
        return;
    if (!m_marked.contains(messnum)) {
        m_marked.insert(messnum);
        m_pending.insert(messnum);
    }
}

bool ReadState::isMarked(qint32 messnum) const
{
    return m_marked.contains(messnum);
}

bool ReadState::hasPending() const
{
    return !m_pending.isEmpty() || !m_usable;
}

bool ReadState::flush()
{
    if (!m_usable)
        return rewrite();
    if (m_pending.isEmpty())
        return true;
    SqliteTransaction transaction(m_db);
    SqliteStatement erase;
    if (!transaction.isActive() || !erase.prepare(m_db, "DELETE FROM veltra_unread WHERE messnum = ?1", false)) {
        m_error = m_db.lastError();
        return false;
    }
    for (const qint32 n : std::as_const(m_pending)) {
        erase.reset();
        if (!erase.bindInt64(1, n) || erase.step() != SqliteStatement::Step::Done) {
            m_error = m_db.lastError();
            return false;
        }
    }
    if (!transaction.commit()) {
        m_error = m_db.lastError();
        return false;
    }
    m_pending.clear();
    return true;
}

bool ReadState::rewrite()
{
    SqliteTransaction transaction(m_db);
    SqliteStatement erase;
    const bool ok = transaction.isActive() && m_db.exec(kDrop) && m_db.exec(kCreate) && m_db.exec(kFillAll)
                    && erase.prepare(m_db, "DELETE FROM veltra_unread WHERE messnum = ?1", false);
    bool erased = ok;
    for (auto it = m_marked.cbegin(); erased && it != m_marked.cend(); ++it) {
        erase.reset();
        erased = erase.bindInt64(1, *it) && erase.step() == SqliteStatement::Step::Done;
    }
    if (!erased || !transaction.commit()) {
        m_error = m_db.lastError();
        return false;
    }
    m_usable = true;
    m_pending.clear();
    return true;
}

bool ReadState::markAllRead()
{
    m_pending.clear();
    if (!m_usable && !rewrite())
        return false;
    if (!m_db.exec("DELETE FROM veltra_unread")) {
        m_error = m_db.lastError();
        return false;
    }
    return true;
}

std::vector<ReadState::Hit> ReadState::unread(int most)
{
    std::vector<Hit> hits;
    SqliteStatement s;
    // Without a usable table every number is new but those shown in this run.
    const QByteArray sql = m_usable ? "SELECT u.messnum, (SELECT min(rowid) FROM veltra v WHERE v.messnum = u.messnum)"
                                      " FROM veltra_unread u ORDER BY u.messnum"
                                    : "SELECT messnum, min(rowid) FROM veltra GROUP BY messnum ORDER BY messnum";
    if (!s.prepare(m_db, sql, false)) {
        m_error = m_db.lastError();
        return hits;
    }
    while (int(hits.size()) < most && s.step() == SqliteStatement::Step::Row) {
        const auto n = qint32(s.columnInt64(0));
        if (!s.columnIsNull(1) && !m_marked.contains(n))
            hits.push_back({n, s.columnInt64(1)});
    }
    return hits;
}

QByteArray ReadState::unreadColumn() const
{
    return m_usable ? "EXISTS (SELECT 1 FROM veltra_unread u WHERE u.messnum = veltra.messnum)" : "1";
}

bool ReadState::copy(SqliteDb &source, SqliteDb &target)
{
    const bool readable = inspect(source) == Found::Sound;
    if (!target.exec(kDrop) || !target.exec(kCreate))
        return false;
    if (!readable)
        return target.exec(kFillAll);
    SqliteStatement read;
    SqliteStatement write;
    if (!read.prepare(source, "SELECT messnum FROM veltra_unread", false)
        || !write.prepare(target, "INSERT OR IGNORE INTO veltra_unread(messnum)"
                                  " SELECT ?1 WHERE EXISTS (SELECT 1 FROM veltra WHERE messnum = ?1)", false))
        return target.exec(kFillAll);
    SqliteStatement::Step step;
    while ((step = read.step()) == SqliteStatement::Step::Row) {
        write.reset();
        if (!write.bindInt64(1, read.columnInt64(0)) || write.step() != SqliteStatement::Step::Done)
            return false;
    }
    // What could not be read to its end counts as unread: nothing is taken for read unseen.
    return step == SqliteStatement::Step::Done || target.exec(kFillAll);
}

QString ReadState::lastError() const
{
    return m_error;
}
