// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchdata.h"

#include "databasewriter.h"
#include "messagegenerator.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "vocabulary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QRegularExpression>

#include <sqlite3.h>

#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#ifndef VELTRA_BENCH_DATA_DIR
#error "VELTRA_BENCH_DATA_DIR must name the folder for benchmark data"
#endif

namespace BenchData {

namespace {

// An archive (seed 1) up to message `last`, written once as `name` and reused; real text
// when a vocabulary is given.
QString generated(const QString &name, qint32 last, const char *size,
                  const std::function<std::shared_ptr<const Vocabulary>()> &vocabulary = {})
{
    const QString dir = QStringLiteral(VELTRA_BENCH_DATA_DIR);
    const QString path = QDir(dir).filePath(name);
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(dir);
    std::printf("writing the %s-message benchmark database to %s ...\n", size, qPrintable(path));
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    const std::shared_ptr<const Vocabulary> words = vocabulary ? vocabulary() : nullptr;
    if (words)
        std::printf("vocabulary (%.1f s): %s\n", clock.elapsed() / 1000.0, qPrintable(words->description()));
    DatabaseWriter writer;
    if (!writer.begin(path, false)) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.lastError()));
        return {};
    }
    MessageGenerator generator(1, words);
    // The generator's share apart from SQLite's.
    qint64 generatingNs = 0;
    QElapsedTimer step;
    for (;;) {
        step.start();
        const MessageRecord record = generator.next();
        generatingNs += step.nsecsElapsed();
        if (record.messnum > last)
            break;
        if (!writer.add(record)) {
            std::fprintf(stderr, "%s\n", qPrintable(writer.lastError()));
            return {};
        }
    }
    if (!writer.finish()) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.lastError()));
        return {};
    }
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("written in %.1f s (%d messages, %.0f a second; generating %.1f s, the rest storing), %.1f MB\n",
                seconds, writer.count(), writer.count() / seconds, generatingNs / 1e9,
                QFileInfo(path).size() / 1e6);
    std::fflush(stdout);
    return path;
}

