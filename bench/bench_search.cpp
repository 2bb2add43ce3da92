// Figures for the search in the window on the demo database (100,000 or 1,000,000
// messages), with the fake browser (the hit is still rendered into the message page).
// The window's finds go through the substring index; each search is timed again with the
// index off, and the two must list the same lines.
//   (d) the build of the substring index on the database, its time, and its size against
//       the size of the text it covers (goal: about the same or less); with --forms the
//       same three tables with detail=column and detail=full, built by plain SQL;
//   (a) a rare-word body search, next to ripgrep counting the same word in a dump of the
//       bodies, one a line (goal: the window at least 5 times as fast as ripgrep), and
//       next to the sqlite3 program's select count(*) ... like '%word%' on the same file;
//   (b) a common-word body search that stops at the hit limit, from Enter to the label
//       "Found>5,000" (goal: under 300 ms), with the store's share of it;
//   (c) a subject search for a two-word term with the Bracket wildcards.
//
//   bench_search [--size 100k|1m] [--forms] [--reuse-index] [--rare WORD] [--common WORD]
//                [--subject "TWO WORDS"] [--runs N]
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (under xvfb-run
// with QT_QPA_PLATFORM=xcb the label and list are painted by a real X server).

#include "app/form1.h"
#include "archive/messagearchive.h"
#include "benchdata.h"
#include "fakebrowser.h"
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
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <optional>

using BenchData::print;
using BenchData::printText;

namespace {

struct Options
{
    QString size = QStringLiteral("100k");
    bool forms = false;
    bool reuseIndex = false; // keep the indexed copy beside the database and take it next time
    // Only in one author's sign-off and the replies quoting it: about one body in 700.
    QString rare = QStringLiteral("snow");
    QString common = QStringLiteral("the");
    QString subject = QStringLiteral("clutch cable");
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

template<typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Enter in the search box with `term`, as typed; returns when the search has ended.
void search(Form1 &w, const QString &term)
{
    auto *box = child<QComboBox>(&w, "Combo1");
    box->setEditText(term);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(box, &enter);
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

// The sqlite3 program's own time for the query ("Run Time: real ..."), or -1.
double sqliteCliMs(const QString &path, const QString &word, int *count)
{
    QProcess cli;
    cli.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), path});
    if (!cli.waitForStarted(5000))
        return -1;
    QString w = word;
    w.replace(u'\'', QStringLiteral("''"));
    cli.write(QStringLiteral(".timer on\nselect count(*) from veltra where message like '%%1%';\n").arg(w).toUtf8());
    cli.closeWriteChannel();
    if (!cli.waitForFinished(600000))
        return -1;
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    static const QRegularExpression time(QStringLiteral("Run Time: real ([0-9.]+)"));
    static const QRegularExpression number(QStringLiteral("^(\\d+)$"), QRegularExpression::MultilineOption);
    const auto t = time.match(out);
    const auto n = number.match(out);
    if (!t.hasMatch())
        return -1;
    *count = n.hasMatch() ? n.captured(1).toInt() : -1;
    return t.captured(1).toDouble() * 1000;
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
    const auto total = db.pageBytes("veltra_fts_*");
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
    print((p + " index size, all three tables (dbstat)").constData(), mb(*total), "MB");
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

// The same three tables as the program's index in another detail form, built by plain
// SQL on a copy of the source: each in one statement, the write-ahead log folded in.
bool buildForm(const QString &source, const QString &copy, const char *detail, const TextBytes &text)
{
    removeDatabase(copy);
    if (!QFile::copy(source, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
        return false;
    }
    const qint64 before = fileBytes(copy);
    const QByteArray prefix = QByteArray("(d) --forms detail=") + detail + ":";
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
                         + ", content='veltra', tokenize='trigram', detail=" + detail + ")")
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

struct WindowResult
{
    double ms = 0;
    QString label;
    QStringList lines;
};

WindowResult windowSearch(Form1 &w, const QString &term, int runs)
{
    WindowResult r;
    r.ms = medianMs(runs, [&] { search(w, term); });
    r.label = child<QLabel>(&w, "lblResults")->text();
    const auto *list = child<QListWidget>(&w, "List1");
    for (int i = 0; i < list->count(); ++i)
        r.lines << list->item(i)->text();
    return r;
}

bool g_mismatch = false;

// Timed with the index in use, then with finds reading every record; the two must list
// the same lines, or the index loses or invents hits.
std::pair<WindowResult, WindowResult> bothWays(Form1 &w, const QString &term, int runs, const char *figure)
{
    Recordset *rs = w.archive()->recordset();
    if (!rs->searchIndexInUse())
        std::fprintf(stderr, "%s: the index is not in use before the search\n", figure);
    const WindowResult with = windowSearch(w, term, runs);
    const bool stillInUse = rs->searchIndexInUse();
    rs->setSearchIndexUse(false);
    const WindowResult without = windowSearch(w, term, runs);
    rs->setSearchIndexUse(true);
    if (!stillInUse) {
        printText(figure, QStringLiteral("FAULT: the index went out of use during the search (failed lookup?)"));
        g_mismatch = true;
    }
    if (with.label != without.label || with.lines != without.lines) {
        std::printf("%s MISMATCH: with the index \"%s\", %lld lines; without \"%s\", %lld lines\n", figure,
                    qPrintable(with.label), static_cast<long long>(with.lines.size()), qPrintable(without.label),
                    static_cast<long long>(without.lines.size()));
        std::fflush(stdout);
        g_mismatch = true;
    } else {
        printText(figure, QStringLiteral("the same %1 lines listed with and without the index").arg(with.lines.size()));
    }
    return {with, without};
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

// Start-up's background work (the file's quick check, the window's own index build, which
// should find the index whole) is over and finds use the index.
bool waitForIndexInUse(Form1 &w, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    const auto busy = [&] {
        const auto *check = w.findChild<IntegrityCheck *>();
        return (check && check->isRunning()) || w.findChild<SearchIndexBuilder *>() != nullptr
               || !w.archive()->recordset()->searchIndexInUse();
    };
    while (busy() && waited.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    print("start-up's background work (quick check, index found whole)", waited.elapsed() / 1000.0, "s");
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

int usage()
{
    std::fprintf(stderr, "usage: bench_search [--size 100k|1m] [--forms] [--reuse-index] [--rare WORD] [--common WORD]"
                         " [--subject \"TWO WORDS\"] [--runs N]\n");
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
        } else if (args[i] == QLatin1String("--forms")) {
            options.forms = true;
        } else if (args[i] == QLatin1String("--reuse-index")) {
            options.reuseIndex = true;
        } else if (args[i] == QLatin1String("--rare") && hasValue) {
            options.rare = args[++i];
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

    const QString source = options.size == QLatin1String("1m") ? BenchData::database1m() : BenchData::database100k();
    if (source.isEmpty())
        return 1;
    const QString dump = BenchData::bodyDump(source);
    if (dump.isEmpty())
        return 1;
    // The window opens veltra.mdb in its data folder; the shared file stays untouched. With
    // --reuse-index a copy indexed by an earlier run is taken, and (d) is not measured.
    const QString indexedCopy = QString(source).replace(QStringLiteral(".mdb"), QStringLiteral("-indexed.mdb"));
    const bool reuse = options.reuseIndex && QFileInfo::exists(indexedCopy);
    QTemporaryDir folder;
    if (!folder.isValid() || !QFile::copy(reuse ? indexedCopy : source, folder.filePath(QStringLiteral("veltra.mdb")))) {
        std::fprintf(stderr, "cannot copy %s into a data folder\n", qPrintable(source));
        return 1;
    }
    const QString database = folder.filePath(QStringLiteral("veltra.mdb"));
    printText("database", source);
    printText("platform", QGuiApplication::platformName());

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
        QElapsedTimer clock;
        clock.start();
        const SearchIndexBuilder::Report report = SearchIndexBuilder::run(database, SearchIndexBuilder::Task::Build);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (report.outcome != SearchIndexBuilder::Outcome::Ready) {
            std::fprintf(stderr, "the index build did not complete: %s\n", qPrintable(report.detail));
            return 1;
        }
        print("(d) index build, SearchIndexBuilder::run with default settings", seconds, "s");
        print("(d) records indexed", report.indexed, "count");
        Database db(database);
        if (!db.isOpen())
            return 1;
        printIndexSize(db, "(d)", text, fileBytes(database) - before);
        if (options.reuseIndex) {
            QFile::remove(indexedCopy);
            QFile::copy(database, indexedCopy);
        }
    }
    if (options.forms) {
        // detail=none again, by plain SQL, to tell the form's cost from the stepped build's.
        for (const char *detail : {"none", "column", "full"}) {
            if (!buildForm(source, folder.filePath(QStringLiteral("form.mdb")), detail, text))
                return 1;
        }
    }

    QDir::setCurrent(folder.path());
    Form1 w(AppConfig{}, new FakeBrowser);
    w.showAsLoaded();
    QElapsedTimer started;
    started.start();
    while (w.windowTitle() != QLatin1String("Veltra Knowledgebase V3.4.1") && started.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!w.archive()->recordset()) {
        std::fprintf(stderr, "the window has no database\n");
        return 1;
    }
    print("messages", w.archive()->messageCount(), "count");
    if (!waitForIndexInUse(w, 1800 * 1000))
        return 1;
    child<QAction>(&w, "MenuKeyBracket")->trigger();

    // (a)
    child<QAction>(&w, "MenuSearchBody")->trigger();
    printText("(a) rare word", options.rare);
    const auto [rare, rareScan] = bothWays(w, options.rare, options.runs, "(a)");
    printText("(a) label", rare.label);
    print("(a) rare-word body search in the window, Enter to the end, index in use (median)", rare.ms, "ms");
    printText("(a) label, index off", rareScan.label);
    print("(a) the same with the index off (median)", rareScan.ms, "ms");
    const QString rareCriteria = QStringLiteral("message like '*%1*'").arg(options.rare);
    const double rareStoreMs = medianMs(options.runs, [&] { storeOnly(*w.archive()->recordset(), rareCriteria, 5000); });
    print("(a) the same through the store alone, index in use (median)", rareStoreMs, "ms");
    print("(a) the window's share (list, label, painting, events)", rare.ms - rareStoreMs, "ms");

    QList<double> rgTimes;
    qint64 rgCount = -1;
    // One run first to have the dump in the page cache, as the database is.
    if (ripgrepMs(dump, options.rare, &rgCount) >= 0) {
        for (int i = 0; i < options.runs; ++i) {
            const double ms = ripgrepMs(dump, options.rare, &rgCount);
            if (ms >= 0)
                rgTimes << ms;
        }
    }
    const qint64 windowCount = foundCount(rare.label);
    print("(a) hits (the window's count)", double(windowCount), "count");
    if (rgTimes.isEmpty()) {
        printText("(a) rg", QStringLiteral("ripgrep did not run"));
    } else {
        const double rgMs = BenchData::median(rgTimes);
        print("(a) rg -c -i WORD on the dump of the bodies (wall time around the process, median)", rgMs, "ms");
        print("(a) rg count (bodies)", double(rgCount), "count");
        print("(a) dump size", mb(QFileInfo(dump).size()), "MB");
        print("(a) ratio rg / window, index in use (goal >= 5)", rgMs / rare.ms, "x");
        print("(a) ratio rg / window, index off", rgMs / rareScan.ms, "x");
        if (rgCount != windowCount)
            printText("(a) note", QStringLiteral("rg counts %1 bodies, the window %2").arg(rgCount).arg(windowCount));
    }
    QList<double> cliTimes;
    int cliCount = -1;
    for (int i = 0; i < options.runs; ++i) {
        const double ms = sqliteCliMs(database, options.rare, &cliCount);
        if (ms >= 0)
            cliTimes << ms;
    }
    if (cliTimes.isEmpty()) {
        printText("(a) sqlite3", QStringLiteral("the sqlite3 program did not run"));
    } else {
        const double cliMs = BenchData::median(cliTimes);
        print("(a) sqlite3 select count(*) ... like '%word%' (its own Run Time, median)", cliMs, "ms");
        print("(a) sqlite3 count", cliCount, "count");
        print("(a) ratio window / sqlite3, index in use", rare.ms / cliMs, "x");
        print("(a) ratio window / sqlite3, index off (goal of the scan <= 2)", rareScan.ms / cliMs, "x");
        print("(a) ratio store / sqlite3, index in use", rareStoreMs / cliMs, "x");
    }

    // (b)
    printText("(b) common word", options.common);
    const auto [common, commonScan] = bothWays(w, options.common, options.runs, "(b)");
    printText("(b) label", common.label);
    print("(b) lines listed", common.lines.size(), "count");
    print("(b) body search to the hit limit, Enter to \"Found>5,000\", index in use (median, goal < 300)", common.ms,
          "ms");
    print("(b) the same with the index off (median)", commonScan.ms, "ms");
    const QString commonCriteria = QStringLiteral("message like '*%1*'").arg(options.common);
    const double commonStoreMs = medianMs(options.runs, [&] { storeOnly(*w.archive()->recordset(), commonCriteria, 5000); });
    print("(b) the store's share: find and read 5,001 hits, index in use (median)", commonStoreMs, "ms");
    print("(b) the window's share per hit (label, line, events)", (common.ms - commonStoreMs) / 5001 * 1000, "us");

    // (c)
    child<QAction>(&w, "MenuSearchTitle")->trigger();
    printText("(c) subject term", options.subject);
    const auto [subject, subjectScan] = bothWays(w, options.subject, options.runs, "(c)");
    printText("(c) label", subject.label);
    print("(c) two-word Bracket subject search, Enter to the end, index in use (median)", subject.ms, "ms");
    print("(c) the same with the index off (median)", subjectScan.ms, "ms");
    QStringList words = options.subject.split(u' ');
    QString subjectCriteria;
    for (const QString &word : words)
        subjectCriteria += (subjectCriteria.isEmpty() ? QString() : QStringLiteral(" and "))
                           + QStringLiteral("mid(messtitle,8) like '*%1*'").arg(word);
    const double subjectStoreMs = medianMs(options.runs, [&] { storeOnly(*w.archive()->recordset(), subjectCriteria, 5000); });
    print("(c) the same through the store alone, index in use (median)", subjectStoreMs, "ms");
    print("(c) ratio index off / index in use", subjectScan.ms / subject.ms, "x");
    if (g_mismatch)
        std::fprintf(stderr, "bench_search: the index changed what a search found (see MISMATCH above)\n");
    return g_mismatch ? 3 : 0;
}
