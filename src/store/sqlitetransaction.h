#pragma once

#include <QByteArray>

class SqliteDb;

// A savepoint: it starts a transaction when none is open and nests inside a caller's
// transaction otherwise. Rolled back on destruction unless committed.
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
};
