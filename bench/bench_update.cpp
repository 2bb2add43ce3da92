// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the update run against a loopback update server in its own process:
//  (a) 2,000 new messages into a copy of the shared 100,000-message database, no latency,
//      next to curl fetching the same addresses one after another over one connection;
//  (p) the update of (a) with the desktop's proxy (http_proxy) set to a logging proxy on
//      127.0.0.1 in its own process: every request must go through it and the same pages
//      be stored as without it, next to the run of (a) straight to the server;
//  (b) the same 2,000 messages with the server waiting 50 ms before each answer, next to
//      curl one after another and curl with eight transfers at a time;
//  (c) an empty database brought up to date from a site of 100,000 pages at 20 ms;
//  (e) the update of (a) into a copy on which the substring index was built first, next to
//      the same with the program's --no-search-index on the database without it (goal: at
//      most 1.3 times as long), and the time the window then takes in the background to
//      put the new messages into the index.
// (a) to (c) run without the index: the shared database has none. Each part prints the
// state of the index in the database it started on and in the one the run left.
//
// The sites and the empty database are written once beside the shared database and
// reused. Each run updates a fresh copy of its database. Sizes and latencies can be
// changed on the command line for a short trial run.

#include "benchdata.h"
#include "store/searchindex.h"
#include "update/lastmessagepage.h"
#include "update/updateaddress.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr int kBaseMessages = 100000;
constexpr int kDefaultNewMessages = 2000;
constexpr int kDefaultArchiveMessages = 100000;
constexpr int kDefaultLatencyMs = 50;
constexpr int kDefaultArchiveLatencyMs = 20;
constexpr int kDefaultRepeats = 3;
constexpr int kParallelCurl = 8;

struct Settings
{
    int newMessages = kDefaultNewMessages;
    int archiveMessages = kDefaultArchiveMessages;
    int latencyMs = kDefaultLatencyMs;
    int archiveLatencyMs = kDefaultArchiveLatencyMs;
    int repeats = kDefaultRepeats;
    int fetches = 0; // 0: the program's own default
    QString figures = QStringLiteral("apbc");
};

int fail(const char *what)
{
    std::fprintf(stderr, "bench_update: %s\n", what);
    return 1;
}

void header(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void figure(const char *label, double value, const char *unit)
{
    std::printf("  %-40s %10.3f %s\n", label, value, unit);
    std::fflush(stdout);
}

// The substring index in the database a run started on and in the one the last run left.
void indexStates(const QString &started, const QString &work)
{
    std::printf("  %-40s %s\n", "search index the run started on", qPrintable(BenchData::indexState(started)));
    std::printf("  %-40s %s\n", "search index the run left",
                qPrintable(BenchData::indexState(QDir(work).filePath(QStringLiteral("veltra.mdb")))));
    std::fflush(stdout);
}

void count(const char *label, qint64 value)
{
    std::printf("  %-40s %10lld\n", label, static_cast<long long>(value));
    std::fflush(stdout);
}

void ratio(const char *label, double value, const char *goal)
{
    std::printf("  %-40s %10.2f   (goal: %s)\n", label, value, goal);
    std::fflush(stdout);
}

bool runTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral(VELTRA_DEMOGEN_PATH), arguments);
    return tool.waitForFinished(-1) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The newest number a site announces; the run that catches up with it ends on it.
