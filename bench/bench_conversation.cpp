// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the conversation store on the real-text archive (the one bench_search
// --real-text writes, 1,000,000 message numbers unless --messages says otherwise), on a
// copy of its own:
//   (a) a conversation looked up with no store in the file (every subject read);
//   (b) the store's build in the background, its time, the longest a write of the window's
//       kind (a flag) waited meanwhile, and the file's growth;
//   (c) the lookup of conversations picked by size: one of a single message, one of about
//       ten, and the largest (goal: well under 100 ms), each next to the sqlite3
//       program's select count(*) ... where messtitle like '%topic%' on the same file,
//       its own "Run Time" (the anchor), with the ratio.
// Prints figures only.
//
//   bench_conversation [--messages N] [--runs N]

#include "benchdata.h"
#include "store/conversationindex.h"
#include "store/conversationtopic.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>

#ifndef VELTRA_CORPUS
#error "VELTRA_CORPUS must name the shared corpus folder"
#endif

using BenchData::print;
using BenchData::printText;

namespace {

double mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

// The database with its write-ahead log, as it takes room on the disk.
qint64 fileBytes(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

int usage()
{
    std::fprintf(stderr, "usage: bench_conversation [--messages N] [--runs N]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int messages = 1000000;
    int runs = 9;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--messages") && hasValue) {
            messages = args[++i].toInt();
            if (messages < 1000)
                return usage();
        } else if (args[i] == QLatin1String("--runs") && hasValue) {
            runs = qMax(1, args[++i].toInt());
        } else {
            return usage();
        }
    }

    const QString source = BenchData::realTextDatabase(messages, QStringLiteral(VELTRA_CORPUS "/realmail"));
    if (source.isEmpty())
        return 1;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("veltra.mdb"));
    if (!folder.isValid() || !BenchData::copyDatabase(source, path))
        return 1;
    printText("database", source);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        printText("load average (1, 5, 15 min) at the start", QString::fromLatin1(load.readAll()).section(u' ', 0, 2));

    auto opened = Recordset::open(path);
    if (!opened.recordset) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.reason));
        return 1;
    }
    Recordset &rs = *opened.recordset;
    SqliteDb &db = rs.connection();
    print("messages", rs.recordCount(), "");
    const qint64 before = fileBytes(path);
    print("database size", mb(before), "MB");

    // (a) Without a store: the last message's conversation, every subject read.
    rs.moveLast();
    const QString lastTitle = rs.field(QStringLiteral("messtitle")).toString();
    {
        QElapsedTimer clock;
        clock.start();
        QString error;
        const auto found = ConversationIndex::members(db, lastTitle, &error);
        print("(a) lookup without the store, every subject read", double(clock.nsecsElapsed()) / 1e6, "ms");
        print("(a) messages in that conversation", double(found.size()), "");
        if (!error.isEmpty())
            printText("(a) error", error);
    }

    // (b) The build on its worker thread, the window flagging a message now and then.
    {
        ConversationIndexBuilder builder;
        std::optional<ConversationIndexBuilder::Outcome> outcome;
        QString detail;
        QObject::connect(&builder, &ConversationIndexBuilder::finished, &app,
                         [&](ConversationIndexBuilder::Outcome o, const QString &d) {
                             outcome = o;
                             detail = d;
                         });
        QElapsedTimer clock;
        clock.start();
        builder.start(path);
        QList<double> waits;
        QElapsedTimer sinceWrite;
        sinceWrite.start();
        rs.moveFirst();
        while (!outcome) {
            BenchData::waitForEvents(20);
            if (sinceWrite.elapsed() < 200)
                continue;
            sinceWrite.start();
            const QString date = rs.field(QStringLiteral("messdate")).toString();
            const QString flipped = date.startsWith(QLatin1String("-1")) ? date.mid(2) : QStringLiteral("-1") + date;
            QElapsedTimer write;
            write.start();
            if (!rs.updateField(QStringLiteral("messdate"), flipped)) {
                printText("(b) a write failed", rs.lastError());
                return 1;
            }
            waits << double(write.nsecsElapsed()) / 1e6;
            rs.updateField(QStringLiteral("messdate"), date);
            rs.moveNext();
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (*outcome != ConversationIndexBuilder::Outcome::Ready) {
            printText("(b) the build did not complete", detail);
            return 1;
        }
        print("(b) build of the store (background thread, wall time)", seconds, "s");
        print("(b) messages a second", rs.recordCount() / seconds, "");
        std::sort(waits.begin(), waits.end());
        print("(b) flags written during the build", double(waits.size()), "");
        print("(b) a flag's write during the build, median", BenchData::median(waits), "ms");
        print("(b) a flag's write during the build, longest", waits.isEmpty() ? 0 : waits.last(), "ms");
    }
    // The log folded in, so the file's size is what it keeps.
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    const qint64 after = fileBytes(path);
    print("(b) database growth", mb(after - before), "MB");
    print("(b) database growth, share of its size", 100.0 * double(after - before) / double(before), "%");
    print("(b) growth a message", double(after - before) / rs.recordCount(), "bytes");

    // (c)
    for (const auto &[name, size] : {std::pair("one message", 1), std::pair("about ten", 10), std::pair("the largest", 0)}) {
        const std::optional<BenchData::Conversation> p = BenchData::pickConversation(db, size);
        if (!p)
            continue;
        const QByteArray tag = QByteArray("(c) ") + name;
        const auto line = [&](const char *what) { return tag + ", " + what; };
        printText(line("subject").constData(), p->title);
        QList<double> times;
        QList<double> cpu;
        std::size_t found = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            const double cpuBefore = BenchData::threadCpuMs();
            QString error;
            found = ConversationIndex::members(db, p->title, &error).size();
            times << double(clock.nsecsElapsed()) / 1e6;
            cpu << BenchData::threadCpuMs() - cpuBefore;
            if (!error.isEmpty())
                printText(line("error").constData(), error);
        }
        print(line("messages listed").constData(), double(found), "");
        print(line("lookup, first").constData(), times.first(), "ms");
        const double median = BenchData::median(times);
        print(line("lookup, median (goal well under 100)").constData(), median, "ms");
        print(line("lookup, median processor time").constData(), BenchData::median(cpu), "ms");
        qint64 count = -1;
        const QString topic = ConversationTopic::of(p->title);
        if (const double cli = BenchData::sqliteCliCountMs(path, "messtitle", topic, &count); cli >= 0) {
            print(line("sqlite3: count(*) where messtitle like '%topic%'").constData(), cli, "ms");
            print(line("sqlite3's count").constData(), double(count), "");
            print(line("ratio sqlite3 / lookup").constData(), cli / median, "x");
        } else {
            printText(line("sqlite3").constData(), QStringLiteral("not measured: the sqlite3 program did not run"));
        }
    }
    return 0;
}
