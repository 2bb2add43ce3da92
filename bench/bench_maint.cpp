// SPDX-License-Identifier: GPL-3.0-or-later
// Deletion and compaction on the 100,000-message demo database, in the window with the fake
// browser (offscreen unless QT_QPA_PLATFORM says otherwise):
//   (1) flagging every entry of a search that stopped at the hit limit (5,001 entries):
//       the click on CmdMarkRange until it returns (goal under 3 s);
//   (2) listing 1,000 flagged messages spread over the table: the click on cmdCheckDelete
//       (goal under 1 s);
//   (3) deleting 10,000 flagged messages spread over the table from the deletion panel
//       without a confirmation (goal under 5 s), the table checked to lose exactly those;
//   (4) Compaction::compact on the database left by (3) next to the sqlite3 program's
//       VACUUM INTO of the same file (goal: at most 2 times), with the compaction's steps
//       timed from its pause points and its check alone on the result.
// Every timed run starts from a fresh copy of the database, with the substring index
// complete as in a user's archive (with --no-index: none, and the window started with the
// index off) and the flags the demo data comes with taken off first, and the window's
// start-up checks (the file's quick_check, the index's) over before the click; the state
// of the index at the click is printed whenever it changes.
// Next to each click's wall time the main thread's CPU time is printed (other load on the
// machine shows as the gap), and for (1) and (2) the same click with the window hidden:
// the difference is what repainting the window between entries costs.
//
//   bench_maint [--runs N] [--common WORD] [--no-index]

#include "app/form1.h"
#include "base/version.h"
#include "archive/messagearchive.h"
#include "benchdata.h"
#include "benchwindow.h"
#include "fakebrowser.h"
#include "archive/compaction.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "store/searchindex.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <memory>
#include <optional>

using BenchData::print;
using BenchData::printText;
using BenchWindow::child;

namespace {

const QString kDatabaseName = QStringLiteral("veltra.mdb");
const QString kActiveCaption = QStringLiteral("Veltra Knowledgebase V" VELTRA_VERSION);

struct Options
{
    bool searchIndex = true;
    int runs = 3;
    QString common = QStringLiteral("the");
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Runs SQL on the file through a connection of its own; returns the first column of the
// first row (or 0), or nullopt on error.
std::optional<qint64> sql(const QString &path, const char *statement)
{
    sqlite3 *db = nullptr;
    std::optional<qint64> result;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, statement, -1, &s, nullptr) == SQLITE_OK) {
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_ROW)
                result = sqlite3_column_int64(s, 0);
            else if (rc == SQLITE_DONE)
                result = sqlite3_changes64(db);
        }
        if (!result)
            std::fprintf(stderr, "%s: %s\n", statement, sqlite3_errmsg(db));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

qint64 rows(const QString &path)
{
    return sql(path, "SELECT count(*) FROM veltra").value_or(-1);
}

qint64 flaggedRows(const QString &path)
{
    return sql(path, "SELECT count(*) FROM veltra WHERE messdate LIKE '-1%'").value_or(-1);
}

// Takes the flag off every message: the demo data comes with some flagged.
bool unflagAll(const QString &path)
{
    return sql(path, "UPDATE veltra SET messdate = substr(messdate, 3) WHERE messdate LIKE '-1%'").has_value()
           && flaggedRows(path) == 0;
}

// Flags `count` messages evenly spread over the stored order: row r of n is taken when
// floor(r * count / n) steps up, which happens exactly `count` times.
bool flagSpread(const QString &path, int count)
{
    const QByteArray statement = QStringLiteral(
        "UPDATE veltra SET messdate = '-1' || messdate WHERE id IN ("
        " SELECT id FROM (SELECT id, row_number() OVER (ORDER BY id) AS r, count(*) OVER () AS n FROM veltra)"
        " WHERE (r * %1) % n < %1)").arg(count).toUtf8();
    const std::optional<qint64> changed = sql(path, statement.constData());
    if (changed != count) {
        std::fprintf(stderr, "flagged %lld messages instead of %d\n", qlonglong(changed.value_or(-1)), count);
        return false;
    }
    return true;
}

// A data folder holding a fresh copy of the benchmark database.
std::unique_ptr<QTemporaryDir> freshFolder(const QString &source)
{
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid() || !BenchData::copyDatabase(source, folder->filePath(kDatabaseName))) {
        std::fprintf(stderr, "cannot copy %s into a data folder\n", qPrintable(source));
        return {};
    }
    return folder;
}

// The window started on the folder's database, active and idle; the folder stays the
// current directory while the window lives.
bool g_searchIndex = true;

