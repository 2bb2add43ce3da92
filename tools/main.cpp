// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasewriter.h"
#include "messagegenerator.h"
#include "loggingproxy.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "updatepage.h"
#include "vocabulary.h"

#include "update/updatepageparser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <limits>
#include <optional>

namespace {

struct Options
{
    quint64 seed = 1;
    qint32 lastNumber = 3000;
    qint32 firstSiteNumber = 1;
    QString database;
    QString site;
    bool force = false;
    bool realText = false;
    QString corpus;
};

int usageError(const QString &message)
{
    QTextStream(stderr) << "veltra-demogen: " << message << "\nTry 'veltra-demogen --help'.\n";
    return 2;
}

int runError(const QString &message)
{
    QTextStream(stderr) << "veltra-demogen: " << message << '\n';
    return 1;
}

// The database gets each message the way the program's updater would: its update page,
// taken apart by the updater's parser. So demo data and parser cannot disagree.
std::optional<MessageRecord> throughUpdatePage(const MessageRecord &record, QString *problem)
{
    std::optional<MessageRecord> parsed = UpdatePageParser::parseBytes(UpdatePage::render(record), record.messnum, problem);
    if (parsed && (parsed->messauthor != record.messauthor || parsed->messdate != record.messdate
                   || parsed->messtitle != record.messtitle || parsed->message != record.message)) {
        *problem = QStringLiteral("its update page does not read back as written");
        return std::nullopt;
    }
    return parsed;
}

int serve(const QString &root, quint16 port, int latency)
{
    if (!QFileInfo(root).isDir())
        return runError(QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(root)));
    SiteServer server(root);
    server.setLatency(latency);
    if (server.listenLocal(port) == 0)
        return runError(QStringLiteral("cannot listen on 127.0.0.1 port %1").arg(port));
    // Scripts read the address from this line.
    QTextStream(stdout) << "veltra-demogen: serving " << QDir::toNativeSeparators(root) << " at " << server.baseUrl()
                        << Qt::endl;
    return QCoreApplication::exec();
}

// A proxy on 127.0.0.1 that writes down every request it carries, one line each.
int proxy(quint16 port)
{
    LoggingProxy proxy;
    if (proxy.listenLocal(port) == 0)
        return runError(QStringLiteral("cannot listen on 127.0.0.1 port %1").arg(port));
    QTextStream out(stdout);
    QObject::connect(&proxy, &LoggingProxy::requested, &proxy, [&out](const QString &line) { out << line << Qt::endl; });
    out << "veltra-demogen: proxy at http://127.0.0.1:" << proxy.serverPort() << Qt::endl;
    return QCoreApplication::exec();
}

std::optional<quint16> portNumber(const QString &text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    return ok && port <= 65535 ? std::optional<quint16>(quint16(port)) : std::nullopt;
}