std::optional<qint32> siteNewest(const QString &site)
{
    QFile file(QDir(site).filePath(QStringLiteral("dbupdate/lastmessage.html")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto newest = LastMessagePage::read(file.readAll());
    if (!newest)
        return std::nullopt;
    return newest->number;
}

// A site is written once; the last-message page is written last, so a site without it
// was cut short and is written again.
std::optional<qint32> prepareSite(const QString &site, int first, int last)
{
    if (!QFileInfo::exists(QDir(site).filePath(QStringLiteral("dbupdate/lastmessage.html")))) {
        std::printf("writing the update site %s ...\n", qPrintable(QDir::toNativeSeparators(site)));
        std::fflush(stdout);
        if (!runTool({"--messages", QString::number(last), "--first", QString::number(first), "--site", site,
                      "--force"}))
            return std::nullopt;
    }
    return siteNewest(site);
}

bool exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "bench_update: %s: %s\n", sql, message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return false;
}

// The generator writes no database without messages, so the empty one is the shared
// database with its rows deleted: the same schema, as a new user's would be.
bool prepareEmptyDatabase(const QString &database, const QString &empty)
{
    if (QFileInfo::exists(empty))
        return true;
    // Cleared under another name first, so a cut-short run leaves no half-empty file behind.
    const QString scratch = empty + QStringLiteral(".part");
    QFile::remove(scratch);
    if (!BenchData::copyDatabase(database, scratch))
        return false;
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(QFile::encodeName(scratch).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
              && exec(db, "DELETE FROM veltra") && exec(db, "VACUUM");
    sqlite3_close(db);
    ok = ok && QFile::rename(scratch, empty);
    if (!ok)
        QFile::remove(scratch);
    return ok;
}

std::optional<qint64> countMessages(const QString &database)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    std::optional<qint64> count;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM veltra", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

// What the run stored past the base archive, to tell two runs' results apart: how many
// messages, their numbers' sum and their texts' lengths.
QString storedFingerprint(const QString &database)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    QString fingerprint;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db,
                              "SELECT count(*), total(messnum), total(length(messauthor) + length(messdate) "
                              "+ length(messtitle) + length(message)) FROM veltra WHERE messnum > ?",
                              -1, &statement, nullptr)
               == SQLITE_OK
        && sqlite3_bind_int(statement, 1, kBaseMessages) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        fingerprint = QStringLiteral("%1 messages, numbers' sum %2, %3 characters")
                          .arg(sqlite3_column_int64(statement, 0))
                          .arg(qint64(sqlite3_column_double(statement, 1)))
                          .arg(qint64(sqlite3_column_double(statement, 2)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return fingerprint;
}

// The index's own tables hold one row for each message once every message is in: how
// many of the database's messages each holds, the smallest of the three, and how many
// messages there are; nothing when the database cannot be read or has no whole index.
std::optional<std::pair<qint64, qint64>> indexedMessages(const QString &database)
{
    sqlite3 *db = nullptr;
    std::optional<std::pair<qint64, qint64>> result;
    const auto value = [&](const char *sql) -> std::optional<qint64> {
        sqlite3_stmt *statement = nullptr;
        std::optional<qint64> v;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
            v = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return v;
    };
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const auto upto = value("SELECT upto FROM veltra_fts_state");
        const auto all = value("SELECT count(*) FROM veltra");
        const auto author = value("SELECT count(*) FROM veltra_fts_author_docsize");
        const auto title = value("SELECT count(*) FROM veltra_fts_title_docsize");
        const auto body = value("SELECT count(*) FROM veltra_fts_body_docsize");
        const auto last = value("SELECT coalesce(max(rowid), 0) FROM veltra");
        if (upto && last && *upto >= *last && all && author && title && body)
            result = std::make_pair(std::min({*author, *title, *body}), *all);
    }
    sqlite3_close(db);
    return result;
}

// A helper of veltra-demogen in its own process, as curl and the program each see it from
// outside: the update site's server, or the logging proxy. Its first line ends with its address.
class Helper final
{
public:
    // What it prints goes to a file, read as it grows: a pipe left unread while the run goes
    // on would fill and stop the helper.
    explicit Helper(const QStringList &arguments)
    {
        if (!m_output.open())
            return;
        m_process.setStandardOutputFile(m_output.fileName());
        m_process.start(QStringLiteral(VELTRA_DEMOGEN_PATH), arguments);
        const QStringList first = lines(1);
        if (!first.isEmpty())
            m_url = first.constFirst().mid(first.constFirst().lastIndexOf(QLatin1Char(' ')) + 1);
    }
    ~Helper()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(Helper)
    QString url() const { return m_url; }
    // The lines it has printed after its address, waiting up to a few seconds for `count`.
    QStringList lines(qsizetype count)
    {
        QElapsedTimer waited;
        waited.start();
        QStringList all;
        do {
            m_output.seek(0);
            all = QString::fromLocal8Bit(m_output.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!m_url.isEmpty() && !all.isEmpty())
                all.removeFirst();
            if (all.size() >= count)
                break;
            QThread::msleep(20);
        } while (waited.elapsed() < 10000 && m_process.state() != QProcess::NotRunning);
        return all;
    }

private:
    QTemporaryFile m_output;
    QProcess m_process;
    QString m_url;
};

class Server final
{
public:
    Server(const QString &root, int latency)
        : m_helper({"--serve", root, "--port", "0", "--latency", QString::number(latency)})
    {
    }
    QString url() const { return m_helper.url(); }

private:
    Helper m_helper;
};

struct UpdateRun
{
    double seconds = 0;
    QString status;
    double indexSeconds = 0; // the new messages taken into the search index after the run
};

// The run happens in a child, the window with the fake browser, which reports the time of
// the run alone. It leaves the updated database in the work folder.
// Without the index unless asked for: the shared database has none, and the window would
// build it before the run.
std::optional<UpdateRun> update(const QString &database, const QString &work, const QString &server,
                                const Settings &settings, bool searchIndex = false,
                                const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work) || !BenchData::copyDatabase(database, QDir(work).filePath("veltra.mdb")))
        return std::nullopt;
    QStringList arguments{server};
    if (settings.fetches > 0)
        arguments << QStringLiteral("--fetches") << QString::number(settings.fetches);
    if (!searchIndex)
        arguments << QStringLiteral("--no-search-index");
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(work);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(UPDATE_CHILD_PATH), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return std::nullopt;
    const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (lines.size() < 2)
        return std::nullopt;
    UpdateRun run;
    run.status = lines[0];
    run.seconds = lines[1].toDouble();
    run.indexSeconds = lines.value(2).toDouble();
    return run;
}