std::unique_ptr<Form1> startWindow(const QString &folder)
{
    QDir::setCurrent(folder);
    AppConfig config;
    config.searchIndex = g_searchIndex;
    auto w = std::make_unique<Form1>(config, new FakeBrowser);
    w->showAsLoaded();
    QElapsedTimer started;
    started.start();
    while (w->windowTitle() != kActiveCaption && started.elapsed() < 20000)
        BenchData::waitForEvents(50);
    // The start-up quick_check reads the whole file on a thread of its own, and the index's
    // check follows it on another; the clicks are timed without them competing.
    while (started.elapsed() < 120000) {
        const auto *check = w->findChild<IntegrityCheck *>();
        const Recordset *rs = w->archive()->recordset();
        if ((!check || !check->isRunning()) && !w->findChild<SearchIndexBuilder *>()
            && (!rs || rs->searchIndexInUse() || !g_searchIndex))
            break;
        BenchData::waitForEvents(20);
    }
    QCoreApplication::processEvents();
    if (!w->archive()->recordset()) {
        std::fprintf(stderr, "the window has no database in %s\n", qPrintable(folder));
        return {};
    }
    static QString printedState;
    const QString state = BenchData::indexState(QDir(folder).filePath(kDatabaseName),
                                                w->findChild<SearchIndexBuilder *>() != nullptr,
                                                w->archive()->recordset()->searchIndexInUse());
    if (state != printedState) {
        printText("search index as the window's work begins", state);
        printedState = state;
    }
    return w;
}

// Closes the window so its connection lets go of the file (the log folded back in).
void closeWindow(std::unique_ptr<Form1> &w)
{
    w->close();
    w.reset();
    QCoreApplication::processEvents();
    QDir::setCurrent(QDir::tempPath());
}

// Enter in the search box, which has the focus as when typed into; returns when the
// search has ended.
void search(Form1 &w, const QString &term)
{
    child<QComboBox>(&w, "Combo1")->setFocus();
    BenchWindow::search(w, term);
}

struct Timing
{
    double wallMs = -1;
    double cpuMs = -1; // the calling thread's
};

template<typename F> Timing timed(F &&f)
{
    QElapsedTimer t;
    const double cpu = BenchData::threadCpuMs();
    t.start();
    f();
    return {msSince(t), BenchData::threadCpuMs() - cpu};
}

template<typename F> double timedMs(F &&f)
{
    return timed(f).wallMs;
}

struct Timings
{
    QList<double> wall;
    QList<double> cpu;
    void add(const Timing &t)
    {
        wall << t.wallMs;
        cpu << t.cpuMs;
    }
};

void printClick(const char *name, const Timings &t)
{
    std::printf("%s: %.3f ms  (main thread CPU %.3f ms; runs:", name, BenchData::median(t.wall), BenchData::median(t.cpu));
    for (double ms : t.wall)
        std::printf(" %.0f", ms);
    std::printf(")\n");
    std::fflush(stdout);
}

// (1) One run, with the window shown or hidden; wall time -1 on failure.
Timing markRun(const QString &source, const Options &options, bool hidden, int *entries, qint64 *flagged)
{
    const auto folder = freshFolder(source);
    if (!folder)
        return {};
    auto w = startWindow(folder->path());
    if (!w)
        return {};
    child<QAction>(w.get(), "MenuSearchBody")->trigger();
    search(*w, options.common);
    auto *list = child<ResultTable>(w.get(), "List1");
    const QString label = child<QLabel>(w.get(), "lblResults")->text();
    *entries = list->count();
    if (!label.contains(QLatin1String("Found>5,000")) || *entries != 5001) {
        std::fprintf(stderr, "the search for \"%s\" ended with \"%s\" and %d entries\n", qPrintable(options.common),
                     qPrintable(label), *entries);
        return {};
    }
    if (hidden)
        w->hide();
    const Timing timing = timed([&] { child<QToolButton>(w.get(), "CmdMarkRange")->click(); });
    closeWindow(w);
    *flagged = flaggedRows(folder->filePath(kDatabaseName));
    return timing;
}

// (3) One run; the folder keeps the database the deletion left. Wall time -1 on failure.
Timing deleteRun(const QString &flaggedSource, std::unique_ptr<QTemporaryDir> *kept, qint64 *lost)
{
    auto folder = freshFolder(flaggedSource);
    if (!folder)
        return {};
    const QString database = folder->filePath(kDatabaseName);
    const qint64 before = rows(database);
    auto w = startWindow(folder->path());
    if (!w)
        return {};
    child<QAction>(w.get(), "MnuDelete")->trigger();
    child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
    const Timing timing = timed([&] { child<QPushButton>(w.get(), "CmdDeleteMarked")->click(); });
    const QString label = child<QLabel>(w.get(), "lblResults")->text();
    closeWindow(w);
    if (label != QLatin1String(" Messages Deleted"))
        printText("(3) label after the deletion", label);
    *lost = before - rows(database);
    *kept = std::move(folder);
    return timing;
}

