#include "benchdata.h"

#include "databasewriter.h"
#include "messagegenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <cstdio>

#ifndef VELTRA_BENCH_DATA_DIR
#error "VELTRA_BENCH_DATA_DIR must name the folder for benchmark data"
#endif

namespace BenchData {

QString database100k()
{
    const QString dir = QStringLiteral(VELTRA_BENCH_DATA_DIR);
    const QString path = QDir(dir).filePath(QStringLiteral("veltra-100k.mdb"));
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(dir);
    std::printf("writing the 100,000-message benchmark database to %s ...\n", qPrintable(path));
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
        if (record.messnum > 100000)
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
