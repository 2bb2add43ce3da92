// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/sqlitetransaction.h"

#include "store/sqlitedb.h"

#include <atomic>

namespace {
std::atomic<unsigned> savepointCounter{0};
}

SqliteTransaction::SqliteTransaction(SqliteDb &db)
    : m_db(db)
    , m_name("veltra_sp" + QByteArray::number(++savepointCounter))
{
    m_outer = !m_db.inTransaction();
    m_active = m_db.exec(m_outer ? "BEGIN IMMEDIATE" : QByteArray("SAVEPOINT " + m_name).constData());
}

SqliteTransaction::~SqliteTransaction()
{
    rollback();
}

bool SqliteTransaction::isActive() const
{
    return m_active;
}

bool SqliteTransaction::commit()
{
    if (!m_active)
        return false;
    if (!m_db.exec(m_outer ? "COMMIT" : QByteArray("RELEASE " + m_name).constData()))
        return false; // still active: the destructor rolls back
    m_active = false;
    return true;
}

void SqliteTransaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    if (!m_db.isOpen())
        return;
    const SqliteDb::KeepError kept(m_db);
    // ROLLBACK TO keeps the savepoint open; RELEASE then closes it (and the transaction it began).
    if (m_outer) {
        // A failed statement may already have ended the transaction.
        if (m_db.inTransaction())
            m_db.exec("ROLLBACK");
    } else {
        m_db.exec(QByteArray("ROLLBACK TO " + m_name + "; RELEASE " + m_name).constData());
    }
}
