// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/compaction.h"

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
#include <optional>
#include <unistd.h>

namespace {

constexpr int kBusyTimeoutMs = 500;
// SQLite's virtual machine steps between looks at how far the copy has grown.
constexpr int kProgressSteps = 1000;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

int renameFile(const QString &from, const QString &to, QString *reason)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return 0;
    const int code = errno;
    *reason = QStringLiteral("%1 could not be renamed to %2: %3.").arg(shown(from), shown(to), systemError());
    return code;
}

Compaction::Failure failureOfErrno(int code)
{
    switch (code) {
    case ENOSPC:
    case EDQUOT:
        return Compaction::Failure::DiskFull;
    case EIO:
    case EFBIG:
        return Compaction::Failure::WriteError;
    default:
        return Compaction::Failure::Other;
    }
}

// SQLite keeps the system's errno only for its I/O errors; a full disk it names itself.
Compaction::Failure failureOfSqlite(int code, int systemErrno)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Compaction::Failure::InUse;
    case SQLITE_FULL:
        return Compaction::Failure::DiskFull;
    case SQLITE_IOERR:
        if (code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ)
            return Compaction::Failure::Other;
        return failureOfErrno(systemErrno) == Compaction::Failure::DiskFull ? Compaction::Failure::DiskFull
                                                                             : Compaction::Failure::WriteError;
    default:
        return Compaction::Failure::Other;
    }
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

// The bytes the database's pages in use take: about what its compacted copy will take.
qint64 bytesInUse(SqliteDb &db)
{
    SqliteStatement s;
    if (!s.prepare(db, "SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT freelist_count FROM "
                       "pragma_freelist_count()), (SELECT page_size FROM pragma_page_size())", false)
        || s.step() != SqliteStatement::Step::Row)
        return 0;
    return s.columnInt64(0) * s.columnInt64(1);
}

// Tells how far the copy has grown while SQLite writes it.
struct CopyWatch
{
    QString copy;
    qint64 total = 0;
    const Compaction::Progress *progress = nullptr;

    static int look(void *watch)
    {
        const auto *w = static_cast<const CopyWatch *>(watch);
        (*w->progress)(QFileInfo(w->copy).size(), w->total);
        return 0; // go on
    }
};

QString describe(const Compaction::Figures &f)
{
    return QStringLiteral("%1 messages, highest number %2").arg(f.records).arg(f.highest);
}

// The files SQLite may keep beside the copy while it writes it.
constexpr const char *kCopyFiles[] = {"", "-journal", "-wal", "-shm"};

}

namespace Compaction {

int syncToDisk(const QString &path, QString *reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int code = errno;
        if (reason)
            *reason = QStringLiteral("%1 could not be written through to the disk: %2.").arg(shown(path), systemError());
        if (fd >= 0)
            ::close(fd);
        return code;
    }
    ::close(fd);
    return 0;
}

