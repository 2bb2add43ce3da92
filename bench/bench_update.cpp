// Figures for the update run: 2,000 new messages fetched from a loopback update server
// into a 100,000-message database, next to curl fetching the same 2,000 addresses one
// after another over one connection; then the cost per message when the server takes
// 50 ms over each answer.
//
// The database is the shared 100,000-message benchmark database; the sites are written
// once beside it. Each run updates a fresh copy of the database, three times over.

#include "benchdata.h"
#include "store/updateaddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <optional>

namespace {

constexpr int kBaseMessages = 100000;
constexpr int kNewMessages = 2000;
constexpr int kLatencyMessages = 100;
constexpr int kLatencyMs = 50;
constexpr int kRepeats = 3;

bool runTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral(VELTRA_DEMOGEN_PATH), arguments);
    return tool.waitForFinished(-1) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The sites continue the benchmark database's archive (seed 1) after message 100,000.
bool prepare(const QDir &dir)
{
    const auto missing = [&](const QString &name) { return !QFileInfo::exists(dir.filePath(name)); };
    if (missing(QStringLiteral("site/dbupdate/lastmessage.html"))
        && !runTool({"--messages", QString::number(kBaseMessages + kNewMessages), "--first",
                     QString::number(kBaseMessages + 1), "--site", dir.filePath("site"), "--force"}))
        return false;
    if (missing(QStringLiteral("slowsite/dbupdate/lastmessage.html"))
        && !runTool({"--messages", QString::number(kBaseMessages + kLatencyMessages), "--first",
                     QString::number(kBaseMessages + 1), "--site", dir.filePath("slowsite"), "--force"}))
        return false;
    return true;
}

// A server in its own process, as curl and the program each see it from outside.
class Server final
{
public:
    Server(const QString &root, int latency)
    {
        m_process.start(QStringLiteral(VELTRA_DEMOGEN_PATH),
                        {"--serve", root, "--port", "0", "--latency", QString::number(latency)});
        if (!m_process.waitForReadyRead(10000))
            return;
        const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        m_url = line.mid(line.lastIndexOf(QLatin1Char(' ')) + 1);
    }
    ~Server()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(Server)
    QString url() const { return m_url; }

private:
    QProcess m_process;
    QString m_url;
};

struct UpdateRun
{
    double seconds = 0;
    QString status;
};

// The run happens in the kill test's child, the window with the fake browser, which
// reports the time of the run alone.
std::optional<UpdateRun> update(const QString &database, const QDir &dir, const QString &server)
{
    const QString work = dir.filePath(QStringLiteral("work"));
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work) || !QFile::copy(database, QDir(work).filePath("veltra.mdb")))
        return std::nullopt;
    QProcess child;
    child.setWorkingDirectory(work);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(UPDATE_CHILD_PATH), {server});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return std::nullopt;
    const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (lines.size() < 2)
        return std::nullopt;
    UpdateRun run;
    run.status = lines[0];
    run.seconds = lines[1].toDouble();
    return run;
}

std::optional<double> curl(const QString &server, int first, int last, const QDir &dir)
{
    const QString config = dir.filePath(QStringLiteral("curl.cfg"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return std::nullopt;
    for (int n = first; n <= last; ++n)
        file.write("url = \"" + UpdateAddress::pageUrl(server, n).toEncoded() + "\"\noutput = \"/dev/null\"\n");
    file.close();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("curl"), {"--silent", "--show-error", "--config", config});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return double(timer.nsecsElapsed()) / 1e9;
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench_update: %s\n", what);
    return 1;
}

}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const QString database = BenchData::database100k();
    if (database.isEmpty())
        return fail("cannot write the benchmark database");
    const QDir dir(QFileInfo(database).dir().filePath(QStringLiteral("update")));
    if (!QDir().mkpath(dir.path()) || !prepare(dir))
        return fail("cannot write the update sites");

    // One figure: the median of the repeats, each on a fresh copy of the database.
    const auto measure = [&](const QString &site, int latency, int newMessages, double *updateSeconds,
                             double *curlSeconds) {
        Server server(dir.filePath(site), latency);
        if (server.url().isEmpty())
            return fail("the server did not start");
        QList<double> updates;
        QList<double> curls;
        for (int i = 0; i < kRepeats; ++i) {
            const auto run = update(database, dir, server.url());
            if (!run || !run->status.endsWith(QStringLiteral(" - Last # %1").arg(kBaseMessages + newMessages)))
                return fail("the update run did not complete");
            const auto seconds = curl(server.url(), kBaseMessages + 1, kBaseMessages + newMessages, dir);
            if (!seconds)
                return fail("curl failed");
            updates << run->seconds;
            curls << *seconds;
        }
        *updateSeconds = BenchData::median(updates);
        *curlSeconds = BenchData::median(curls);
        return 0;
    };

    std::printf("update of %d new messages into a %d-message database; loopback server in its own process;\n"
                "median of %d runs\n",
                kNewMessages, kBaseMessages, kRepeats);
    std::fflush(stdout);
    double update = 0;
    double curl = 0;
    if (measure(QStringLiteral("site"), 0, kNewMessages, &update, &curl) != 0)
        return 1;
    std::printf("  update run             %8.3f s  (%.3f ms a message)\n", update, update * 1000 / kNewMessages);
    std::printf("  curl, one connection   %8.3f s  (%.3f ms a page)\n", curl, curl * 1000 / kNewMessages);
    std::printf("  ratio update / curl    %8.2f    (goal: at most 1.50)\n", update / curl);

    std::printf("update of %d new messages, the server waiting %d ms before each answer\n", kLatencyMessages,
                kLatencyMs);
    std::fflush(stdout);
    if (measure(QStringLiteral("slowsite"), kLatencyMs, kLatencyMessages, &update, &curl) != 0)
        return 1;
    // The run fetches the last-message page too.
    const double perPage = update * 1000 / (kLatencyMessages + 1);
    std::printf("  update run             %8.3f s  (%.2f ms a page, %.2f ms over the latency)\n", update, perPage,
                perPage - kLatencyMs);
    std::printf("  curl, one connection   %8.3f s  (%.2f ms a page)\n", curl, curl * 1000 / kLatencyMessages);
    QDir(dir.filePath(QStringLiteral("work"))).removeRecursively();
    return 0;
}
