// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/sqlitestatement.h"

class SqliteDb;

// A read transaction of its own unless the caller has one open, so that several reads see
// one state of the file; the one it opened ends with end() or the destructor, leaving the
// connection's last error as it was.
class ReadTransaction final
{
public:
    // BEGIN and COMMIT prepared once, for a caller that opens many transactions.
    struct Statements
    {
        SqliteStatement begin;
        SqliteStatement commit;
        void finalize();
    };

    explicit ReadTransaction(SqliteDb &db, Statements *kept = nullptr);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

    // False only when a transaction of its own was wanted and could not be opened.
    bool isActive() const { return m_active; }
    // It opened the transaction (the caller had none).
    bool isOwn() const { return m_own; }
    void end();

private:
    bool run(SqliteStatement &s, const char *sql);

    SqliteDb &m_db;
    Statements *m_kept;
    bool m_own = false;
    bool m_active = true;
};