// A run that catches up ends on "... - Last # N", maybe followed by a note on gaps.
std::optional<UpdateRun> completedUpdate(const QString &database, const QString &work, const QString &server,
                                         qint32 newest, const Settings &settings, bool searchIndex = false,
                                         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    auto run = update(database, work, server, settings, searchIndex, environment);
    if (!run)
        return std::nullopt;
    if (!run->status.contains(QStringLiteral(" - Last # %1").arg(newest))) {
        std::fprintf(stderr, "bench_update: the run ended on \"%s\"\n", qPrintable(run->status));
        return std::nullopt;
    }
    return run;
}

// curl over one connection, or with up to `parallel` transfers at a time when above 1.
std::optional<double> curl(const QString &server, int first, int last, const QDir &dir, int parallel)
{
    const QString config = dir.filePath(QStringLiteral("curl.cfg"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return std::nullopt;
    for (int n = first; n <= last; ++n)
        file.write("url = \"" + UpdateAddress::pageUrl(server, n).toEncoded() + "\"\noutput = \"/dev/null\"\n");
    file.close();
    QStringList arguments{"--silent", "--show-error", "--config", config};
    // --silent alone leaves the parallel progress meter on.
    if (parallel > 1)
        arguments << QStringLiteral("--parallel") << QStringLiteral("--parallel-max") << QString::number(parallel)
                  << QStringLiteral("--no-progress-meter");
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("curl"), arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return double(timer.nsecsElapsed()) / 1e9;
}

std::optional<Settings> parseSettings(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times update runs against a loopback update server, next to curl fetching the same pages.\n"
        "Figures: (a) new messages into the 100,000-message database, no latency, median of the repeats;\n"
        "(p) the same through a logging proxy named by http_proxy, once;\n"
        "(b) the same new messages with latency, next to sequential and parallel curl, once;\n"
        "(c) an empty database brought up to date from an archive site with latency, once;\n"
        "(e) the new messages of (a) into the database with the substring index built first, next to the same\n"
        "without it, median of the repeats."));
    parser.addHelpOption();
    const QCommandLineOption newOption(QStringLiteral("new"),
                                       QStringLiteral("New messages for (a), (b) and (e) (default %1).")
                                           .arg(kDefaultNewMessages),
                                       QStringLiteral("N"), QString::number(kDefaultNewMessages));
    const QCommandLineOption archiveOption(QStringLiteral("archive"),
                                           QStringLiteral("Pages of the archive site for (c) (default %1).")
                                               .arg(kDefaultArchiveMessages),
                                           QStringLiteral("N"), QString::number(kDefaultArchiveMessages));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("Server latency for (b) (default %1).")
                                               .arg(kDefaultLatencyMs),
                                           QStringLiteral("MS"), QString::number(kDefaultLatencyMs));
    const QCommandLineOption archiveLatencyOption(QStringLiteral("archive-latency"),
                                                  QStringLiteral("Server latency for (c) (default %1).")
                                                      .arg(kDefaultArchiveLatencyMs),
                                                  QStringLiteral("MS"), QString::number(kDefaultArchiveLatencyMs));
    const QCommandLineOption repeatsOption(QStringLiteral("repeats"),
                                           QStringLiteral("Runs of (a) and (e), of which the median is shown (default %1).")
                                               .arg(kDefaultRepeats),
                                           QStringLiteral("N"), QString::number(kDefaultRepeats));
    const QCommandLineOption fetchesOption(QStringLiteral("fetches"),
                                           QStringLiteral("Pass --fetches N to the update run (default: the "
                                                          "program's own)."),
                                           QStringLiteral("N"));
    const QCommandLineOption figuresOption(QStringLiteral("figures"),
                                           QStringLiteral("Which figures to take, any of a, p, b, c, e (default apbc)."),
                                           QStringLiteral("LETTERS"), QStringLiteral("apbc"));
    parser.addOptions({newOption, archiveOption, latencyOption, archiveLatencyOption, repeatsOption, fetchesOption,
                       figuresOption});
    parser.process(app);

    const auto number = [&](const QCommandLineOption &option, int lowest, int highest) -> std::optional<int> {
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        if (!ok || value < lowest || value > highest) {
            std::fprintf(stderr, "bench_update: --%s takes a whole number from %d to %d\n",
                         qPrintable(option.names().constFirst()), lowest, highest);
            return std::nullopt;
        }
        return int(value);
    };
    constexpr int most = std::numeric_limits<qint32>::max();
    Settings settings;
    const auto newMessages = number(newOption, 1, most - kBaseMessages);
    const auto archive = number(archiveOption, 1, most);
    const auto latency = number(latencyOption, 0, 60000);
    const auto archiveLatency = number(archiveLatencyOption, 0, 60000);
    const auto repeats = number(repeatsOption, 1, 100);
    if (!newMessages || !archive || !latency || !archiveLatency || !repeats)
        return std::nullopt;
    settings.newMessages = *newMessages;
    settings.archiveMessages = *archive;
    settings.latencyMs = *latency;
    settings.archiveLatencyMs = *archiveLatency;
    settings.repeats = *repeats;
    if (parser.isSet(fetchesOption)) {
        const auto fetches = number(fetchesOption, 1, 1000);
        if (!fetches)
            return std::nullopt;
        settings.fetches = *fetches;
    }
    settings.figures = parser.value(figuresOption).toLower();
    if (settings.figures.isEmpty()
        || !std::all_of(settings.figures.cbegin(), settings.figures.cend(),
                        [](QChar c) { return c == u'a' || c == u'p' || c == u'b' || c == u'c' || c == u'e'; })) {
        std::fprintf(stderr, "bench_update: --figures takes letters out of a, p, b, c and e\n");
        return std::nullopt;
    }
    return settings;
}

}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const std::optional<Settings> parsed = parseSettings(app);
    if (!parsed)
        return 2;
    const Settings &settings = *parsed;
    const bool takeA = settings.figures.contains(u'a');
    const bool takeB = settings.figures.contains(u'b');
    const bool takeC = settings.figures.contains(u'c');
    const bool takeE = settings.figures.contains(u'e');
    const bool takeP = settings.figures.contains(u'p');
    QString directFingerprint; // what (a) stored, for (p) to compare with

    const QString database = BenchData::database100k();
    if (database.isEmpty())
        return fail("cannot write the benchmark database");
    const QDir dir(QFileInfo(database).dir().filePath(QStringLiteral("update")));
    if (!QDir().mkpath(dir.path()))
        return fail("cannot make the update folder");
    const QString work = dir.filePath(QStringLiteral("work"));
    const int first = kBaseMessages + 1;
    const int last = kBaseMessages + settings.newMessages;
    const QString fetchesNote = settings.fetches > 0
                                    ? QStringLiteral("; the run with --fetches %1").arg(settings.fetches)
                                    : QString();

    // The new messages continue the shared database's archive (seed 1) after its last one.
    // The default size keeps the folder name it always had, so existing sites are reused.
    const QString newSite = dir.filePath(settings.newMessages == kDefaultNewMessages
                                             ? QStringLiteral("site")
                                             : QStringLiteral("site-%1").arg(settings.newMessages));
    std::optional<qint32> newest;
    if (takeA || takeB || takeE || takeP) {
        newest = prepareSite(newSite, first, last);
        if (!newest)
            return fail("cannot write the update site");
    }

    if (takeA) {
        header(QStringLiteral("(a) update of %1 new messages into a %2-message database, no latency; loopback server "
                              "in its own process; %3%4")
                   .arg(settings.newMessages)
                   .arg(kBaseMessages)
                   .arg(settings.repeats == 1 ? QStringLiteral("one run")
                                              : QStringLiteral("median of %1 runs").arg(settings.repeats))
                   .arg(fetchesNote));
        Server server(newSite, 0);
        if (server.url().isEmpty())
            return fail("the server did not start");
        QList<double> updates;
        QList<double> curls;
        for (int i = 0; i < settings.repeats; ++i) {
            const auto run = completedUpdate(database, work, server.url(), *newest, settings);
            if (!run)
                return fail("the update run did not complete");
            const auto seconds = curl(server.url(), first, last, dir, 1);
            if (!seconds)
                return fail("curl failed");
            updates << run->seconds;
            curls << *seconds;
        }
        const double update = BenchData::median(updates);
        const double sequential = BenchData::median(curls);
        figure("update run", update, "s");
        figure("update run, a message", update * 1000 / settings.newMessages, "ms");
        figure("curl, one connection", sequential, "s");
        figure("curl, one connection, a page", sequential * 1000 / settings.newMessages, "ms");
        ratio("update / curl", update / sequential, "at most 1.30");
        indexStates(database, work);
        directFingerprint = storedFingerprint(QDir(work).filePath(QStringLiteral("veltra.mdb")));
    }

    if (takeP) {
        header(QStringLiteral("(p) the update of (a) with the desktop's proxy (http_proxy) a logging proxy on 127.0.0.1 "
                              "in its own process; one run%1")
                   .arg(fetchesNote));
        Server server(newSite, 0);
        Helper proxy({"--proxy", "--port", "0"});
        if (server.url().isEmpty() || proxy.url().isEmpty())
            return fail("the server or the proxy did not start");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("http_proxy"), proxy.url());
        environment.remove(QStringLiteral("no_proxy"));
        environment.remove(QStringLiteral("NO_PROXY"));
        const auto run = completedUpdate(database, work, server.url(), *newest, settings, false, environment);
        if (!run)
            return fail("the update run through the proxy did not complete");
        const qsizetype expected = settings.newMessages + 1; // and the newest number's page
        const QStringList carried = proxy.lines(expected);
        const QString through = storedFingerprint(QDir(work).filePath(QStringLiteral("veltra.mdb")));
        figure("update run through the proxy", run->seconds, "s");
        count("requests the run made", expected);
        count("requests the proxy carried", carried.size());
        std::printf("  %-40s %s\n", "stored through the proxy", qPrintable(through));
        if (!directFingerprint.isEmpty())
            std::printf("  %-40s %s   (%s)\n", "stored straight, in (a)", qPrintable(directFingerprint),
                        directFingerprint == through ? "the same" : "DIFFERENT");
        std::fflush(stdout);
        if (carried.size() != expected || (!directFingerprint.isEmpty() && directFingerprint != through))
            return fail("the run through the proxy did not go wholly through it, or stored other pages");
    }

    if (takeB) {
        header(QStringLiteral("(b) update of %1 new messages into a %2-message database, the server waiting %3 ms "
                              "before each answer; one run each, not repeated (the slow figures take minutes)%4")
                   .arg(settings.newMessages)
                   .arg(kBaseMessages)
                   .arg(settings.latencyMs)
                   .arg(fetchesNote));
        Server server(newSite, settings.latencyMs);
        if (server.url().isEmpty())
            return fail("the server did not start");
        const auto run = completedUpdate(database, work, server.url(), *newest, settings);
        if (!run)
            return fail("the update run did not complete");
        figure("update run", run->seconds, "s");
        figure("update run, a message", run->seconds * 1000 / settings.newMessages, "ms");
        const auto sequential = curl(server.url(), first, last, dir, 1);
        if (!sequential)
            return fail("curl failed");
        figure("curl, one connection", *sequential, "s");
        const auto parallel = curl(server.url(), first, last, dir, kParallelCurl);
        if (!parallel)
            return fail("curl --parallel failed");
        figure("curl --parallel --parallel-max 8", *parallel, "s");
        ratio("curl, one connection / update", *sequential / run->seconds, "at least 5.0");
        ratio("update / curl --parallel", run->seconds / *parallel, "at most 1.10");
        indexStates(database, work);
    }

    if (takeC) {
        const QString site = dir.filePath(QStringLiteral("archive-%1").arg(settings.archiveMessages));
        const auto archiveNewest = prepareSite(site, 1, settings.archiveMessages);
        if (!archiveNewest)
            return fail("cannot write the archive site");
        const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
        if (!prepareEmptyDatabase(database, empty))
            return fail("cannot make the empty database");
        header(QStringLiteral("(c) an empty database brought up to date from a site of %1 pages, the server waiting "
                              "%2 ms before each answer; one run, not repeated%3")
                   .arg(settings.archiveMessages)
                   .arg(settings.archiveLatencyMs)
                   .arg(fetchesNote));
        Server server(site, settings.archiveLatencyMs);
        if (server.url().isEmpty())
            return fail("the server did not start");
        const auto run = completedUpdate(empty, work, server.url(), *archiveNewest, settings);
        if (!run)
            return fail("the update run did not complete");
        const auto stored = countMessages(QDir(work).filePath(QStringLiteral("veltra.mdb")));
        if (!stored)
            return fail("cannot count the messages of the updated database");
        figure("update run", run->seconds, "s");
        count("messages stored", *stored);
        figure("messages a second", run->seconds > 0 ? double(*stored) / run->seconds : 0.0, "/s");
        indexStates(empty, work);
    }

    if (takeE) {
        header(QStringLiteral("(e) update of %1 new messages into a %2-message database, no latency, with the substring "
                              "index built on it first against the same without the index; %3%4")
                   .arg(settings.newMessages)
                   .arg(kBaseMessages)
                   .arg(settings.repeats == 1 ? QStringLiteral("one run each")
                                              : QStringLiteral("median of %1 runs each").arg(settings.repeats))
                   .arg(fetchesNote));
        // Built once on a copy; each run updates a fresh copy of that.
        const QString indexed = dir.filePath(QStringLiteral("indexed.mdb"));
        if (!BenchData::copyDatabase(database, indexed))
            return fail("cannot copy the database for the index");
        QElapsedTimer clock;
        clock.start();
        const SearchIndexBuilder::Report built = SearchIndexBuilder::run(indexed, SearchIndexBuilder::Task::Build);
        if (built.outcome != SearchIndexBuilder::Outcome::Ready) {
            std::fprintf(stderr, "bench_update: %s\n", qPrintable(built.detail));
            return fail("the index build did not complete");
        }
        figure("index build before the runs", double(clock.nsecsElapsed()) / 1e9, "s");

        Server server(newSite, 0);
        if (server.url().isEmpty())
            return fail("the server did not start");
        QList<double> withTimes;
        QList<double> withoutTimes;
        QList<double> takenInTimes;
        std::optional<std::pair<qint64, qint64>> after;
        // Taken in turn, so a drift of the machine touches both alike.
        for (int i = 0; i < settings.repeats; ++i) {
            const auto without = completedUpdate(database, work, server.url(), *newest, settings);
            if (!without)
                return fail("the update run without the index did not complete");
            const auto with = completedUpdate(indexed, work, server.url(), *newest, settings, true);
            if (!with)
                return fail("the update run with the index did not complete");
            after = indexedMessages(QDir(work).filePath(QStringLiteral("veltra.mdb")));
            if (!after || after->first != after->second)
                return fail("the index did not take in the update's messages: it is not whole or misses messages");
            withoutTimes << without->seconds;
            withTimes << with->seconds;
            takenInTimes << with->indexSeconds;
        }
        const double with = BenchData::median(withTimes);
        const double without = BenchData::median(withoutTimes);
        const double takenIn = BenchData::median(takenInTimes);
        figure("update run, no index (--no-search-index)", without, "s");
        figure("update run, index built first", with, "s");
        figure("update run, index built first, a message", with * 1000 / settings.newMessages, "ms");
        ratio("index / no index", with / without, "at most 1.30");
        figure("new messages into the index after the run", takenIn, "s");
        std::printf("  %-40s %10.2f   (the window's work in the background once the run has ended)\n",
                    "run and index / no index", (with + takenIn) / without);
        count("messages in the index after that", after->first);
        count("messages in the database", after->second);
        indexStates(indexed, work);
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(indexed + QLatin1String(suffix));
    }

    QDir(work).removeRecursively();
    return 0;
}
