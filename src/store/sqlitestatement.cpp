// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/sqlitestatement.h"

#include "store/sqlitedb.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement() = default;

SqliteStatement::~SqliteStatement()
{
    finalize();
}

bool SqliteStatement::prepare(SqliteDb &db, const QByteArray &sql, bool persistent)
{
    finalize();
    m_db = &db;
    if (!db.isOpen()) {
        db.setError(QStringLiteral("The database is closed"), SQLITE_MISUSE);
        return false;
    }
    const unsigned flags = persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    sqlite3_stmt *stmt = nullptr;
    if (!db.check(sqlite3_prepare_v3(db.handle(), sql.constData(), int(sql.size()), flags, &stmt, nullptr), "prepare")) {
        sqlite3_finalize(stmt);
        return false;
    }
    m_stmt = stmt;
    return true;
}

bool SqliteStatement::isPrepared() const
{
    return m_stmt != nullptr;
}

void SqliteStatement::finalize()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

void SqliteStatement::reset()
{
    if (!m_stmt)
        return;
    // sqlite3_reset repeats the result of the last step, which step() has already reported.
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::checkBind(int rc)
{
    return m_db->check(rc, "bind");
}

bool SqliteStatement::bindInt64(int index, qint64 value)
{
    return m_stmt && checkBind(sqlite3_bind_int64(m_stmt, index, value));
}

bool SqliteStatement::bindText(int index, const QByteArray &utf8)
{
    // A null QByteArray would bind as SQL NULL; an empty text is still a text.
    const char *data = utf8.isNull() ? "" : utf8.constData();
    return m_stmt && checkBind(sqlite3_bind_text64(m_stmt, index, data, sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8));
}

bool SqliteStatement::bindText(int index, const QString &text)
{
    return bindText(index, text.toUtf8());
}

bool SqliteStatement::bindNull(int index)
{
    return m_stmt && checkBind(sqlite3_bind_null(m_stmt, index));
}

bool SqliteStatement::bindPointer(int index, void *pointer, const char *type)
{
    return m_stmt && checkBind(sqlite3_bind_pointer(m_stmt, index, pointer, type, nullptr));
}

SqliteStatement::Step SqliteStatement::step()
{
    if (!m_stmt)
        return Step::Error;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return Step::Row;
    if (rc == SQLITE_DONE)
        return Step::Done;
    m_db->check(rc, "step");
    return Step::Error;
}

bool SqliteStatement::columnIsNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 SqliteStatement::columnInt64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QByteArrayView SqliteStatement::columnBytes(int column) const
{
    if (!m_stmt)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

QByteArrayView SqliteStatement::columnBlob(int column) const
{
    if (!m_stmt)
        return {};
    const auto *blob = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return blob ? QByteArrayView(blob, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

QString SqliteStatement::columnText(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
}

sqlite3_stmt *SqliteStatement::handle() const
{
    return m_stmt;
}
