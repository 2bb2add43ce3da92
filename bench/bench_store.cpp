// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the message store on a database of 100,000 messages with bodies of 1-4 KB:
// start-up reads, a jump to a message number near the end, and a rare-word body search
// next to SQLite's own LIKE over the same file.
//
//   bench_store [--database PATH] [--messages N]
//
// Without --database the database is built in a temporary folder and removed afterwards;
// with it, an existing file is used as it is and a missing one is built there and kept.

#include "benchdata.h"
#include "store/recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kDefaultMessages = 100000;
constexpr const char *kRareWord = "wombat"; // never among the filler words below
constexpr int kRareEvery = 4000;             // one message in this many holds it

const char *const kWords[] = {
    "the", "car", "engine", "oil", "brake", "wheel", "club", "meeting", "and", "of", "to", "in", "is",
    "for", "with", "that", "this", "on", "was", "have", "red", "blue", "gearbox", "clutch", "service",
    "manual", "spark", "plug", "battery", "rust", "paint", "chrome", "door", "seat", "window", "tyre",
    "pressure", "garage", "mileage", "warranty", "dealer", "price", "sale", "wanted", "thanks", "regards",
    "anyone", "know", "where", "could", "would", "should", "problem", "noise", "starter", "radiator",
    "coolant", "thermostat", "exhaust", "filter", "carburettor", "timing", "belt", "pump", "&amp;", "--",
};
constexpr int kWordCount = int(sizeof(kWords) / sizeof(kWords[0]));

QString body(QRandomGenerator &random, bool withRareWord)
{
    const int target = random.bounded(1024, 4097);
    QString text = QStringLiteral("<tt>");
    text.reserve(target + 64);
    int rareAt = withRareWord ? random.bounded(target) : -1;
    while (text.size() < target) {
        if (rareAt >= 0 && text.size() >= rareAt) {
            text += random.bounded(2) ? QStringLiteral("Wombat ") : QString::fromLatin1(kRareWord) + u' ';
            rareAt = -1;
        }
        text += QString::fromLatin1(kWords[random.bounded(kWordCount)]);
        text += random.bounded(12) == 0 ? QStringLiteral("<br>\n") : QStringLiteral(" ");
    }
    return text + QStringLiteral("</tt>");
}