// (4) The compaction's own steps, from its pause points.
enum Piece { Prepare, Vacuum, CheckAndSync, Renames, FolderSync, Pieces };
const std::array<const char *, Pieces> kPieceNames = {
    "open, log folded in (journal_mode = DELETE), source figures",
    "VACUUM INTO veltranew.mdb",
    "check of the copy (integrity_check, figures) and its fsync",
    "the two renames",
    "the folder's fsync",
};

double compactRun(const QString &source, std::array<double, Pieces> *pieces, qint64 *records)
{
    const auto folder = freshFolder(source);
    if (!folder)
        return -1;
    QElapsedTimer t;
    std::array<double, Pieces + 1> marks{};
    const auto pause = [&](Compaction::Step step) {
        switch (step) {
        case Compaction::Step::SourceReady: marks[1] = msSince(t); break;
        case Compaction::Step::CopyWritten: marks[2] = msSince(t); break;
        case Compaction::Step::CopyChecked: marks[3] = msSince(t); break;
        case Compaction::Step::BackupKept: break;
        case Compaction::Step::Switched: marks[4] = msSince(t); break;
        }
    };
    t.start();
    const Compaction::Result result = Compaction::compact(folder->path(), pause);
    const double ms = msSince(t);
    if (!result.ok) {
        std::fprintf(stderr, "the compaction failed: %s\n", qPrintable(result.reason));
        return -1;
    }
    marks[5] = ms;
    for (int i = 0; i < Pieces; ++i)
        (*pieces)[i] = marks[i + 1] - marks[i];
    *records = rows(folder->filePath(kDatabaseName));
    return ms;
}

