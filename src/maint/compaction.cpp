#include "maint/compaction.h"

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kBusyTimeoutMs = 500;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Flushes a file, or a folder's entries, to the disk.
bool syncToDisk(const QString &path, QString *reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        if (reason)
            *reason = QStringLiteral("%1 could not be written through to the disk: %2.").arg(shown(path), systemError());
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

bool renameFile(const QString &from, const QString &to, QString *reason)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *reason = QStringLiteral("%1 could not be renamed to %2: %3.").arg(shown(from), shown(to), systemError());
    return false;
}

// Reads one row of one or two integer columns; false with the connection's error.
bool queryFigures(SqliteDb &db, Compaction::Figures *figures)
{
    SqliteStatement s;
    if (!s.prepare(db, "SELECT count(*), coalesce(max(messnum), 0) FROM veltra", false)
        || s.step() != SqliteStatement::Step::Row)
        return false;
    figures->records = s.columnInt64(0);
    figures->highest = s.columnInt64(1);
    return true;
}

QString describe(const Compaction::Figures &f)
{
    return QStringLiteral("%1 messages, highest number %2").arg(f.records).arg(f.highest);
}

bool isBusy(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}

namespace Compaction {

void removeStaleCopy(const QString &folder)
{
    QFile::remove(QDir(folder).filePath(QLatin1String(kCopy)));
}

bool check(const QString &path, Figures *figures, QString *reason)
{
    auto fail = [&](const QString &why) {
        if (reason)
            *reason = QStringLiteral("%1 did not pass its check: %2.").arg(shown(path), why);
        return false;
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("the file is missing"));
    SqliteDb db;
    if (!db.open(path, SQLITE_OPEN_READONLY))
        return fail(db.lastError());
    SqliteStatement integrity;
    if (!integrity.prepare(db, "PRAGMA integrity_check", false))
        return fail(db.lastError());
    switch (integrity.step()) {
    case SqliteStatement::Step::Row:
        if (integrity.columnText(0) != QLatin1String("ok"))
            return fail(integrity.columnText(0));
        break;
    case SqliteStatement::Step::Done:
    case SqliteStatement::Step::Error:
        return fail(db.lastError());
    }
    integrity.finalize();
    Figures found;
    if (!queryFigures(db, &found))
        return fail(db.lastError());
    if (figures)
        *figures = found;
    return true;
}

Result compact(const QString &folder, const PausePoint &pause)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(kDatabase));
    const QString copy = dir.filePath(QLatin1String(kCopy));
    const QString backup = dir.filePath(QLatin1String(kBackup));
    auto reached = [&](Step step) {
        if (pause)
            pause(step);
    };
    Result result;
    auto failed = [&](const QString &why) {
        result.reason = why;
        QFile::remove(copy);
        return result;
    };

    removeStaleCopy(folder);
    if (!QFileInfo(database).isFile())
        return failed(QStringLiteral("The message database %1 does not exist.").arg(shown(database)));

    Figures source;
    {
        SqliteDb db;
        if (!db.open(database, SQLITE_OPEN_READWRITE))
            return failed(db.lastError());
        sqlite3_busy_timeout(db.handle(), kBusyTimeoutMs);
        // Leaving write-ahead logging folds the log into the file and succeeds only for the
        // one connection left, so nothing committed stays behind in a side file.
        SqliteStatement mode;
        if (!mode.prepare(db, "PRAGMA journal_mode = DELETE", false))
            return failed(db.lastError());
        const SqliteStatement::Step step = mode.step();
        if (step != SqliteStatement::Step::Row) {
            result.inUse = isBusy(db.lastCode());
            return failed(db.lastError());
        }
        if (mode.columnText(0).compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
            // The mode stays as it was only while another connection uses the file.
            result.inUse = true;
            return failed(QStringLiteral("Another program has the message database open."));
        }
        mode.finalize();
        if (!queryFigures(db, &source))
            return failed(db.lastError());
        reached(Step::SourceReady);

        SqliteStatement vacuum;
        if (!vacuum.prepare(db, "VACUUM INTO ?1", false) || !vacuum.bindText(1, copy)
            || vacuum.step() != SqliteStatement::Step::Done) {
            result.inUse = isBusy(db.lastCode());
            return failed(QStringLiteral("The compacted copy could not be written: %1").arg(db.lastError()));
        }
    }
    reached(Step::CopyWritten);

    Figures written;
    QString why;
    if (!check(copy, &written, &why))
        return failed(why);
    if (written != source)
        return failed(QStringLiteral("The compacted copy holds %1, the database %2.").arg(describe(written), describe(source)));
    if (!syncToDisk(copy, &why))
        return failed(why);
    reached(Step::CopyChecked);

    // The rename over veltra.bak is what drops the previous backup.
    if (!renameFile(database, backup, &why))
        return failed(why);
    reached(Step::BackupKept);
    if (!renameFile(copy, database, &why)) {
        // Put the source back under its name; if even that fails, recover() finds it.
        QString undo;
        renameFile(backup, database, &undo);
        result.reason = why;
        return result;
    }
    reached(Step::Switched);
    syncToDisk(folder, nullptr); // the renames are done; a failed flush changes nothing now
    result.ok = true;
    return result;
}

Recovery recover(const QString &folder)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(kDatabase));
    Recovery recovery;
    if (QFileInfo::exists(database))
        return recovery;
    const QString copy = dir.filePath(QLatin1String(kCopy));
    const QString backup = dir.filePath(QLatin1String(kBackup));
    const bool hasCopy = QFileInfo(copy).isFile();
    const bool hasBackup = QFileInfo(backup).isFile();
    if (!hasCopy && !hasBackup)
        return recovery;

    Figures copyFigures;
    Figures backupFigures;
    QString copyWhy;
    QString backupWhy;
    const bool copyOk = hasCopy && check(copy, &copyFigures, &copyWhy);
    const bool backupOk = hasBackup && check(backup, &backupFigures, &backupWhy);
    // The compacted copy is taken when it holds what the backup holds (a compaction cut
    // off between its two renames); otherwise whichever sound file reaches further.
    bool useCopy = copyOk;
    if (copyOk && backupOk && copyFigures != backupFigures)
        useCopy = std::pair(copyFigures.highest, copyFigures.records) >= std::pair(backupFigures.highest, backupFigures.records);
    const QString intro = QStringLiteral("There was no message database %1.").arg(shown(database));
    if (!copyOk && !backupOk) {
        recovery.message = intro + QStringLiteral("\n\nNeither %1 nor %2 could be used in its place:\n%3")
                                       .arg(QLatin1String(kCopy), QLatin1String(kBackup),
                                            QStringList({copyWhy, backupWhy}).join(QLatin1Char('\n')).trimmed());
        return recovery;
    }
    const QString source = useCopy ? copy : backup;
    const Figures &figures = useCopy ? copyFigures : backupFigures;
    QString why;
    if (!renameFile(source, database, &why)) {
        recovery.message = intro + QStringLiteral("\n\n%1 could not be put in its place: %2").arg(shown(source), why);
        return recovery;
    }
    syncToDisk(folder, nullptr);
    recovery.recovered = true;
    recovery.message = intro + QStringLiteral("\n\n%1 (%2) has been checked and put in its place.")
                                   .arg(useCopy ? QStringLiteral("The compacted copy %1").arg(QLatin1String(kCopy))
                                                : QStringLiteral("The backup %1").arg(QLatin1String(kBackup)),
                                        describe(figures));
    return recovery;
}

}
