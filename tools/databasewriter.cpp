// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasewriter.h"

#include "store/recordset.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>

namespace {

void removeDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1StringView(suffix));
}

} // namespace

DatabaseWriter::DatabaseWriter() = default;

DatabaseWriter::~DatabaseWriter()
{
    abandon();
}

bool DatabaseWriter::begin(const QString &path, bool replaceExisting)
{
    abandon();
    m_lastError.clear();
    m_count = 0;
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("%1 is a folder").arg(QDir::toNativeSeparators(path)));
    if (target.exists() && !replaceExisting)
        return fail(QStringLiteral("%1 exists already (use --force to replace it)").arg(QDir::toNativeSeparators(path)));
    if (!target.dir().exists())
        return fail(QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(target.path())));

    m_path = target.absoluteFilePath();
    m_replaceExisting = replaceExisting;
    m_scratchPath = target.dir().filePath(QStringLiteral(".%1.%2.part")
                                              .arg(target.fileName())
                                              .arg(QCoreApplication::applicationPid()));
    removeDatabaseFiles(m_scratchPath);

    QString error;
    if (!Recordset::createEmpty(m_scratchPath, &error))
        return fail(error);
    Recordset::OpenResult opened = Recordset::open(m_scratchPath);
    if (opened.status != Recordset::OpenStatus::Ok)
        return fail(opened.reason);
    m_recordset = std::move(opened.recordset);
    if (sqlite3_exec(m_recordset->handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_recordset->handle())));
    return true;
}

bool DatabaseWriter::add(const MessageRecord &record)
{
    if (!m_recordset)
        return fail(QStringLiteral("no database is being written"));
    if (!m_recordset->addNew(record))
        return fail(QStringLiteral("message %1: %2").arg(record.messnum).arg(m_recordset->lastError()));
    ++m_count;
    return true;
}

bool DatabaseWriter::finish()
{
    if (!m_recordset)
        return fail(QStringLiteral("no database is being written"));
    if (sqlite3_exec(m_recordset->handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_recordset->handle())));
    m_recordset->close();
    m_recordset.reset();

    // rename() replaces the target in one step where the platform allows it.
    const QByteArray from = QFile::encodeName(m_scratchPath);
    const QByteArray to = QFile::encodeName(m_path);
    if (std::rename(from.constData(), to.constData()) != 0) {
        if (!m_replaceExisting || !QFile::remove(m_path))
            return fail(QStringLiteral("cannot move the new database to %1").arg(QDir::toNativeSeparators(m_path)));
        if (!QFile::rename(m_scratchPath, m_path)) {
            // The old file is gone already: keep the new one where it is rather than lose both.
            m_lastError = QStringLiteral("cannot move the new database to %1; it was left at %2")
                              .arg(QDir::toNativeSeparators(m_path), QDir::toNativeSeparators(m_scratchPath));
            m_scratchPath.clear();
            return false;
        }
    }
    removeDatabaseFiles(m_scratchPath);
    m_scratchPath.clear();
    return true;
}

int DatabaseWriter::count() const
{
    return m_count;
}

QString DatabaseWriter::lastError() const
{
    return m_lastError;
}

bool DatabaseWriter::fail(const QString &message)
{
    m_lastError = message;
    abandon();
    return false;
}

void DatabaseWriter::abandon()
{
    if (m_recordset) {
        sqlite3_exec(m_recordset->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        m_recordset->close();
        m_recordset.reset();
    }
    if (!m_scratchPath.isEmpty()) {
        removeDatabaseFiles(m_scratchPath);
        m_scratchPath.clear();
    }
}