bool build(const QString &path, int messages)
{
    QString error;
    if (!Recordset::createEmpty(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    auto opened = Recordset::open(path);
    if (!opened.recordset) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.reason));
        return false;
    }
    Recordset &rs = *opened.recordset;
    QRandomGenerator random(1234);
    sqlite3_exec(rs.handle(), "BEGIN", nullptr, nullptr, nullptr);
    for (int n = 1; n <= messages; ++n) {
        MessageRecord r;
        r.messnum = n;
        r.messauthor = QStringLiteral("member%1 <member%1@example.org>").arg(n % 700);
        r.messdate = QStringLiteral("Mon Mar %1, 2003 %2:%3 am").arg(n % 28 + 1).arg(n % 12 + 1).arg(n % 60, 2, 10, QLatin1Char('0'));
        r.messtitle = QStringLiteral("[vclub] Re: %1 %2").arg(QString::fromLatin1(kWords[n % kWordCount]),
                                                              QString::fromLatin1(kWords[(n * 7) % kWordCount]));
        r.message = body(random, n % kRareEvery == kRareEvery / 2);
        if (!rs.addNew(r)) {
            std::fprintf(stderr, "addNew: %s\n", qPrintable(rs.lastError()));
            return false;
        }
    }
    return sqlite3_exec(rs.handle(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs f `times` times and returns the median in milliseconds.
double medianMs(int times, const std::function<void()> &f)
{
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void printCount(const char *name, int value)
{
    std::printf("%s: %d count\n", name, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString path;
    int messages = kDefaultMessages;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--database") && i + 1 < args.size()) {
            path = args[++i];
        } else if (args[i] == QStringLiteral("--messages") && i + 1 < args.size()) {
            messages = std::max(1, args[++i].toInt());
        } else {
            std::fprintf(stderr, "usage: bench_store [--database PATH] [--messages N]\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    if (path.isEmpty()) {
        if (!temporary.isValid())
            return 1;
        path = temporary.filePath(QStringLiteral("veltra.mdb"));
    }
    if (!QFileInfo::exists(path)) {
        QElapsedTimer timer;
        timer.start();
        if (!build(path, messages))
            return 1;
        print("build database", double(timer.elapsed()) / 1000, "s");
    }
    print("database size", double(QFileInfo(path).size()) / (1024 * 1024), "MiB");

    int count = 0;
    int lastNumber = 0;
    print("open + moveLast + recordCount + read messnum (median of 7)", medianMs(7, [&] {
              auto opened = Recordset::open(path);
              if (!opened.recordset)
                  return;
              opened.recordset->moveLast();
              count = opened.recordset->recordCount();
              lastNumber = opened.recordset->field(QStringLiteral("messnum")).toInt();
          }), "ms");
    printCount("records", count);
    printCount("last messnum", lastNumber);

    auto opened = Recordset::open(path);
    if (!opened.recordset) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.reason));
        return 1;
    }
    Recordset &rs = *opened.recordset;
    std::printf("search index: %s\n", qPrintable(BenchData::indexState(path, false, rs.searchIndexInUse())));

    // A slider jump: each one a new criteria string, so parsing and preparing are included.
    int jump = 0;
    bool allFound = true;
    print("findFirst messnum = n near the end, new criteria each (median of 100, goal < 5)", medianMs(100, [&] {
              const QString criteria = QStringLiteral("messnum = %1").arg(lastNumber - jump++ % 50);
              allFound = rs.findFirst(criteria) == Recordset::FindResult::Found && allFound;
          }), "ms");
    const QString last = QStringLiteral("messnum = %1").arg(lastNumber);
    print("findFirst messnum = last, same criteria (median of 100)", medianMs(100, [&] {
              allFound = rs.findFirst(last) == Recordset::FindResult::Found && allFound;
          }), "ms");
    if (!allFound)
        std::fprintf(stderr, "warning: a find by number found nothing\n");

    const QString criteria = QStringLiteral("message like '*%1*'").arg(QString::fromLatin1(kRareWord));
    int hits = 0;
    const double ours = medianMs(3, [&] {
        hits = 0;
        for (auto r = rs.findFirst(criteria); r == Recordset::FindResult::Found; r = rs.findNext(criteria))
            ++hits;
    });
    print("body search findFirst/findNext to the end (median of 3)", ours, "ms");
    printCount("body search hits", hits);

    // Letters outside ASCII take the slower, folding path (SQLite's LIKE does not fold them).
    const QString accented = QStringLiteral("message like '*w\u00d6mbat*'");
    print("body search with a non-ASCII letter, findFirst/findNext to the end (median of 3)", medianMs(3, [&] {
              for (auto r = rs.findFirst(accented); r == Recordset::FindResult::Found; r = rs.findNext(accented)) {
              }
          }), "ms");

    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite3_open_v2 failed\n");
        return 1;
    }
    const QByteArray sql = QByteArray("select count(*) from veltra where message like '%") + kRareWord + "%'";
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    int sqliteHits = 0;
    const double theirs = medianMs(3, [&] {
        sqlite3_reset(stmt);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            sqliteHits = sqlite3_column_int(stmt, 0);
    });
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    print("sqlite3 select count(*) ... like '%word%' (median of 3)", theirs, "ms");
    printCount("sqlite3 hits", sqliteHits);
    print("body search ratio to sqlite3 LIKE (goal <= 2)", theirs > 0 ? ours / theirs : 0, "x");
    if (hits != sqliteHits)
        std::fprintf(stderr, "warning: %d hits here, %d from sqlite3\n", hits, sqliteHits);
    return 0;
}
