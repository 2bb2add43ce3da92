// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct sqlite3_stmt;
class SqliteDb;

// One prepared statement of a SqliteDb. Values are always bound, never spliced into SQL.
// Failures are recorded in the connection (SqliteDb::lastError).
class SqliteStatement final
{
public:
    enum class Step { Row, Done, Error };

    SqliteStatement();
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // persistent: the statement is kept for many runs, so SQLite may place it accordingly.
    bool prepare(SqliteDb &db, const QByteArray &sql, bool persistent = true);
    bool isPrepared() const;
    void finalize();

    // Ends the current run (releasing its read snapshot) and clears the bindings.
    void reset();

    bool bindInt64(int index, qint64 value);
    bool bindText(int index, const QByteArray &utf8);
    bool bindText(int index, const QString &text);
    bool bindNull(int index);
    // Hands a C++ object to an SQL function (sqlite3_bind_pointer); the caller keeps it alive.
    bool bindPointer(int index, void *pointer, const char *type);

    Step step();

    bool columnIsNull(int column) const;
    qint64 columnInt64(int column) const;
    QString columnText(int column) const;
    // The column's text as SQLite holds it (UTF-8, NULL empty), valid until the next step.
    QByteArrayView columnBytes(int column) const;
    // The column's bytes as a blob (no conversion), valid until the next step.
    QByteArrayView columnBlob(int column) const;

    sqlite3_stmt *handle() const;

private:
    bool checkBind(int rc);

    SqliteDb *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

// Ends a statement's run when leaving scope, so no read snapshot is left open.
class ResetOnExit final
{
public:
    explicit ResetOnExit(SqliteStatement &statement)
        : m_statement(statement)
    {
    }
    ~ResetOnExit() { m_statement.reset(); }
    ResetOnExit(const ResetOnExit &) = delete;
    ResetOnExit &operator=(const ResetOnExit &) = delete;

private:
    SqliteStatement &m_statement;
};
