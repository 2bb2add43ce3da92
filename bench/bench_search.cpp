// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the search in the window, with the fake browser (the hit is still rendered
// into the message page), on the demo database (100,000 or 1,000,000 messages) or on a
// real-text archive, whose words have the frequencies of real mail (--real-text). Every
// search is timed in a window whose finds use the substring index and again in a window
// started with the index off, each on a copy of its own; the two must list the same lines.
//   (d) the build of the substring index on the database, its time, and its size against
//       the size of the text it covers (goal: about the same or less); with --forms the
//       same three tables in other forms (trigrams with detail=none, column and full;
//       words with full detail) and in its own, built by plain SQL;
//   (a) a rare-word body search, next to ripgrep counting the same word in a dump of the
//       bodies, one a line (goal: the window at least 5 times as fast as ripgrep), and
//       next to the sqlite3 program's select count(*) ... like '%word%' on the same file;
//   (m) with real text (or --medium), a body search for a word in 2,000 to 5,000 messages;
//   (b) a common-word body search that stops at the hit limit, from Enter to the label
//       "Found>5,000" (goal: under 300 ms), with the store's share of it;
//   (c) a subject search for a two-word term with the Bracket wildcards.
// Each term is printed with the messages that hold it, the candidates the index gives for
// it (the rows of the FTS5 query the store's find asks), and ripgrep's count and time.
// With --real-text the terms are picked by those counts: a rare word in 100 to 1,500
// bodies, a medium one in 2,000 to 5,000, the most common word, and two words next to
// each other in about 1,000 subjects.
//
//   bench_search [--size 100k|1m | --real-text [--messages N]] [--forms] [--build-only] [--reuse-index]
//                [--rare WORD] [--medium WORD] [--common WORD] [--subject "TWO WORDS"] [--runs N]
//
// --real-text writes its archive (1,000,000 message numbers unless --messages says
// otherwise) once into the build folder's bench-data, its words taken from the mail in
// the shared corpus beside the checkout when it is there.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (under xvfb-run
// with QT_QPA_PLATFORM=xcb the label and list are painted by a real X server).

#include "config/appconfig.h"
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "benchdata.h"
#include "benchwindow.h"
#include "fakebrowser.h"
#include "searchterms.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "store/searchindex.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#ifndef VELTRA_CORPUS
#error "VELTRA_CORPUS must name the shared corpus folder"
#endif

using BenchData::print;
using BenchData::printText;
using BenchWindow::child;
using BenchWindow::search;

namespace {

struct Options
{
    QString size = QStringLiteral("100k");
    bool realText = false;
    int messages = 1000000; // with real text
    bool forms = false;
    bool buildOnly = false; // (d) alone
    bool reuseIndex = false; // keep the indexed copy beside the database and take it next time
    // Given on the command line; otherwise the demo's defaults, or picked from real text.
    std::optional<QString> rare;
    std::optional<QString> medium;
    std::optional<QString> common;
    std::optional<QString> subject;
    int runs = 3;
};

double medianMs(int runs, const std::function<void()> &f)
{
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        ms << double(timer.nsecsElapsed()) / 1e6;
    }
    return BenchData::median(ms);
}

// The search loop without the window: find first, then find next with the three fields a
// result line needs, up to `limit` hits.
int storeOnly(Recordset &rs, const QString &criteria, int limit)
{
    int hits = 0;
    rs.moveFirst();
    for (auto r = rs.findFirst(criteria); r == Recordset::FindResult::Found && hits <= limit; r = rs.findNext(criteria)) {
        ++hits;
        rs.field(QStringLiteral("messdate"));
        rs.field(QStringLiteral("messnum"));
        rs.field(QStringLiteral("messtitle"));
    }
    return hits;
}

// A connection of the benchmark's own, for sizes and the plain-SQL index forms.
class Database final
{
public:
    explicit Database(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }
    ~Database() { sqlite3_close(m_db); }
    Q_DISABLE_COPY_MOVE(Database)

    bool isOpen() const { return m_db; }