// The sqlite3 program's VACUUM INTO of a fresh copy, process start to exit; -1 on failure.
double cliVacuumRun(const QString &source, qint64 *bytes)
{
    const auto folder = freshFolder(source);
    if (!folder)
        return -1;
    const QString out = folder->filePath(QStringLiteral("out.mdb"));
    QProcess cli;
    QElapsedTimer t;
    t.start();
    cli.start(QStringLiteral("sqlite3"), {folder->filePath(kDatabaseName), QStringLiteral("VACUUM INTO '%1'").arg(out)});
    if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 did not run: %s %s\n", qPrintable(cli.errorString()),
                     cli.readAllStandardError().constData());
        return -1;
    }
    const double ms = msSince(t);
    *bytes = QFileInfo(out).size();
    return ms;
}

}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--runs") && hasValue) {
            options.runs = qMax(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--common") && hasValue) {
            options.common = args[++i];
        } else if (args[i] == QLatin1String("--no-index")) {
            options.searchIndex = false;
        } else {
            std::fprintf(stderr, "usage: bench_maint [--runs N] [--common WORD] [--no-index]\n");
            return 2;
        }
    }

    const QString demo = BenchData::database100k();
    if (demo.isEmpty())
        return 1;
    QElapsedTimer total;
    total.start();
    printText("platform", QGuiApplication::platformName());
    print("messages", rows(demo), "count");
    print("flagged in the demo data (taken off for every run)", flaggedRows(demo), "count");
    g_searchIndex = options.searchIndex;
    const QString start = options.searchIndex ? BenchData::indexedDatabase(demo) : demo;
    if (start.isEmpty())
        return 1;
    const auto base = freshFolder(start);
    const QString source = base ? base->filePath(kDatabaseName) : QString();
    if (!base || !unflagAll(source))
        return 1;

    // (1)
    {
        Timings shown;
        int entries = 0;
        qint64 flagged = 0;
        for (int i = 0; i < options.runs; ++i) {
            const Timing t = markRun(source, options, false, &entries, &flagged);
            if (t.wallMs < 0)
                return 1;
            shown.add(t);
        }
        printText("(1) search term (body)", options.common);
        print("(1) entries listed", entries, "count");
        print("(1) messages flagged afterwards", flagged, "count");
        printClick("(1) CmdMarkRange click over every entry (median, goal < 3000)", shown);
        print("(1) per entry", BenchData::median(shown.wall) / qMax(entries, 1) * 1000, "us");
        const Timing hidden = markRun(source, options, true, &entries, &flagged);
        if (hidden.wallMs < 0)
            return 1;
        print("(1) the same click with the window hidden, nothing repainted (one run)", hidden.wallMs, "ms");
        print("(1) repainting's share of the shown click", 100 * (1 - hidden.wallMs / BenchData::median(shown.wall)), "%");
    }

    // (2) Listing does not change the database: one window, several clicks.
    {
        const auto folder = freshFolder(source);
        if (!folder || !flagSpread(folder->filePath(kDatabaseName), 1000))
            return 1;
        auto w = startWindow(folder->path());
        if (!w)
            return 1;
        auto *button = child<QToolButton>(w.get(), "cmdCheckDelete");
        Timings shown;
        for (int i = 0; i < options.runs; ++i)
            shown.add(timed([&] { button->click(); }));
        print("(2) List1 entries", child<ResultTable>(w.get(), "List1")->count(), "count");
        printText("(2) label", child<QLabel>(w.get(), "lblResults")->text());
        printClick("(2) cmdCheckDelete click with 1,000 flagged (median, goal < 1000)", shown);
        w->hide();
        Timings hidden;
        for (int i = 0; i < options.runs; ++i)
            hidden.add(timed([&] { button->click(); }));
        printClick("(2) the same click with the window hidden, nothing repainted (median)", hidden);
        closeWindow(w);
    }

    // (3) The flagged file is made once; every run deletes from a copy of it.
    std::unique_ptr<QTemporaryDir> afterDeletion;
    {
        const auto flaggedFolder = freshFolder(source);
        const QString flaggedSource = flaggedFolder ? flaggedFolder->filePath(kDatabaseName) : QString();
        if (!flaggedFolder || !flagSpread(flaggedSource, 10000))
            return 1;
        Timings times;
        qint64 lost = 0;
        for (int i = 0; i < options.runs; ++i) {
            const Timing t = deleteRun(flaggedSource, &afterDeletion, &lost);
            if (t.wallMs < 0)
                return 1;
            times.add(t);
            if (lost != 10000) {
                std::fprintf(stderr, "the table lost %lld rows, not 10,000\n", qlonglong(lost));
                return 1;
            }
        }
        print("(3) rows the table lost (must be 10000)", lost, "count");
        printClick("(3) CmdDeleteMarked click with 10,000 flagged (median, goal < 5000)", times);
    }

    // (4) Compaction and the sqlite3 program alternate, each on a fresh copy.
    {
        const QString deleted = afterDeletion->filePath(kDatabaseName);
        print("(4) database after the deletions", QFileInfo(deleted).size() / 1e6, "MB");
        QList<double> compactTimes;
        QList<double> cliTimes;
        std::array<QList<double>, Pieces> pieceTimes;
        qint64 records = 0;
        qint64 cliBytes = 0;
        for (int i = 0; i < options.runs; ++i) {
            std::array<double, Pieces> pieces{};
            const double compactMs = compactRun(deleted, &pieces, &records);
            const double cliMs = cliVacuumRun(deleted, &cliBytes);
            if (compactMs < 0 || cliMs < 0)
                return 1;
            compactTimes << compactMs;
            cliTimes << cliMs;
            for (int p = 0; p < Pieces; ++p)
                pieceTimes[p] << pieces[p];
        }
        const double compactMs = BenchData::median(compactTimes);
        const double cliMs = BenchData::median(cliTimes);
        print("(4) records after the compaction", records, "count");
        print("(4) Compaction::compact, whole, with its checks (median)", compactMs, "ms");
        for (int p = 0; p < Pieces; ++p)
            std::printf("      %-62s %9.3f ms\n", kPieceNames[p], BenchData::median(pieceTimes[p]));
        print("(4) sqlite3 FILE \"VACUUM INTO 'OUT'\", process start to exit (median)", cliMs, "ms");
        print("(4) sqlite3 output", cliBytes / 1e6, "MB");
        print("(4) ratio compaction / sqlite3 (goal <= 2)", compactMs / cliMs, "x");

        // The check alone, on a compacted result (warm in the page cache).
        const auto folder = freshFolder(deleted);
        if (!folder || !Compaction::compact(folder->path()).ok)
            return 1;
        QList<double> checkTimes;
        for (int i = 0; i < options.runs; ++i) {
            Compaction::Figures figures;
            QString reason;
            checkTimes << timedMs([&] {
                if (!Compaction::check(folder->filePath(kDatabaseName), &figures, &reason))
                    printText("(4) check", reason);
            });
        }
        print("(4) Compaction::check alone on the result (median)", BenchData::median(checkTimes), "ms");
    }
    print("total bench time", msSince(total) / 1000, "s");
    return 0;
}