QStringList removeStaleCopy(const QString &folder)
{
    QStringList removed;
    for (const char *suffix : kCopyFiles) {
        const QString name = QLatin1String(kCopy) + QLatin1String(suffix);
        if (QFile::remove(QDir(folder).filePath(name)))
            removed << name;
    }
    return removed;
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

namespace {

// Nothing of the copy is left behind a failure.
Result failed(const QString &folder, Failure failure, const QString &why, int systemErrno = 0)
{
    Result result;
    result.failure = failure;
    result.reason = why;
    if (systemErrno != 0 && failure != Failure::Other)
        result.cause = QString::fromLocal8Bit(std::strerror(systemErrno));
    removeStaleCopy(folder);
    return result;
}

Result sqliteFailed(const QString &folder, SqliteDb &db, const QString &why)
{
    const int code = db.lastCode();
    const int systemErrno = (code & 0xff) == SQLITE_IOERR ? sqlite3_system_errno(db.handle()) : 0;
    return failed(folder, failureOfSqlite(code, systemErrno), why, systemErrno);
}

void reach(const PausePoint &pause, Step step)
{
    if (pause)
        pause(step);
}

// Reads the source's figures and writes the compacted copy with SQLite's VACUUM INTO.
// Nullopt when it is written.
std::optional<Result> writeCopy(const QString &folder, const PausePoint &pause, const Progress &progress,
                                Figures *source)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(kDatabase));
    const QString copy = dir.filePath(QLatin1String(kCopy));
    SqliteDb db;
    if (!db.open(database, SQLITE_OPEN_READWRITE))
        return sqliteFailed(folder, db, db.lastError());
    sqlite3_busy_timeout(db.handle(), kBusyTimeoutMs);
    // Leaving write-ahead logging folds the log into the file and succeeds only for the
    // one connection left, so nothing committed stays behind in a side file.
    SqliteStatement mode;
    if (!mode.prepare(db, "PRAGMA journal_mode = DELETE", false) || mode.step() != SqliteStatement::Step::Row)
        return sqliteFailed(folder, db, db.lastError());
    if (mode.columnText(0).compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
        // The mode stays as it was only while another connection uses the file.
        return failed(folder, Failure::InUse, QStringLiteral("Another program has the message database open."));
    }
    mode.finalize();
    if (!queryFigures(db, source))
        return sqliteFailed(folder, db, db.lastError());
    reach(pause, Step::SourceReady);

    CopyWatch watch{copy, bytesInUse(db), &progress};
    if (progress && watch.total > 0) {
        progress(0, watch.total);
        sqlite3_progress_handler(db.handle(), kProgressSteps, &CopyWatch::look, &watch);
    }
    SqliteStatement vacuum;
    const bool written = vacuum.prepare(db, "VACUUM INTO ?1", false) && vacuum.bindText(1, copy)
                         && vacuum.step() == SqliteStatement::Step::Done;
    sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
    if (!written)
        return sqliteFailed(folder, db, QStringLiteral("The compacted copy could not be written: %1").arg(db.lastError()));
    return std::nullopt;
}

// The copy must pass the check, hold what the source held and be on the disk.
std::optional<Result> checkCopy(const QString &folder, const Figures &source)
{
    const QString copy = QDir(folder).filePath(QLatin1String(kCopy));
    Figures written;
    QString why;
    if (!check(copy, &written, &why))
        return failed(folder, Failure::Other, why);
    if (written != source)
        return failed(folder, Failure::Other, QStringLiteral("The compacted copy holds %1, the database %2.")
                                                  .arg(describe(written), describe(source)));
    if (const int code = syncToDisk(copy, &why))
        return failed(folder, failureOfErrno(code), why, code);
    return std::nullopt;
}

// veltra.mdb becomes the backup and the copy takes its name. Nullopt when both renames
// are made.
std::optional<Result> switchFiles(const QString &folder, const PausePoint &pause)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(kDatabase));
    const QString copy = dir.filePath(QLatin1String(kCopy));
    const QString backup = dir.filePath(QLatin1String(kBackup));
    QString why;
    // The rename over veltra.bak is what drops the previous backup.
    if (const int code = renameFile(database, backup, &why))
        return failed(folder, failureOfErrno(code), why, code);
    reach(pause, Step::BackupKept);
    if (const int code = renameFile(copy, database, &why)) {
        // Put the source back under its name; if even that fails, recover() needs the copy.
        QString undo;
        if (renameFile(backup, database, &undo) == 0)
            return failed(folder, failureOfErrno(code), why, code);
        Result result;
        result.failure = Failure::Other;
        result.reason = why + QLatin1Char(' ') + undo;
        return result;
    }
    return std::nullopt;
}

}

Result compact(const QString &folder, const PausePoint &pause, const Progress &progress)
{
    const QString database = QDir(folder).filePath(QLatin1String(kDatabase));
    removeStaleCopy(folder);
    if (!QFileInfo(database).isFile())
        return failed(folder, Failure::Other, QStringLiteral("The message database %1 does not exist.").arg(shown(database)));

    Figures source;
    if (auto stopped = writeCopy(folder, pause, progress, &source))
        return *stopped;
    reach(pause, Step::CopyWritten);
    if (progress)
        progress(0, 0);
    if (auto stopped = checkCopy(folder, source))
        return *stopped;
    reach(pause, Step::CopyChecked);
    if (auto stopped = switchFiles(folder, pause))
        return *stopped;
    reach(pause, Step::Switched);
    syncToDisk(folder, nullptr); // the renames are done; a failed flush changes nothing now
    Result result;
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
    if (renameFile(source, database, &why) != 0) {
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