    bool exec(const QByteArray &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &message) == SQLITE_OK)
            return true;
        std::fprintf(stderr, "%s: %s\n", sql.constData(), message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        return false;
    }

    // The integer columns of the first row, or nothing on an error (quietly: callers
    // that can do without, such as a build of SQLite without dbstat, say so themselves).
    std::optional<QList<qint64>> row(const QByteArray &sql, const QByteArray &bind = {})
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
            return std::nullopt;
        if (!bind.isNull())
            sqlite3_bind_text(s, 1, bind.constData(), int(bind.size()), SQLITE_TRANSIENT);
        std::optional<QList<qint64>> values;
        const int step = sqlite3_step(s);
        if (step == SQLITE_ROW) {
            values.emplace();
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                values->append(sqlite3_column_int64(s, i));
        } else if (step == SQLITE_DONE) {
            values.emplace();
        }
        sqlite3_finalize(s);
        return values;
    }

    QList<QByteArray> names(const QByteArray &sql)
    {
        QList<QByteArray> result;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
            return result;
        while (sqlite3_step(s) == SQLITE_ROW)
            result << QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        return result;
    }

    // Bytes of the pages of the tables and indexes whose names match `glob`, through
    // dbstat one b-tree at a time (so the rest of the file is not read); nothing when
    // this SQLite has no dbstat.
    std::optional<qint64> pageBytes(const QByteArray &glob)
    {
        qint64 total = 0;
        const QList<QByteArray> trees = names("SELECT name FROM sqlite_schema WHERE rootpage > 0 AND name GLOB '" + glob + "'");
        for (const QByteArray &name : trees) {
            const auto bytes = row("SELECT coalesce(sum(pgsize), 0) FROM dbstat WHERE name = ?1 AND aggregate = 1", name);
            if (!bytes || bytes->isEmpty())
                return std::nullopt;
            total += bytes->first();
        }
        return total;
    }

private:
    sqlite3 *m_db = nullptr;
};

struct TextBytes
{
    qint64 author = 0;
    qint64 title = 0;
    qint64 body = 0;
    qint64 all() const { return author + title + body; }
};

std::optional<TextBytes> textBytes(Database &db)
{
    const auto r = db.row("SELECT sum(length(CAST(messauthor AS BLOB))), sum(length(CAST(messtitle AS BLOB))),"
                          " sum(length(CAST(message AS BLOB))) FROM veltra");
    if (!r || r->size() != 3)
        return std::nullopt;
    return TextBytes{r->at(0), r->at(1), r->at(2)};
}

double mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

const char *const kFieldTables[][2] = {{"veltra_fts_author", "messauthor"},
                                       {"veltra_fts_title", "messtitle"},
                                       {"veltra_fts_body", "message"}};

// The index's pages, table by table, against the text each table covers.
void printIndexSize(Database &db, const char *prefix, const TextBytes &text, qint64 fileGrowth)
{
    auto total = db.pageBytes("veltra_fts_*");
    // The list of words keeps its uniqueness in an index of SQLite's naming.
    const auto words = db.pageBytes("veltra_fts_words");
    const auto wordsUnique = db.pageBytes("sqlite_autoindex_veltra_fts_*");
    if (total && wordsUnique)
        *total += *wordsUnique;
    const QByteArray p(prefix);
    if (!total) {
        // No dbstat in this SQLite: what the file grew by is all there is to go on.
        printText((p + " index size").constData(), QStringLiteral("dbstat is missing; the file's growth instead"));
        print((p + " file growth").constData(), mb(fileGrowth), "MB");
        print((p + " ratio file growth / text indexed (goal: about 1 or less)").constData(),
              double(fileGrowth) / double(text.all()), "x");
        return;
    }
    const qint64 covered[] = {text.author, text.title, text.body};
    for (int i = 0; i < 3; ++i) {
        const auto bytes = db.pageBytes(QByteArray(kFieldTables[i][0]) + "_*");
        print((p + " index size, " + kFieldTables[i][0]).constData(), mb(bytes.value_or(0)), "MB");
        print((p + " ratio " + kFieldTables[i][0] + " / " + kFieldTables[i][1] + " text").constData(),
              double(bytes.value_or(0)) / double(qMax<qint64>(1, covered[i])), "x");
    }
    if (words && wordsUnique && *words + *wordsUnique > 0)
        print((p + " index size, the list of words (veltra_fts_words)").constData(), mb(*words + *wordsUnique), "MB");
    print((p + " index size, all of it (dbstat)").constData(), mb(*total), "MB");
    if (fileGrowth >= 0)
        print((p + " file growth").constData(), mb(fileGrowth), "MB");
    print((p + " ratio index / text indexed (goal: about 1 or less)").constData(), double(*total) / double(text.all()),
          "x");
}

