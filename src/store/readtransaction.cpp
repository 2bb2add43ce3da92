// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/readtransaction.h"

#include "store/sqlitedb.h"

void ReadTransaction::Statements::finalize()
{
    begin.finalize();
    commit.finalize();
}

ReadTransaction::ReadTransaction(SqliteDb &db, Statements *kept)
    : m_db(db)
    , m_kept(kept)
{
    if (db.inTransaction())
        return;
    SqliteStatement begin;
    m_own = run(kept ? kept->begin : begin, "BEGIN");
    m_active = m_own;
}

ReadTransaction::~ReadTransaction()
{
    end();
}

void ReadTransaction::end()
{
    if (!m_own)
        return;
    m_own = false;
    if (!m_db.inTransaction())
        return;
    const SqliteDb::KeepError kept(m_db);
    SqliteStatement commit;
    if (!run(m_kept ? m_kept->commit : commit, "COMMIT"))
        m_db.exec("ROLLBACK");
}

bool ReadTransaction::run(SqliteStatement &s, const char *sql)
{
    if (!s.isPrepared() && !s.prepare(m_db, sql, m_kept != nullptr))
        return false;
    ResetOnExit resetter(s);
    return s.step() == SqliteStatement::Step::Done;
}
