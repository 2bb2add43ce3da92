// SPDX-License-Identifier: GPL-3.0-or-later
// Times the search index's checks on a message database (a copy: "open" and "build"
// write to it):
//   bench_indexcheck verify FILE   the deep check alone (SearchIndex::verify), read only,
//                                  beside the sqlite3 program's PRAGMA quick_check of the file
//   bench_indexcheck build FILE    the builder's Verify task, as after an untrusted opening
//   bench_indexcheck open FILE     the archive opened as the program does: milliseconds
//                                  until finds use the index, and whether it was trusted;
//                                  then closed cleanly (which marks it trusted)
#include "archive/indexupkeep.h"
#include "benchdata.h"
#include "archive/messagearchive.h"
#include "store/recordset.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_indexcheck verify|build|open FILE\n");
        return 2;
    }
    const QString what = args.at(1);
    const QString path = args.at(2);
    QTextStream out(stdout);
    QElapsedTimer timer;
    if (what == QLatin1String("verify")) {
        SqliteDb db;
        if (!db.open(path, SQLITE_OPEN_READONLY))
            return 1;
        timer.start();
        const SearchIndex::Status status = SearchIndex::status(db);
        const qint64 statusMs = timer.restart();
        const std::optional<QString> wrong = SearchIndex::verify(db, status.upto);
        out << "status " << statusMs << " ms, verify " << timer.elapsed() << " ms: "
            << (wrong ? *wrong : QStringLiteral("sound")) << Qt::endl;
        db.close();
        out << "the sqlite3 program's PRAGMA quick_check of the same file: "
            << BenchData::sqliteCliMs(path, QStringLiteral("PRAGMA quick_check;")) << " ms" << Qt::endl;
        return wrong ? 1 : 0;
    }
    if (what == QLatin1String("build")) {
        timer.start();
        const SearchIndexBuilder::Report report = SearchIndexBuilder::run(path, SearchIndexBuilder::Task::Verify);
        out << "Verify task " << timer.elapsed() << " ms, outcome " << int(report.outcome) << " " << report.detail
            << Qt::endl;
        return 0;
    }
    if (what != QLatin1String("open"))
        return 2;
    MessageArchive archive(QFileInfo(path).absolutePath());
    IndexUpkeep upkeep(&archive, true, nullptr);
    timer.start();
    qint64 checkMs = -1;
    QString ended;
    QObject::connect(&archive, &MessageArchive::checkPassed, [&] { checkMs = timer.elapsed(); });
    const MessageArchive::Opening opening = archive.open(false);
    if (opening.status != MessageArchive::OpenStatus::Opened) {
        out << "not opened: " << opening.reason << Qt::endl;
        return 1;
    }
    const qint64 openMs = timer.elapsed();
    archive.watchForDamage();
    qint64 inUseMs = archive.recordset()->searchIndexInUse() ? timer.elapsed() : -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (inUseMs < 0 && archive.recordset()->searchIndexInUse())
            inUseMs = timer.elapsed();
        // The file's check and the index's build (or check) are over: nothing more to time.
        if ((inUseMs >= 0 && checkMs >= 0 && !ended.isEmpty()) || timer.elapsed() > 120000)
            app.quit();
    });
    poll.start(5);
    QObject::connect(&upkeep, &IndexUpkeep::buildEnded, [&] {
        if (checkMs >= 0)
            ended = QStringLiteral("%1").arg(timer.elapsed());
    });
    app.exec();
    out << "opened " << openMs << " ms, index in use after " << inUseMs << " ms, file check passed after " << checkMs
        << " ms, build ended after " << ended << " ms" << Qt::endl;
    QString busy;
    archive.takeAlone(&busy);
    return 0;
}
