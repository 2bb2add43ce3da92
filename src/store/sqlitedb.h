// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

struct sqlite3;

// What an SQLite result code (primary or extended) says of the file itself: SQLite found
// it corrupt, or its header is not a database's. Every other failure (busy, full, read-only,
// a bad statement) leaves the file as sound as it was.
enum class SqliteDamage { None, Corrupt, NotADatabase };
SqliteDamage sqliteDamage(int resultCode);

// Owns one SQLite connection. Every sqlite3_* result code of the store goes through
// check(), which keeps the message of the last failure for the caller to show.
class SqliteDb final
{
public:
    SqliteDb();
    ~SqliteDb();
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    // flags are SQLITE_OPEN_* values; without SQLITE_OPEN_CREATE a missing file is an error.
    // An opening for reading leaves no -wal or -shm file behind that was not there before.
    bool open(const QString &path, int flags);
    void close();
    bool isOpen() const;
    sqlite3 *handle() const;
    bool isReadOnly() const;
    // True while an explicit transaction (ours or a caller's on handle()) is open.
    bool inTransaction() const;

    // Runs SQL without results (several statements allowed); only for fixed texts.
    bool exec(const char *sql);

    // Puts back the last failure as it was when made, whatever its scope's clean-up meets:
    // the failure that led to ending a transaction is the one worth reporting.
    class KeepError final
    {
    public:
        explicit KeepError(SqliteDb &db);
        ~KeepError();
        KeepError(const KeepError &) = delete;
        KeepError &operator=(const KeepError &) = delete;

    private:
        SqliteDb &m_db;
        const QString m_reason;
        const int m_code;
    };

    // True for SQLITE_OK, SQLITE_ROW and SQLITE_DONE; otherwise records the failure.
    bool check(int rc, const char *what);
    void setError(const QString &message, int code);
    int lastCode() const;
    QString lastError() const;

private:
    sqlite3 *m_db = nullptr;
    bool m_queryOnly = false; // opened for writing so that its close can tidy up, but never writes
    int m_lastCode = 0;
    QString m_lastError;
};
