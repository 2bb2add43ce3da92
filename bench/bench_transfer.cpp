// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for bringing an archive in and taking it out, each next to an anchor run in the
// same run:
//   (1) converting the largest table of the corpus's Access files (nwind.mdb, "Order
//       Details", 2155 rows) with JetConverter, against mdb-export piped into sqlite3's
//       .import of the same table;
//   (2) exporting the 100,000-message database to an mbox file with MboxExport, against
//       sqlite3 -csv dumping the same five fields. Goal: within 3x of the dump.
//
//   bench_transfer [--runs N]
#include "benchdata.h"
#include "convert/jetconverter.h"
#include "convert/mboxexport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using BenchData::print;

// Wall time of a shell pipeline, ms; -1 when it failed.
double shell(const QString &command)
{
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(QStringLiteral("bash"), {QStringLiteral("-c"), command});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s\n%s\n", qPrintable(command), p.readAllStandardError().constData());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

QString quoted(const QString &path)
{
    return QLatin1Char('\'') + QString(path).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

void conversion(int runs, const QTemporaryDir &scratch)
{
    const QString nwind = QStringLiteral(CORPUS_DIR "/jet/nwind.mdb");
    if (!QFileInfo::exists(nwind)) {
        std::printf("(1) skipped: %s is absent\n", qPrintable(nwind));
        return;
    }
    const auto columns = JetColumns::parse(QStringLiteral("Order Details"),
                                           QStringLiteral("messnum=OrderID,messauthor=ProductID,messdate=UnitPrice,"
                                                          "messtitle=Quantity,message=Discount"), nullptr);
    const JetConverter converter(QStringLiteral(JET_READER));
    const QString folder = scratch.filePath(QStringLiteral("convert"));
    QDir().mkpath(folder);
    const QString anchorDb = scratch.filePath(QStringLiteral("anchor.db"));
    QList<double> ours;
    QList<double> anchor;
    qint64 rows = 0;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(QDir(folder).filePath(QStringLiteral("veltra.mdb")));
        QElapsedTimer timer;
        timer.start();
        const auto result = converter.convert(nwind, folder, *columns);
        ours << double(timer.nsecsElapsed()) / 1e6;
        if (result.status != JetConverter::Status::Converted) {
            std::fprintf(stderr, "%s\n", qPrintable(result.reason));
            return;
        }
        rows = result.messages;
        QFile::remove(anchorDb);
        anchor << shell(QStringLiteral("mdb-export %1 'Order Details' | sqlite3 %2 '.mode csv' '.import /dev/stdin t'")
                            .arg(quoted(nwind), quoted(anchorDb)));
    }
    const double ms = BenchData::median(ours);
    const double anchorMs = BenchData::median(anchor);
    print("(1) rows converted", double(rows), "count");
    print("(1) JetConverter, median", ms, "ms");
    print("(1) JetConverter rate", rows / ms * 1000, "rows/s");
    print("(1) mdb-export | sqlite3 .import, median", anchorMs, "ms");
    print("(1) mdb-export | sqlite3 .import rate", rows / anchorMs * 1000, "rows/s");
    print("(1) JetConverter / anchor", ms / anchorMs, "x");
}

void exporting(int runs, const QTemporaryDir &scratch)
{
    const QString database = BenchData::database100k();
    if (database.isEmpty())
        return;
    const QString mbox = scratch.filePath(QStringLiteral("all.mbox"));
    const QString csv = scratch.filePath(QStringLiteral("all.csv"));
    QList<double> ours;
    QList<double> anchor;
    qint64 messages = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const auto result = MboxExport::write(database, mbox, std::nullopt);
        ours << double(timer.nsecsElapsed()) / 1e6;
        if (result.status != MboxExport::Status::Exported) {
            std::fprintf(stderr, "%s\n", qPrintable(result.reason));
            return;
        }
        messages = result.messages;
        anchor << shell(QStringLiteral("sqlite3 -csv %1 'SELECT messnum, messauthor, messdate, messtitle, message FROM "
                                       "veltra ORDER BY rowid' > %2").arg(quoted(database), quoted(csv)));
    }
    const double ms = BenchData::median(ours);
    const double anchorMs = BenchData::median(anchor);
    print("(2) messages exported", double(messages), "count");
    print("(2) mbox file", QFileInfo(mbox).size() / 1e6, "MB");
    print("(2) MboxExport, median", ms, "ms");
    print("(2) sqlite3 -csv dump, median", anchorMs, "ms");
    print("(2) csv dump", QFileInfo(csv).size() / 1e6, "MB");
    print("(2) MboxExport / sqlite3 -csv (goal at most 3)", ms / anchorMs, "x");
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--runs"));
    const int runs = at >= 0 ? qMax(1, arguments.value(at + 1).toInt()) : 5;
    QTemporaryDir scratch;
    conversion(runs, scratch);
    exporting(runs, scratch);
    return 0;
}