qint64 fileBytes(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

void removeDatabase(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

// The same three tables as the program's index in another form, built by plain SQL on a
// copy of the source: each in one statement, the write-ahead log folded in.
bool buildForm(const QString &source, const QString &copy, const char *tokenizer, const char *detail, const TextBytes &text)
{
    if (!BenchData::copyDatabase(source, copy))
        return false;
    const qint64 before = fileBytes(copy);
    const QByteArray prefix = QByteArray("(d) --forms tokenize=") + tokenizer + " detail=" + detail + ":";
    double seconds = 0;
    {
        Database db(copy);
        if (!db.isOpen() || !db.exec("PRAGMA synchronous = NORMAL"))
            return false;
        QElapsedTimer clock;
        clock.start();
        for (const auto &table : kFieldTables) {
            const QByteArray name(table[0]);
            if (!db.exec("CREATE VIRTUAL TABLE " + name + " USING fts5(" + table[1]
                         + ", content='veltra', tokenize='" + tokenizer + "', detail=" + detail + ")")
                || !db.exec("INSERT INTO " + name + "(" + name + ") VALUES('rebuild')"))
                return false;
        }
        if (!db.exec("PRAGMA wal_checkpoint(TRUNCATE)"))
            return false;
        seconds = double(clock.nsecsElapsed()) / 1e9;
        print((prefix + " build, plain SQL 'rebuild'").constData(), seconds, "s");
        printIndexSize(db, prefix.constData(), text, fileBytes(copy) - before);
    }
    removeDatabase(copy);
    return true;
}

bool g_mismatch = false;

struct WindowResult
{
    double ms = 0;
    QString label;
    QStringList lines;
};

// One search term and what was measured for it.
struct Term
{
    const char *tag;  // "(a)", "(m)", "(b)", "(c)"
    const char *kind; // "rare word", ...
    bool subject = false;
    QString text;
    qint64 hits = -1; // messages holding it, counted in the data
    WindowResult indexed;
    WindowResult scanned;
    double storeMs = 0;
};

// The criteria the window builds for a term with the Bracket wildcards.
QString criteriaFor(const Term &term)
{
    const QString field = term.subject ? QStringLiteral("mid(messtitle,8)") : QStringLiteral("message");
    QStringList clauses;
    for (const QString &word : term.text.split(u' ', Qt::SkipEmptyParts))
        clauses << QStringLiteral("%1 like '*%2*'").arg(field, word);
    return clauses.join(QStringLiteral(" and "));
}

// The median of `runs` searches, with what the last one listed; `afterRun` is told each
// run's number once it has ended.
WindowResult windowSearch(Form1 &w, const QString &term, int runs, const std::function<void(int)> &afterRun = {})
{
    WindowResult r;
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        search(w, term);
        ms << double(timer.nsecsElapsed()) / 1e6;
        if (afterRun)
            afterRun(i + 1);
    }
    r.ms = BenchData::median(ms);
    r.label = child<QLabel>(&w, "lblResults")->text();
    const auto *list = child<ResultTable>(&w, "List1");
    for (int i = 0; i < list->count(); ++i)
        r.lines << list->text(i);
    return r;
}

bool building(Form1 &w)
{
    return w.findChild<SearchIndexBuilder *>() != nullptr;
}

QString windowIndexState(Form1 &w, const QString &database)
{
    return BenchData::indexState(database, building(w), w.archive()->recordset()->searchIndexInUse());
}

// Starts the window on veltra.mdb in `folder` and waits for its caption.
std::unique_ptr<Form1> startWindow(const QString &folder, const AppConfig &config)
{
    QDir::setCurrent(folder);
    auto w = std::make_unique<Form1>(config, new FakeBrowser);
    w->showAsLoaded();
    QElapsedTimer started;
    started.start();
    while (w->windowTitle() != QLatin1String("Veltra Knowledgebase V3.4.1") && started.elapsed() < 10000)
        BenchData::waitForEvents(50);
    if (!w->archive()->recordset()) {
        std::fprintf(stderr, "the window has no database\n");
        return nullptr;
    }
    return w;
}

// The window started on a copy without the index builds it in the background: the time
// until finds use it whole, and the longest the window's event loop waited meanwhile (a
// timer asks to run every 5 ms; a tick that comes late is a wait the user would feel).
bool buildInWindow(const QString &folder, double *seconds)
{
    QElapsedTimer clock;
    clock.start();
    const auto w = startWindow(folder, AppConfig{});
    if (!w)
        return false;
    qint64 longest = 0;
    double longestAt = 0;
    qint64 ticks = 0;
    qint64 late = 0; // waits over 50 ms
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 waited = sinceTick.nsecsElapsed() / 1000;
        if (waited > longest) {
            longest = waited;
            longestAt = clock.elapsed() / 1000.0;
        }
        late += waited > 50000 ? 1 : 0;
        sinceTick.restart();
        ++ticks;
    });
    beat.start();
    Recordset *rs = w->archive()->recordset();
    while ((building(*w) || !rs->searchIndexComplete()) && clock.elapsed() < 7200 * 1000)
        BenchData::waitForEvents(50);
    beat.stop();
    if (!rs->searchIndexComplete()) {
        std::fprintf(stderr, "bench_search: the window's index build did not complete\n");
        return false;
    }
    *seconds = clock.elapsed() / 1000.0;
    print("(d) index build in the window's background, from start to finds using it whole", *seconds, "s");
    print("(d) longest wait of the window's event loop meanwhile (goal <= 50)", longest / 1000.0, "ms");
    print("(d) ... that longest wait came this long after the start", longestAt, "s");
    print("(d) waits over 50 ms", double(late), "count");
    print("(d) event loop ticks meanwhile (every 5 ms asked)", double(ticks), "count");
    return true;
}