QString dump(const QString &database, const char *suffix, const char *column, const char *what)
{
    const QFileInfo info(database);
    const QString path = info.dir().filePath(info.completeBaseName() + QLatin1String(suffix));
    if (QFileInfo::exists(path))
        return path;
    std::printf("writing the %s of %s to %s ...\n", what, qPrintable(database), qPrintable(path));
    std::fflush(stdout);
    // Written under another name first, so a cut-short run leaves no partial dump to be reused.
    const QString scratch = path + QStringLiteral(".part");
    QFile out(scratch);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(scratch));
        return {};
    }
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    const QByteArray sql = QByteArray("SELECT ") + column + " FROM veltra ORDER BY rowid";
    // Only read, but opened for writing: a read-only connection to a write-ahead-log
    // database leaves its -wal and -shm files behind.
    bool ok = sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
              && sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK;
    int step = SQLITE_DONE;
    QByteArray line;
    while (ok && (step = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        line = QByteArray(text ? text : "", sqlite3_column_bytes(statement, 0));
        // A line ends only at \n for the search tool; a NUL would make it take the file for binary.
        std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r' || c == '\0'; }, ' ');
        line += '\n';
        ok = out.write(line) == line.size();
    }
    ok = ok && step == SQLITE_DONE;
    if (!ok && db)
        std::fprintf(stderr, "cannot dump the %s: %s\n", what, sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    ok = out.flush() && ok;
    out.close();
    if (!ok || !QFile::rename(scratch, path)) {
        QFile::remove(scratch);
        return {};
    }
    return path;
}

void removeDatabase(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

QString database100k()
{
    return generated(QStringLiteral("veltra-100k.mdb"), 100000, "100,000");
}

QString database1m()
{
    return generated(QStringLiteral("veltra-1m.mdb"), 1000000, "1,000,000");
}

QString realTextDatabase(int messages, const QString &mailFolder)
{
    const bool fromMail = QFileInfo(mailFolder).isDir();
    // The two vocabularies give different archives, so they are kept apart.
    const QString name = QStringLiteral("veltra-realtext-%1%2.mdb").arg(fromMail ? QString() : QStringLiteral("wordlist-")).arg(messages);
    const QString size = QLocale(QLocale::English).toString(messages);
    return generated(name, messages, qPrintable(size), [&]() -> std::shared_ptr<const Vocabulary> {
        if (!fromMail) {
            std::printf("no mail at %s: the words come from the shipped list\n", qPrintable(mailFolder));
            return Vocabulary::fromWordList();
        }
        QString error;
        auto vocabulary = Vocabulary::fromMail(mailFolder, &error);
        if (!vocabulary) {
            std::printf("%s: the words come from the shipped list\n", qPrintable(error));
            return Vocabulary::fromWordList();
        }
        return vocabulary;
    });
}

bool copyDatabase(const QString &source, const QString &target)
{
    removeDatabase(target);
    sqlite3 *from = nullptr;
    sqlite3 *to = nullptr;
    // The source only read, but opened for writing: see dump().
    bool ok = sqlite3_open_v2(QFile::encodeName(source).constData(), &from, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
              && sqlite3_open_v2(QFile::encodeName(target).constData(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
        ok = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
        ok = sqlite3_backup_finish(backup) == SQLITE_OK && ok;
    }
    if (!ok)
        std::fprintf(stderr, "cannot copy %s to %s: %s\n", qPrintable(source), qPrintable(target),
                     to ? sqlite3_errmsg(to) : "cannot open");
    sqlite3_close(from);
    sqlite3_close(to);
    if (!ok)
        removeDatabase(target);
    return ok;
}

QString indexedDatabasePath(const QString &source)
{
    const QFileInfo info(source);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-indexed.mdb"));
}

QString indexedDatabase(const QString &source)
{
    const QString path = indexedDatabasePath(source);
    if (QFileInfo::exists(path) && indexState(path) == QLatin1String("complete"))
        return path;
    std::printf("building the search index on a copy of %s at %s ...\n", qPrintable(source), qPrintable(path));
    std::fflush(stdout);
    const QString scratch = path + QStringLiteral(".part");
    if (!copyDatabase(source, scratch))
        return {};
    QElapsedTimer clock;
    clock.start();
    const SearchIndexBuilder::Report report = SearchIndexBuilder::run(scratch, SearchIndexBuilder::Task::Build);
    if (report.outcome != SearchIndexBuilder::Outcome::Ready) {
        std::fprintf(stderr, "the index build did not complete: %s\n", qPrintable(report.detail));
        removeDatabase(scratch);
        return {};
    }
    std::printf("built in %.1f s\n", clock.elapsed() / 1000.0);
    removeDatabase(path);
    const bool ok = copyDatabase(scratch, path);
    removeDatabase(scratch);
    return ok ? path : QString();
}

QString indexState(const QString &database, bool building, std::optional<bool> inUse)
{
    QString state;
    SqliteDb db;
    // Only read, but opened for writing: see dump().
    if (!db.open(database, SQLITE_OPEN_READWRITE)) {
        state = QStringLiteral("unknown (%1)").arg(db.lastError());
    } else {
        const SearchIndex::Status status = SearchIndex::status(db);
        sqlite3_stmt *s = nullptr;
        qint64 last = -1;
        if (sqlite3_prepare_v2(db.handle(), "SELECT max(rowid) FROM veltra", -1, &s, nullptr) == SQLITE_OK
            && sqlite3_step(s) == SQLITE_ROW)
            last = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        switch (status.state) {
        case SearchIndex::State::Absent:
            state = building ? QStringLiteral("being made") : QStringLiteral("absent");
            break;
        case SearchIndex::State::Partial:
            state = QStringLiteral("%1 (records up to rowid %2 of %3)")
                        .arg(building ? QStringLiteral("building") : QStringLiteral("partial"))
                        .arg(status.upto)
                        .arg(last);
            break;
        case SearchIndex::State::Ready:
            state = building ? QStringLiteral("complete (being checked)") : QStringLiteral("complete");
            break;
        case SearchIndex::State::Broken:
            state = building ? QStringLiteral("broken (being rebuilt)") : QStringLiteral("broken");
            break;
        }
    }
    if (inUse)
        state += *inUse ? QStringLiteral(", in use by finds") : QStringLiteral(", not in use by finds");
    return state;
}

QString bodyDump(const QString &database)
{
    return dump(database, "-bodies.txt", "message", "bodies");
}

QString subjectDump(const QString &database)
{
    return dump(database, "-subjects.txt", "messtitle", "subjects");
}

double sqliteCliMs(const QString &path, const QString &sql, QString *output)
{
    QProcess cli;
    cli.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), path});
    if (!cli.waitForStarted(5000))
        return -1;
    cli.write(QStringLiteral(".timer on\n%1\n").arg(sql).toUtf8());
    cli.closeWriteChannel();
    if (!cli.waitForFinished(600000))
        return -1;
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    static const QRegularExpression time(QStringLiteral("Run Time: real ([0-9.]+)"));
    const auto t = time.match(out);
    if (!t.hasMatch())
        return -1;
    if (output)
        *output = out;
    return t.captured(1).toDouble() * 1000;
}

double sqliteCliCountMs(const QString &path, const char *column, const QString &text, qint64 *count)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    QString out;
    const double ms = sqliteCliMs(
        path, QStringLiteral("select count(*) from veltra where %1 like '%%2%';").arg(QLatin1String(column), quoted), &out);
    static const QRegularExpression number(QStringLiteral("^(\\d+)$"), QRegularExpression::MultilineOption);
    const auto n = number.match(out);
    *count = n.hasMatch() ? n.captured(1).toLongLong() : -1;
    return ms;
}

