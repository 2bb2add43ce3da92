#include "benchdata.h"

#include "databasewriter.h"
#include "messagegenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

#ifndef VELTRA_BENCH_DATA_DIR
#error "VELTRA_BENCH_DATA_DIR must name the folder for benchmark data"
#endif

namespace BenchData {

namespace {

// The demo archive (seed 1) up to message `last`, written once as `name` and reused.
QString generated(const char *name, qint32 last, const char *size)
{
    const QString dir = QStringLiteral(VELTRA_BENCH_DATA_DIR);
    const QString path = QDir(dir).filePath(QLatin1String(name));
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(dir);
    std::printf("writing the %s-message benchmark database to %s ...\n", size, qPrintable(path));
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    DatabaseWriter writer;
    if (!writer.begin(path, false)) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.lastError()));
        return {};
    }
    MessageGenerator generator(1);
    for (;;) {
        const MessageRecord record = generator.next();
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
    std::printf("written in %.1f s\n", clock.elapsed() / 1000.0);
    return path;
}

} // namespace

QString database100k()
{
    return generated("veltra-100k.mdb", 100000, "100,000");
}

QString database1m()
{
    return generated("veltra-1m.mdb", 1000000, "1,000,000");
}

QString bodyDump(const QString &database)
{
    const QFileInfo info(database);
    const QString path = info.dir().filePath(info.completeBaseName() + QStringLiteral("-bodies.txt"));
    if (QFileInfo::exists(path))
        return path;
    std::printf("writing the bodies of %s to %s ...\n", qPrintable(database), qPrintable(path));
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
    // Only read, but opened for writing: a read-only connection to a write-ahead-log
    // database leaves its -wal and -shm files behind.
    bool ok = sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
              && sqlite3_prepare_v2(db, "SELECT message FROM veltra ORDER BY rowid", -1, &statement, nullptr) == SQLITE_OK;
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
        std::fprintf(stderr, "cannot dump the bodies: %s\n", sqlite3_errmsg(db));
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