// The sqlite3 program building the same three tables in one 'rebuild' each, on a copy of
// the source: the wall time around the process, or -1.
double sqliteRebuildSeconds(const QString &source, const QString &copy)
{
    if (!BenchData::copyDatabase(source, copy))
        return -1;
    QByteArray script = "PRAGMA synchronous = NORMAL;\n";
    for (const auto &table : kFieldTables) {
        const QByteArray name(table[0]);
        script += "CREATE VIRTUAL TABLE " + name + " USING fts5(" + table[1]
                  + ", content='veltra', tokenize='ascii', detail=none);\n";
    }
    for (const auto &table : kFieldTables)
        script += "INSERT INTO " + QByteArray(table[0]) + "(" + table[0] + ") VALUES('rebuild');\n";
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral("sqlite3"), {copy});
    if (!cli.waitForStarted(5000))
        return -1;
    cli.write(script);
    cli.closeWriteChannel();
    const bool ok = cli.waitForFinished(7200 * 1000) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    removeDatabase(copy);
    return ok ? seconds : -1;
}

// Start-up's background work (the file's quick check, the window's own index build, which
// should find the index whole) is over and finds use the index.
bool waitForIndexInUse(Form1 &w, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    const auto busy = [&] {
        const auto *check = w.findChild<IntegrityCheck *>();
        return (check && check->isRunning()) || building(w) || !w.archive()->recordset()->searchIndexInUse();
    };
    while (busy() && waited.elapsed() < timeoutMs)
        BenchData::waitForEvents(50);
    print("index on: start-up's background work (quick check, index found whole)", waited.elapsed() / 1000.0, "s");
    if (!w.archive()->recordset()->searchIndexInUse()) {
        std::fprintf(stderr, "bench_search: after %d s the window's finds still do not use the index (%s)\n",
                     timeoutMs / 1000,
                     w.archive()->recordset()->searchIndexFailed() ? "a lookup failed" : "the index is not found complete");
        return false;
    }
    if (busy())
        std::fprintf(stderr, "bench_search: start-up's background work still runs; the figures share the machine\n");
    return true;
}

// Start-up's background work of a window started with the index off: the quick check and
// the removal of the index that follows it.
void waitForCheck(Form1 &w, const bool &checkPassed, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    const auto busy = [&] {
        const auto *check = w.findChild<IntegrityCheck *>();
        return !checkPassed || (check && check->isRunning()) || building(w);
    };
    while (busy() && waited.elapsed() < timeoutMs)
        BenchData::waitForEvents(50);
    print("index off: start-up's background work (quick check)", waited.elapsed() / 1000.0, "s");
    if (busy())
        std::fprintf(stderr, "bench_search: start-up's background work still runs; the figures share the machine\n");
}

void selectField(Form1 &w, const Term &term)
{
    child<QAction>(&w, term.subject ? "MenuSearchTitle" : "MenuSearchBody")->trigger();
}