std::optional<Conversation> pickConversation(SqliteDb &db, qint64 size)
{
    SqliteStatement s;
    const QByteArray sql = size > 0 ? "SELECT topic_key, count(*) AS n FROM veltra_topic WHERE topic_key <> 0"
                                      " GROUP BY topic_key ORDER BY abs(n - ?1), topic_key LIMIT 1"
                                    : "SELECT topic_key, count(*) AS n FROM veltra_topic WHERE topic_key <> 0"
                                      " GROUP BY topic_key ORDER BY n DESC LIMIT 1";
    if (!s.prepare(db, sql, false) || (size > 0 && !s.bindInt64(1, size)) || s.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    const qint64 key = s.columnInt64(0);
    Conversation picked{{}, s.columnInt64(1)};
    SqliteStatement title;
    if (!title.prepare(db, "SELECT messtitle FROM veltra WHERE rowid = (SELECT max(id) FROM veltra_topic WHERE topic_key = ?1)",
                       false)
        || !title.bindInt64(1, key) || title.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    picked.title = title.columnText(0);
    return picked;
}

// ripgrep counting the lines of the dump that hold the word, any case: the wall time
// around the process, or -1.
double ripgrepMs(const QString &dump, const QString &word, qint64 *count)
{
    QProcess rg;
    QElapsedTimer timer;
    timer.start();
    rg.start(QStringLiteral("rg"), {QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("-e"), word, dump});
    if (!rg.waitForFinished(600000) || rg.exitStatus() != QProcess::NormalExit)
        return -1;
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // Exit code 1 is "no line matched".
    if (rg.exitCode() == 1) {
        *count = 0;
        return ms;
    }
    if (rg.exitCode() != 0)
        return -1;
    *count = rg.readAllStandardOutput().trimmed().toLongLong();
    return ms;
}

void waitForEvents(int ms)
{
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void printText(const char *name, const QString &value)
{
    std::printf("%s: %s\n", name, qPrintable(value));
    std::fflush(stdout);
}

}
