#include "appconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <limits>
#include <type_traits>

namespace {

// More would only queue at the server: each fetch holds a connection of its own.
constexpr int kMostFetches = 64;

QString withoutTrailingSlash(QString s)
{
    while (s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return s;
}

// An endpoint URL must be an absolute http(s) address; only scheme, host and port are kept.
std::optional<QString> serverBase(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return std::nullopt;
    return withoutTrailingSlash(url.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment
                                             | QUrl::RemoveUserInfo));
}

}

QString AppConfig::groupArchiveBase() const
{
    return groupServer + QStringLiteral("/group/veltraclub/");
}

QString AppConfig::clubStartPage() const
{
    return QStringLiteral("http://www.") + clubHost;
}

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    AppConfig config;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Veltra Knowledgebase: a searchable local copy of the club's message archive and a small web browser.\n"
        "The data folder (veltra.mdb, KnowledgeBase.ini, History.txt, UrlList.txt, help.html, about.html)\n"
        "is the current directory."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption update({QStringLiteral("update-server")},
                                    QStringLiteral("Update server base address, scheme and host (default %1).")
                                        .arg(config.updateServer),
                                    QStringLiteral("URL"));
    const QCommandLineOption group({QStringLiteral("group-server")},
                                   QStringLiteral("Group service for the archive pages, scheme and host (default %1).")
                                       .arg(config.groupServer),
                                   QStringLiteral("URL"));
    const QCommandLineOption club({QStringLiteral("club-host")},
                                  QStringLiteral("Host name of the club web site (default %1).").arg(config.clubHost),
                                  QStringLiteral("HOST"));
    const QCommandLineOption search({QStringLiteral("search-server")},
                                    QStringLiteral("Web search engine, scheme and host (default %1).")
                                        .arg(config.searchServer),
                                    QStringLiteral("URL"));
    const QCommandLineOption fetches({QStringLiteral("update-fetches")},
                                     QStringLiteral("Update pages fetched at once, 1 to %1 (default %2).")
                                         .arg(kMostFetches)
                                         .arg(config.updateFetches),
                                     QStringLiteral("N"));
    const QCommandLineOption first({QStringLiteral("update-first")},
                                   QStringLiteral("Message number an update of an empty database begins at "
                                                  "(default %1).")
                                       .arg(config.updateFirst),
                                   QStringLiteral("N"));
    const QCommandLineOption noIndex({QStringLiteral("no-search-index")},
                                     QStringLiteral("Keep no search index in the message database (it is removed, and "
                                                    "its disk space is given back at the next compaction); searches "
                                                    "then read every message."));
    parser.addOptions({update, group, club, search, fetches, first, noIndex});

    CommandLineResult result;
    if (!parser.parse(arguments)) {
        result.exitCode = 2;
        result.message = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    // --help-all comes with the help option; Qt's own options are not taken here, so it is --help.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        // The build hands in the project's version, so the two cannot drift apart.
        result.message = QStringLiteral("Veltra Knowledgebase " VELTRA_VERSION "\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.exitCode = 2;
        result.message = QStringLiteral("Unexpected argument: %1\n").arg(parser.positionalArguments().first());
        return result;
    }

    const auto server = [&](const QCommandLineOption &option, QString *target) {
        if (!parser.isSet(option))
            return true;
        const auto base = serverBase(parser.value(option));
        if (!base) {
            result.exitCode = 2;
            result.message = QStringLiteral("--%1 needs an http address such as http://host:port, not \"%2\"\n")
                                 .arg(option.names().first(), parser.value(option));
            return false;
        }
        *target = *base;
        return true;
    };
    if (!server(update, &config.updateServer) || !server(group, &config.groupServer)
        || !server(search, &config.searchServer))
        return result;
    const auto whole = [&](const QCommandLineOption &option, qint64 most, auto *target) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const qint64 value = parser.value(option).trimmed().toLongLong(&ok);
        if (!ok || value < 1 || value > most) {
            result.exitCode = 2;
            result.message = QStringLiteral("--%1 needs a whole number from 1 to %2, not \"%3\"\n")
                                 .arg(option.names().first())
                                 .arg(most)
                                 .arg(parser.value(option));
            return false;
        }
        *target = std::remove_pointer_t<decltype(target)>(value);
        return true;
    };
    if (!whole(fetches, kMostFetches, &config.updateFetches)
        || !whole(first, std::numeric_limits<qint32>::max(), &config.updateFirst))
        return result;
    if (parser.isSet(club)) {
        const QString host = parser.value(club).trimmed();
        const QUrl probe(QStringLiteral("http://") + host);
        if (host.isEmpty() || !probe.isValid() || probe.host().isEmpty() || !probe.path().isEmpty()
            || !probe.userInfo().isEmpty() || !probe.query().isEmpty() || !probe.fragment().isEmpty()) {
            result.exitCode = 2;
            result.message = QStringLiteral("--club-host needs a host name such as veltraclub.org, not \"%1\"\n").arg(host);
            return result;
        }
        config.clubHost = host;
    }
    config.searchIndex = !parser.isSet(noIndex);
    config.arguments = arguments.mid(1);
    result.config = config;
    return result;
}