std::optional<qint32> positiveNumber(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 1 || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltra-demogen"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a deterministic demo archive of the Veltra owners' mailing list: a message database,\n"
        "the update server's static pages, or both. Messages are numbered from 1 up to --messages,\n"
        "with a few numbers skipped; the same seed always gives the same messages.\n"
        "With --serve DIR it serves an update site written with --site over HTTP on 127.0.0.1.\n"
        "With --proxy it is an HTTP proxy on 127.0.0.1 that prints every request it carries.\n"
        "With --real-text the bodies are benchmark text instead: 60 to 260 words each, drawn with\n"
        "natural-language frequencies from tens of thousands of words (those of the mail under\n"
        "--corpus DIR, else a built-in list), replies quoting the messages they answer."));
    parser.addHelpOption();
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the archive (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption messagesOption(QStringLiteral("messages"),
                                            QStringLiteral("Highest message number (default 3000)."),
                                            QStringLiteral("N"), QStringLiteral("3000"));
    const QCommandLineOption databaseOption(QStringLiteral("database"),
                                            QStringLiteral("Write a message database (veltra.mdb) to PATH."),
                                            QStringLiteral("PATH"));
    const QCommandLineOption siteOption(QStringLiteral("site"),
                                        QStringLiteral("Write the update site tree (DIR/dbupdate/...)."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption firstOption(QStringLiteral("first"),
                                         QStringLiteral("First message number the site holds (default 1)."),
                                         QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption forceOption(QStringLiteral("force"),
                                         QStringLiteral("Replace an existing database or site pages."));
    const QCommandLineOption serveOption(QStringLiteral("serve"),
                                         QStringLiteral("Serve the update site in DIR over HTTP on 127.0.0.1 until "
                                                        "stopped; prints the address."),
                                         QStringLiteral("DIR"));
    const QCommandLineOption proxyOption(QStringLiteral("proxy"),
                                         QStringLiteral("Be an HTTP proxy on 127.0.0.1 until stopped, printing its "
                                                        "address and every request."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port for --serve or --proxy (default 0: a free one)."), QStringLiteral("N"),
                                        QStringLiteral("0"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("With --serve, wait MS milliseconds before each answer."),
                                           QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption realTextOption(QStringLiteral("real-text"),
                                            QStringLiteral("Write benchmark text that behaves like real mail."));
    const QCommandLineOption corpusOption(QStringLiteral("corpus"),
                                          QStringLiteral("With --real-text, take the words from the mbox and .eml "
                                                         "files under DIR."),
                                          QStringLiteral("DIR"));
    parser.addOptions({seedOption, messagesOption, databaseOption, siteOption, firstOption, forceOption, serveOption,
                       proxyOption, portOption, latencyOption, realTextOption, corpusOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(proxyOption)) {
        for (const QCommandLineOption *other : {&seedOption, &messagesOption, &databaseOption, &siteOption, &firstOption,
                                                &forceOption, &realTextOption, &corpusOption, &serveOption, &latencyOption}) {
            if (parser.isSet(*other))
                return usageError(QStringLiteral("--proxy takes only --port"));
        }
        const std::optional<quint16> port = portNumber(parser.value(portOption));
        if (!port)
            return usageError(QStringLiteral("--port takes a whole number from 0 to 65535"));
        return proxy(*port);
    }
    if (parser.isSet(serveOption)) {
        for (const QCommandLineOption *other : {&seedOption, &messagesOption, &databaseOption, &siteOption,
                                                &firstOption, &forceOption, &realTextOption, &corpusOption}) {
            if (parser.isSet(*other))
                return usageError(QStringLiteral("--serve takes only --port and --latency"));
        }
        const std::optional<quint16> port = portNumber(parser.value(portOption));
        if (!port)
            return usageError(QStringLiteral("--port takes a whole number from 0 to 65535"));
        bool latencyOk = false;
        const int latency = parser.value(latencyOption).toInt(&latencyOk);
        if (!latencyOk || latency < 0)
            return usageError(QStringLiteral("--latency takes a whole number of milliseconds from 0 up"));
        return serve(parser.value(serveOption), *port, latency);
    }
    if (parser.isSet(portOption) || parser.isSet(latencyOption))
        return usageError(QStringLiteral("--port and --latency apply to --serve (and --port to --proxy) only"));

    Options options;
    bool seedOk = false;
    options.seed = parser.value(seedOption).toULongLong(&seedOk);
    if (!seedOk)
        return usageError(QStringLiteral("--seed takes a whole number from 0 up"));
    const std::optional<qint32> last = positiveNumber(parser.value(messagesOption));
    if (!last)
        return usageError(QStringLiteral("--messages takes a whole number from 1 to 2147483647"));
    options.lastNumber = *last;
    const std::optional<qint32> first = positiveNumber(parser.value(firstOption));
    if (!first || *first > options.lastNumber)
        return usageError(QStringLiteral("--first takes a whole number from 1 to the --messages value"));
    if (parser.isSet(firstOption) && !parser.isSet(siteOption))
        return usageError(QStringLiteral("--first applies to --site only"));
    options.firstSiteNumber = *first;
    options.database = parser.value(databaseOption);
    options.site = parser.value(siteOption);
    options.force = parser.isSet(forceOption);
    options.realText = parser.isSet(realTextOption);
    options.corpus = parser.value(corpusOption);
    if (parser.isSet(corpusOption) && !options.realText)
        return usageError(QStringLiteral("--corpus applies to --real-text only"));

    if (!options.site.isEmpty() && !options.force
        && QFileInfo::exists(QDir(options.site).filePath(UpdatePage::lastMessagePath())))
        return runError(QStringLiteral("%1 holds an update site already (use --force to write over it)")
                            .arg(QDir::toNativeSeparators(options.site)));

    QElapsedTimer timer;
    timer.start();

    std::optional<DatabaseWriter> database;
    if (!options.database.isEmpty()) {
        database.emplace();
        if (!database->begin(options.database, options.force))
            return runError(database->lastError());
    }
    std::optional<SiteWriter> site;
    if (!options.site.isEmpty())
        site.emplace(options.site);

    std::shared_ptr<const Vocabulary> vocabulary;
    if (options.realText) {
        QString problem;
        vocabulary = options.corpus.isEmpty() ? Vocabulary::fromWordList() : Vocabulary::fromMail(options.corpus, &problem);
        if (!vocabulary)
            return runError(problem);
        QTextStream(stdout) << "veltra-demogen: real text, " << vocabulary->description() << Qt::endl;
    }
    MessageGenerator generator(options.seed, vocabulary);
    int generated = 0;
    int flagged = 0;
    int sitePages = 0;
    qint32 newest = 0;
    for (;;) {
        const MessageRecord record = generator.next();
        if (record.messnum > options.lastNumber)
            break;
        ++generated;
        newest = record.messnum;
        if (record.messdate.startsWith(u"-1"))
            ++flagged;
        if (database) {
            QString problem;
            const std::optional<MessageRecord> stored = throughUpdatePage(record, &problem);
            if (!stored)
                return runError(QStringLiteral("message %1: %2").arg(record.messnum).arg(problem));
            if (!database->add(*stored))
                return runError(database->lastError());
        }
        if (site && record.messnum >= options.firstSiteNumber) {
            if (!site->writeMessage(record))
                return runError(site->lastError());
            ++sitePages;
        }
        if (record.messnum == options.lastNumber)
            break;
    }
    if (site && !site->writeLastMessage(newest))
        return runError(site->lastError());
    if (database && !database->finish())
        return runError(database->lastError());

    QString summary;
    QTextStream out(&summary);
    out << "veltra-demogen: seed " << options.seed << ", " << generated << " messages numbered 1.." << newest << " ("
        << (newest - generated) << " numbers skipped, " << flagged << " flagged)";
    if (database)
        out << "; database " << QDir::toNativeSeparators(options.database);
    if (site)
        out << "; site " << QDir::toNativeSeparators(options.site) << " with " << sitePages << " pages from "
            << options.firstSiteNumber;
    if (!database && !site)
        out << "; nothing written";
    out << "; " << QString::number(double(timer.elapsed()) / 1000.0, 'f', 1) << " s";
    out.flush();
    QTextStream(stdout) << summary << '\n';
    return 0;
}
