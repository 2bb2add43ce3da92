// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/statementcatalogue.h"

#include "store/sqlitedb.h"

#include <sqlite3.h>

StatementCatalogue::StatementCatalogue(SqliteDb &db)
    : m_db(db)
{
}

void StatementCatalogue::setFailureHandler(FailureHandler handler)
{
    m_onFailure = std::move(handler);
}

void StatementCatalogue::setTable(const QByteArray &quotedTable)
{
    clear();
    m_table = quotedTable;
}

void StatementCatalogue::clear()
{
    for (auto &s : m_statements)
        s.reset();
}

bool StatementCatalogue::failed()
{
    if (m_onFailure)
        m_onFailure();
    return false;
}

QByteArray StatementCatalogue::sqlFor(int slot) const
{
    const QByteArray from = " FROM " + m_table;
    switch (slot) {
    case First:
        return "SELECT rowid" + from + " ORDER BY rowid LIMIT 1";
    case Last:
        return "SELECT rowid" + from + " ORDER BY rowid DESC LIMIT 1";
    case Next:
        return "SELECT rowid" + from + " WHERE rowid > ?1 ORDER BY rowid LIMIT 1";
    case Previous:
        return "SELECT rowid" + from + " WHERE rowid < ?1 ORDER BY rowid DESC LIMIT 1";
    case Count:
        return "SELECT count(*)" + from;
    case Exists:
        return "SELECT 1" + from + " WHERE rowid = ?1";
    case ReadRecord:
        return "SELECT messnum, messauthor, messdate, messtitle, message" + from + " WHERE rowid = ?1";
    case ReadHeading:
        return "SELECT messnum, messauthor, messdate, messtitle" + from + " WHERE rowid = ?1";
    case Delete:
        return "DELETE" + from + " WHERE rowid = ?1";
    case Insert:
        return "INSERT INTO " + m_table + " (rowid, messnum, messauthor, messdate, messtitle, message) VALUES ("
               "max(coalesce((SELECT max(rowid)" + from + "), 0), ?1) + 1, ?2, ?3, ?4, ?5, ?6)";
    case InsertAt:
        return "INSERT INTO " + m_table + " (rowid, messnum, messauthor, messdate, messtitle, message)"
                                          " VALUES (?1, ?2, ?3, ?4, ?5, ?6)";
    case LastNumbered:
        return "SELECT rowid, messnum, typeof(messnum) = 'integer'" + from + " ORDER BY rowid DESC LIMIT 1";
    case NumberStored:
        return "SELECT 1" + from + " WHERE messnum = ?1 LIMIT 1";
    // Only whole numbers take part in the order by number; the messnum index serves both.
    case Predecessor:
        return "SELECT rowid, messnum" + from
               + " WHERE messnum < ?1 AND typeof(messnum) = 'integer' ORDER BY messnum DESC LIMIT 1";
    case Successor:
        return "SELECT rowid, messnum" + from
               + " WHERE messnum > ?1 AND typeof(messnum) = 'integer' ORDER BY messnum LIMIT 1";
    case Highest:
        return "SELECT rowid, messnum" + from
               + " WHERE messnum BETWEEN 1 AND 2147483647 AND typeof(messnum) = 'integer'"
                 " ORDER BY messnum DESC LIMIT 1";
    default:
        break;
    }
    if (slot >= ReadField && slot < ReadField + MessageFields::kCount)
        return QByteArray("SELECT ") + MessageFields::kNames[slot - ReadField] + from + " WHERE rowid = ?1";
    return "UPDATE " + m_table + " SET " + MessageFields::kNames[slot - Update] + " = ?1 WHERE rowid = ?2";
}

SqliteStatement *StatementCatalogue::statement(int slot)
{
    auto &s = m_statements[std::size_t(slot)];
    if (!s) {
        auto prepared = std::make_unique<SqliteStatement>();
        if (!prepared->prepare(m_db, sqlFor(slot))) {
            failed();
            return nullptr;
        }
        s = std::move(prepared);
    }
    return s.get();
}

template<typename T, typename Read>
bool StatementCatalogue::queryRow(int slot, std::optional<qint64> argument, std::optional<T> *found, Read read)
{
    found->reset();
    SqliteStatement *s = statement(slot);
    if (!s)
        return false;
    ResetOnExit resetter(*s);
    if (argument && !s->bindInt64(1, *argument))
        return failed();
    switch (s->step()) {
    case SqliteStatement::Step::Row:
        *found = read(*s);
        return true;
    case SqliteStatement::Step::Done:
        return true;
    case SqliteStatement::Step::Error:
        break;
    }
    return failed();
}

bool StatementCatalogue::queryId(int slot, std::optional<qint64> argument, std::optional<qint64> *found)
{
    return queryRow(slot, argument, found, [](SqliteStatement &s) { return s.columnInt64(0); });
}

bool StatementCatalogue::queryNumbered(int slot, std::optional<qint64> argument, std::optional<Numbered> *found)
{
    return queryRow(slot, argument, found, [](SqliteStatement &s) {
        return Numbered{s.columnInt64(0), s.columnInt64(1), sqlite3_column_count(s.handle()) < 3 || s.columnInt64(2) != 0};
    });
}
