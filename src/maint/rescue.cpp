#include "maint/rescue.h"

#include "maint/compaction.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"
#include "update/missednumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <unistd.h>

namespace {

// Collects rowids from a query until it ends or meets a broken page.
void collectIds(SqliteDb &db, const char *sql, std::set<qint64> *ids)
{
    SqliteStatement s;
    if (!s.prepare(db, sql, false))
        return;
    while (s.step() == SqliteStatement::Step::Row)
        ids->insert(s.columnInt64(0));
}

// Keeps `from` under the name `to` as well: a hard link where the file system has them,
// a copy otherwise. A missing `from` is no error.
bool keep(const QString &from, const QString &to, QString *reason)
{
    if (!QFileInfo::exists(from))
        return true;
    QFile::remove(to);
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 || QFile::copy(from, to))
        return true;
    *reason = QStringLiteral("%1 could not be kept as %2.").arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to));
    return false;
}

// The numbers updates are still to fetch again go along, so none of them is lost with
// the damaged file; what cannot be read of them is passed over.
void copyMissedNumbers(SqliteDb &source, SqliteDb &target)
{
    SqliteStatement read;
    if (!read.prepare(source, "SELECT messnum, reason, tries, lasttry FROM veltra_missed", false))
        return;
    MissedNumbers missed(target);
    SqliteStatement write;
    if (!missed.prepare()
        || !write.prepare(target, "INSERT OR IGNORE INTO veltra_missed (messnum, reason, tries, lasttry)"
                                  " VALUES (?1, ?2, ?3, ?4)", false))
        return;
    while (read.step() == SqliteStatement::Step::Row) {
        write.reset();
        if (write.bindInt64(1, read.columnInt64(0)) && write.bindText(2, read.columnText(1))
            && write.bindInt64(3, read.columnInt64(2)) && write.bindInt64(4, read.columnInt64(3)))
            write.step();
    }
}

}

namespace Rescue {

Result copyReadable(const QString &damagedPath, const QString &rescuedPath)
{
    Result result;
    QString error;
    if (!Recordset::createEmpty(rescuedPath, &error)) {
        result.reason = error;
        return result;
    }
    auto failed = [&](const QString &why) {
        result.reason = why;
        QFile::remove(rescuedPath);
        return result;
    };

    SqliteDb source;
    if (!source.open(damagedPath, SQLITE_OPEN_READONLY))
        return failed(source.lastError());
    std::set<qint64> ids;
    collectIds(source, "SELECT rowid FROM veltra ORDER BY rowid", &ids);
    collectIds(source, "SELECT rowid FROM veltra ORDER BY rowid DESC", &ids);
    collectIds(source, "SELECT rowid FROM veltra INDEXED BY veltra_messnum ORDER BY messnum", &ids);

    SqliteDb target;
    if (!target.open(rescuedPath, SQLITE_OPEN_READWRITE))
        return failed(target.lastError());
    SqliteStatement read;
    SqliteStatement write;
    if (!read.prepare(source, "SELECT messnum, messauthor, messdate, messtitle, message FROM veltra WHERE rowid = ?1")
        || !write.prepare(target, "INSERT INTO veltra (rowid, messnum, messauthor, messdate, messtitle, message)"
                                  " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"))
        return failed(source.lastError().isEmpty() ? target.lastError() : source.lastError());
    SqliteTransaction transaction(target);
    for (const qint64 id : ids) {
        read.reset();
        if (!read.bindInt64(1, id) || read.step() != SqliteStatement::Step::Row) {
            ++result.unreadable;
            continue;
        }
        write.reset();
        bool bound = write.bindInt64(1, id);
        for (int column = 0; column < 5 && bound; ++column) {
            bound = read.columnIsNull(column) ? write.bindNull(column + 2)
                    : column == 0             ? write.bindInt64(2, read.columnInt64(0))
                                              : write.bindText(column + 2, read.columnText(column));
        }
        if (!bound || write.step() != SqliteStatement::Step::Done)
            return failed(target.lastError());
        ++result.rescued;
    }
    read.finalize();
    write.finalize();
    copyMissedNumbers(source, target);
    if (!transaction.commit())
        return failed(target.lastError());
    target.close();
    source.close();

    Compaction::Figures figures;
    if (!Compaction::check(rescuedPath, &figures, &error))
        return failed(error);
    result.ok = true;
    return result;
}

Result rescueFolder(const QString &folder)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(Compaction::kDatabase));
    const QString rescued = dir.filePath(QLatin1String(kRescued));
    const QString damaged = dir.filePath(QLatin1String(kDamaged));
    QFile::remove(rescued);
    Result result = copyReadable(database, rescued);
    if (!result.ok)
        return result;
    // The damaged file and its log are kept together; the log must not stay beside the
    // new file, which would read it as its own.
    QString why;
    if (!keep(database, damaged, &why) || !keep(database + QStringLiteral("-wal"), damaged + QStringLiteral("-wal"), &why)) {
        QFile::remove(rescued);
        result.ok = false;
        result.reason = why;
        return result;
    }
    QFile::remove(database + QStringLiteral("-wal"));
    QFile::remove(database + QStringLiteral("-shm"));
    if (::rename(QFile::encodeName(rescued).constData(), QFile::encodeName(database).constData()) != 0) {
        result.ok = false;
        result.reason = QStringLiteral("%1 could not be renamed to %2: %3.")
                            .arg(QDir::toNativeSeparators(rescued), QDir::toNativeSeparators(database),
                                 QString::fromLocal8Bit(std::strerror(errno)));
    }
    return result;
}

}