// Every term searched in the window whose finds use the index, then through the store alone.
bool searchWithIndex(const QString &folder, const QString &database, QList<Term> &terms, int runs)
{
    const auto w = startWindow(folder, AppConfig{});
    if (!w)
        return false;
    print("messages", w->archive()->messageCount(), "count");
    if (!waitForIndexInUse(*w, 1800 * 1000))
        return false;
    printText("index on: search index before the searches", windowIndexState(*w, database));
    child<QAction>(w.get(), "MenuKeyBracket")->trigger();
    Recordset *rs = w->archive()->recordset();
    for (Term &term : terms) {
        selectField(*w, term);
        term.indexed = windowSearch(*w, term.text, runs);
        if (!rs->searchIndexInUse()) {
            printText(term.tag, QStringLiteral("FAULT: the index went out of use during the search (failed lookup?)"));
            g_mismatch = true;
            rs->setSearchIndexUse(true);
        }
        const QString criteria = criteriaFor(term);
        term.storeMs = medianMs(runs, [&] { storeOnly(*rs, criteria, 5000); });
    }
    printText("index on: search index after the searches", windowIndexState(*w, database));
    return true;
}

// Every term searched in a window started with the index off in its settings, which must
// stay off for every run.
bool searchWithoutIndex(const QString &folder, const QString &database, QList<Term> &terms, int runs)
{
    AppConfig config;
    config.searchIndex = false;
    const auto w = startWindow(folder, config);
    if (!w)
        return false;
    bool checkPassed = false;
    QObject::connect(w->archive(), &MessageArchive::checkPassed, [&] { checkPassed = true; });
    waitForCheck(*w, checkPassed, 1800 * 1000);
    printText("index off: search index before the searches", windowIndexState(*w, database));
    child<QAction>(w.get(), "MenuKeyBracket")->trigger();
    Recordset *rs = w->archive()->recordset();
    int warnings = 0;
    const auto stillOff = [&](const Term &term, int run) {
        if (!rs->searchIndexInUse() && !building(*w))
            return;
        ++warnings;
        std::printf("%s WARNING: in the window started with the index off, after run %d of \"%s\" the index is %s\n",
                    term.tag, run, qPrintable(term.text), qPrintable(windowIndexState(*w, database)));
        std::fflush(stdout);
    };
    for (Term &term : terms) {
        selectField(*w, term);
        stillOff(term, 0);
        term.scanned = windowSearch(*w, term.text, runs, [&](int run) { stillOff(term, run); });
    }
    printText("index off: search index after the searches", windowIndexState(*w, database));
    if (warnings == 0)
        printText("index off", QStringLiteral("the index stayed out of use for every run"));
    return true;
}

// The number in " 135 Found", or -1 for the limit and "No messages found".
qint64 foundCount(const QString &label)
{
    static const QRegularExpression found(QStringLiteral("^\\s*(\\d+) Found"));
    const auto m = found.match(label);
    if (m.hasMatch())
        return m.captured(1).toLongLong();
    return label.contains(QLatin1String("No messages found"), Qt::CaseInsensitive) ? 0 : -1;
}

// Rows of the FTS5 query the store's find asks the field's index for the term, and the
// time SQLite takes to count them; no query when the find reads every record.
struct Candidates
{
    QString match;
    qint64 count = -1;
    double ms = 0;
};

Candidates candidates(Database &db, Recordset &rs, const Term &term)
{
    Candidates c;
    c.match = rs.searchIndexQuery(criteriaFor(term));
    const qsizetype colon = c.match.indexOf(QLatin1String(": "));
    if (colon < 0)
        return c;
    const QByteArray table = c.match.left(colon).toUtf8();
    const QByteArray match = c.match.mid(colon + 2).toUtf8();
    if (match.isEmpty()) {
        c.count = 0;
        return c;
    }
    QElapsedTimer timer;
    timer.start();
    const auto row = db.row("SELECT count(*) FROM " + table + " WHERE " + table + " MATCH ?1", match);
    c.ms = double(timer.nsecsElapsed()) / 1e6;
    if (row && !row->isEmpty())
        c.count = row->first();
    return c;
}

// ripgrep's median time and count for a term over a dump (the first run only warms the
// page cache, as the database's pages are).
std::optional<std::pair<double, qint64>> ripgrep(const QString &dump, const QString &text, int runs)
{
    QList<double> times;
    qint64 count = -1;
    if (BenchData::ripgrepMs(dump, text, &count) < 0)
        return std::nullopt;
    for (int i = 0; i < runs; ++i) {
        const double ms = BenchData::ripgrepMs(dump, text, &count);
        if (ms >= 0)
            times << ms;
    }
    if (times.isEmpty())
        return std::nullopt;
    return std::pair{BenchData::median(times), count};
}

