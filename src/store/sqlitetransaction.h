// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

class SqliteDb;

// A transaction, or a savepoint inside a caller's transaction. Rolled back on destruction
// unless committed. A transaction of its own takes the write lock at once (BEGIN
// IMMEDIATE): one that read first and wrote later would fail, without waiting, whenever
// another connection (the index build) wrote in between.
class SqliteTransaction final
{
public:
    explicit SqliteTransaction(SqliteDb &db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction &) = delete;
    SqliteTransaction &operator=(const SqliteTransaction &) = delete;

    bool isActive() const;
    bool commit();
    void rollback();

private:
    SqliteDb &m_db;
    QByteArray m_name;
    bool m_active = false;
    bool m_outer = false; // began the transaction rather than a savepoint in one
};
