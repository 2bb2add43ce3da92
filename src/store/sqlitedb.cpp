// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/sqlitedb.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// A file last closed in write-ahead-log mode, with neither of the log's files beside it:
// a read-only connection would create both and, unable to take them away at its close,
// leave them behind. A connection that may write takes them away as the last one out.
bool readingWouldLeaveLogFiles(const QString &path)
{
    constexpr qint64 kReadVersionOffset = 19;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(kReadVersionOffset))
        return false;
    char version = 0;
    if (!file.getChar(&version) || version != 2)
        return false;
    const QFileInfo info(path);
    return !QFileInfo::exists(path + QStringLiteral("-wal")) && !QFileInfo::exists(path + QStringLiteral("-shm"))
           && info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
}

}

SqliteDamage sqliteDamage(int resultCode)
{
    switch (resultCode & 0xff) {
    case SQLITE_CORRUPT:
        return SqliteDamage::Corrupt;
    case SQLITE_NOTADB:
        return SqliteDamage::NotADatabase;
    default:
        return SqliteDamage::None;
    }
}

SqliteDb::SqliteDb() = default;

SqliteDb::~SqliteDb()
{
    close();
}

bool SqliteDb::open(const QString &path, int flags)
{
    close();
    m_queryOnly = (flags & SQLITE_OPEN_READONLY) != 0 && (flags & SQLITE_OPEN_URI) == 0 && readingWouldLeaveLogFiles(path);
    if (m_queryOnly)
        flags = (flags & ~SQLITE_OPEN_READONLY) | SQLITE_OPEN_READWRITE;
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // sqlite3_open_v2 hands back a handle even on failure; it only carries the message.
        m_lastCode = rc;
        m_lastError = QStringLiteral("open: ") + QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        m_queryOnly = false;
        return false;
    }
    m_db = db;
    sqlite3_extended_result_codes(m_db, 1);
    if (m_queryOnly && !exec("PRAGMA query_only = ON")) {
        close();
        return false;
    }
    return true;
}

void SqliteDb::close()
{
    if (!m_db)
        return;
    // The owners of statements finalize them before closing; close_v2 copes with stragglers.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_queryOnly = false;
}

bool SqliteDb::isOpen() const
{
    return m_db != nullptr;
}

sqlite3 *SqliteDb::handle() const
{
    return m_db;
}

bool SqliteDb::isReadOnly() const
{
    return m_db && (m_queryOnly || sqlite3_db_readonly(m_db, "main") == 1);
}

bool SqliteDb::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

bool SqliteDb::exec(const char *sql)
{
    if (!m_db) {
        setError(QStringLiteral("The database is closed"), SQLITE_MISUSE);
        return false;
    }
    return check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), sql);
}

bool SqliteDb::check(int rc, const char *what)
{
    const int primary = rc & 0xff;
    if (primary == SQLITE_OK || primary == SQLITE_ROW || primary == SQLITE_DONE)
        return true;
    m_lastCode = rc;
    const char *message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    m_lastError = QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromUtf8(message);
    return false;
}

SqliteDb::KeepError::KeepError(SqliteDb &db)
    : m_db(db)
    , m_reason(db.lastError())
    , m_code(db.lastCode())
{
}

SqliteDb::KeepError::~KeepError()
{
    m_db.setError(m_reason, m_code);
}

void SqliteDb::setError(const QString &message, int code)
{
    m_lastCode = code;
    m_lastError = message;
}

int SqliteDb::lastCode() const
{
    return m_lastCode;
}

QString SqliteDb::lastError() const
{
    return m_lastError;
}