void report(const Term &term, Database &indexed, Recordset &rs, const QString &dump, int runs)
{
    const QByteArray tag(term.tag);
    // Used only within the statement that prints it.
    const auto line = [&](const char *what) { return QByteArray(tag + ' ' + what); };
    printText(line(term.kind).constData(), term.text);
    if (term.hits >= 0)
        print(line(term.subject ? "messages holding it (subjects with every word)" : "messages holding it (bodies)").constData(),
              double(term.hits), "count");
    const Candidates c = candidates(indexed, rs, term);
    if (c.match.isEmpty()) {
        printText(line("index candidates").constData(), QStringLiteral("none: no piece narrows the records down, every record is read"));
    } else if (c.count < 0) {
        printText(line("index candidates").constData(), QStringLiteral("cannot count (MATCH %1)").arg(c.match));
    } else {
        printText(line("index MATCH").constData(), c.match);
        print(line("index candidates (rows of that MATCH)").constData(), double(c.count), "count");
        if (term.hits > 0)
            print(line("ratio candidates / messages holding it").constData(), double(c.count) / double(term.hits), "x");
        print(line("time to count the candidates through SQLite").constData(), c.ms, "ms");
    }
    const bool same = term.indexed.label == term.scanned.label && term.indexed.lines == term.scanned.lines;
    if (!same) {
        std::printf("%s MISMATCH: with the index \"%s\", %lld lines; without \"%s\", %lld lines\n", term.tag,
                    qPrintable(term.indexed.label), static_cast<long long>(term.indexed.lines.size()),
                    qPrintable(term.scanned.label), static_cast<long long>(term.scanned.lines.size()));
        std::fflush(stdout);
        g_mismatch = true;
    } else {
        printText(line("check").constData(), QStringLiteral("the same %1 lines listed with and without the index").arg(term.indexed.lines.size()));
    }
    printText(line("label").constData(), term.indexed.label);
    print(line("window search, Enter to the end, index in use (median)").constData(), term.indexed.ms, "ms");
    print(line("the same in the window started with the index off (median)").constData(), term.scanned.ms, "ms");
    print(line("the same through the store alone, index in use (median)").constData(), term.storeMs, "ms");
    print(line("the window's share (list, label, painting, events)").constData(), term.indexed.ms - term.storeMs, "ms");
    print(line("ratio index off / index in use").constData(), term.scanned.ms / term.indexed.ms, "x");
    const auto rg = ripgrep(dump, term.text, runs);
    if (!rg) {
        printText(line("rg").constData(), QStringLiteral("ripgrep did not run"));
        return;
    }
    print(line(term.subject ? "rg -c -i PHRASE on the dump of the subjects (wall time around the process, median)"
                            : "rg -c -i WORD on the dump of the bodies (wall time around the process, median)")
              .constData(),
          rg->first, "ms");
    print(line("rg count").constData(), double(rg->second), "count");
    print(line("ratio rg / window, index in use (goal >= 5)").constData(), rg->first / term.indexed.ms, "x");
    print(line("ratio rg / window, index off").constData(), rg->first / term.scanned.ms, "x");
    const qint64 windowCount = foundCount(term.indexed.label);
    if (windowCount >= 0 && rg->second != windowCount)
        printText(line("note").constData(), QStringLiteral("rg counts %1 lines, the window %2").arg(rg->second).arg(windowCount));
}

int usage()
{
    std::fprintf(stderr, "usage: bench_search [--size 100k|1m | --real-text [--messages N]] [--forms] [--build-only] [--reuse-index]"
                         " [--rare WORD] [--medium WORD] [--common WORD] [--subject \"TWO WORDS\"] [--runs N]\n");
    return 2;
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
        if (args[i] == QLatin1String("--size") && hasValue) {
            options.size = args[++i].toLower();
            if (options.size != QLatin1String("100k") && options.size != QLatin1String("1m"))
                return usage();
        } else if (args[i] == QLatin1String("--real-text")) {
            options.realText = true;
        } else if (args[i] == QLatin1String("--messages") && hasValue) {
            options.messages = args[++i].toInt();
            if (options.messages < 1000)
                return usage();
        } else if (args[i] == QLatin1String("--forms")) {
            options.forms = true;
        } else if (args[i] == QLatin1String("--build-only")) {
            options.buildOnly = true;
        } else if (args[i] == QLatin1String("--reuse-index")) {
            options.reuseIndex = true;
        } else if (args[i] == QLatin1String("--rare") && hasValue) {
            options.rare = args[++i];
        } else if (args[i] == QLatin1String("--medium") && hasValue) {
            options.medium = args[++i];
        } else if (args[i] == QLatin1String("--common") && hasValue) {
            options.common = args[++i];
        } else if (args[i] == QLatin1String("--subject") && hasValue) {
            options.subject = args[++i];
        } else if (args[i] == QLatin1String("--runs") && hasValue) {
            options.runs = qMax(1, args[++i].toInt());
        } else {
            return usage();
        }
    }

    const QString mail = QStringLiteral(VELTRA_CORPUS "/realmail");
    const QString source = options.realText                          ? BenchData::realTextDatabase(options.messages, mail)
                           : options.size == QLatin1String("1m") ? BenchData::database1m()
                                                                 : BenchData::database100k();
    if (source.isEmpty())
        return 1;
    const QString bodies = BenchData::bodyDump(source);
    const QString subjects = BenchData::subjectDump(source);
    if (bodies.isEmpty() || subjects.isEmpty())
        return 1;
    printText("database", source);
    print("database size", mb(QFileInfo(source).size()), "MB");
    printText("platform", QGuiApplication::platformName());

    // The terms: as given, else picked from real text by their counts, else the demo's.
    QList<Term> terms;
    {
        std::optional<SearchTerms::Picked> picked;
        if (options.realText) {
            picked = SearchTerms::pick(source, bodies, subjects);
            if (!picked)
                return 1;
        }
        const auto add = [&](const char *tag, const char *kind, bool subject, const std::optional<QString> &given,
                             const SearchTerms::Term *chosen, const QString &fallback) {
            Term term{tag, kind, subject, {}, -1, {}, {}, 0};
            if (given)
                term.text = *given;
            else if (chosen)
                term = Term{tag, kind, subject, chosen->text, chosen->hits, {}, {}, 0};
            else
                term.text = fallback;
            if (!term.text.isEmpty())
                terms << term;
        };
        add("(a)", "rare word", false, options.rare, picked ? &picked->rare : nullptr,
            QStringLiteral("snow")); // the demo: one author's sign-off and the replies quoting it
        add("(m)", "medium word", false, options.medium, picked ? &picked->medium : nullptr, QString());
        add("(b)", "common word", false, options.common, picked ? &picked->common : nullptr, QStringLiteral("the"));
        add("(c)", "subject term", true, options.subject, picked ? &picked->subject : nullptr,
            QStringLiteral("clutch cable"));
        QByteArray loweredBodies;
        QByteArray loweredSubjects;
        for (Term &term : terms) {
            if (term.hits >= 0)
                continue;
            QByteArray &lowered = term.subject ? loweredSubjects : loweredBodies;
            if (lowered.isEmpty())
                lowered = SearchTerms::loadLowered(term.subject ? subjects : bodies);
            // Subject searches pass over the lead, "[vclb] ".
            term.hits = SearchTerms::lineHits(lowered, term.text.split(u' ', Qt::SkipEmptyParts), term.subject ? 7 : 0);
        }
    }
    for (const Term &term : terms)
        std::printf("%s %s: \"%s\", in %lld messages\n", term.tag, term.kind, qPrintable(term.text),
                    static_cast<long long>(term.hits));
    std::fflush(stdout);

    // The window with the index opens a copy with the index built (d); the window with the
    // index off a plain copy. The shared files stay untouched.
    QTemporaryDir indexedFolder;
    QTemporaryDir plainFolder;
    const QString database = indexedFolder.filePath(QStringLiteral("veltra.mdb"));
    const QString plain = plainFolder.filePath(QStringLiteral("veltra.mdb"));
    if (!indexedFolder.isValid() || !plainFolder.isValid())
        return 1;
    // With --reuse-index a copy indexed by an earlier run is taken, and (d) is not measured.
    const QString kept = BenchData::indexedDatabasePath(source);
    const bool reuse = options.reuseIndex && QFileInfo::exists(kept) && BenchData::indexState(kept) == QLatin1String("complete");
    if (!BenchData::copyDatabase(reuse ? kept : source, database))
        return 1;

    // (d)
    TextBytes text;
    {
        Database db(database);
        const auto bytes = db.isOpen() ? textBytes(db) : std::nullopt;
        if (!bytes) {
            std::fprintf(stderr, "cannot read the text sizes of %s\n", qPrintable(database));
            return 1;
        }
        text = *bytes;
    }
    print("(d) body text (bytes of every message)", mb(text.body), "MB");
    print("(d) text indexed (author, subject and body)", mb(text.all()), "MB");
    if (reuse) {
        printText("(d) index build", QStringLiteral("not measured: the index built by an earlier run was reused"));
    } else {
        const qint64 before = fileBytes(database);
        double buildSeconds = 0;
        if (!buildInWindow(indexedFolder.path(), &buildSeconds))
            return 1;
        QDir::setCurrent(QDir::tempPath());
        const double rebuild = sqliteRebuildSeconds(source, plain);
        if (rebuild > 0) {
            print("(d) the same tables by the sqlite3 program, one 'rebuild' each (wall time)", rebuild, "s");
        } else {
            printText("(d) the sqlite3 program's rebuild", QStringLiteral("not measured: sqlite3 is missing or failed"));
        }
        Database db(database);
        if (!db.isOpen())
            return 1;
        printIndexSize(db, "(d)", text, fileBytes(database) - before);
        if (rebuild > 0)
            print("(d) ratio window's build / sqlite3's rebuild (goal <= 1.5)", buildSeconds / rebuild, "x");
        if (options.reuseIndex)
            BenchData::copyDatabase(database, kept);
    }
    if (options.forms) {
        // The program's form (words, detail=none) again, by plain SQL, to tell its cost from
        // the stepped build's; the trigram forms an index of pieces of words would take;
        // words with their places, for phrases.
        const char *const forms[][2] = {{"ascii", "none"},   {"trigram", "none"}, {"trigram", "column"},
                                        {"trigram", "full"}, {"ascii", "full"}};
        for (const auto &form : forms) {
            if (!buildForm(source, indexedFolder.filePath(QStringLiteral("form.mdb")), form[0], form[1], text))
                return 1;
        }
    }

    if (options.buildOnly)
        return 0;
    if (!searchWithIndex(indexedFolder.path(), database, terms, options.runs))
        return 1;
    if (!BenchData::copyDatabase(source, plain) || !searchWithoutIndex(plainFolder.path(), plain, terms, options.runs))
        return 1;
    QDir::setCurrent(QDir::tempPath());

    Database indexed(database);
    auto opened = Recordset::open(database);
    const std::unique_ptr<Recordset> store = std::move(opened.recordset);
    if (!indexed.isOpen() || !store)
        return 1;
    for (const Term &term : std::as_const(terms)) {
        report(term, indexed, *store, term.subject ? subjects : bodies, options.runs);
        if (qstrcmp(term.tag, "(b)") == 0) {
            print("(b) lines listed", term.indexed.lines.size(), "count");
            print("(b) the window's share per hit (label, line, events)",
                  (term.indexed.ms - term.storeMs) / 5001 * 1000, "us");
        }
    }

    // The rare word through the sqlite3 program, on the file without the index.
    const Term &rare = terms.first();
    QList<double> cliTimes;
    qint64 cliCount = -1;
    for (int i = 0; i < options.runs; ++i) {
        const double ms = BenchData::sqliteCliCountMs(plain, "message", rare.text, &cliCount);
        if (ms >= 0)
            cliTimes << ms;
    }
    if (cliTimes.isEmpty()) {
        printText("(a) sqlite3", QStringLiteral("the sqlite3 program did not run"));
    } else {
        const double cliMs = BenchData::median(cliTimes);
        print("(a) sqlite3 select count(*) ... like '%word%' (its own Run Time, median)", cliMs, "ms");
        print("(a) sqlite3 count", double(cliCount), "count");
        print("(a) ratio window / sqlite3, index in use", rare.indexed.ms / cliMs, "x");
        print("(a) ratio window / sqlite3, index off (goal of the scan <= 2)", rare.scanned.ms / cliMs, "x");
        print("(a) ratio store / sqlite3, index in use", rare.storeMs / cliMs, "x");
    }
    if (g_mismatch)
        std::fprintf(stderr, "bench_search: the index changed what a search found (see MISMATCH above)\n");
    return g_mismatch ? 3 : 0;
}
