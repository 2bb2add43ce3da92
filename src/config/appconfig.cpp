// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/appconfig.h"
#include "base/version.h"

#include "convert/jetconverter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <limits>

namespace {

// The program's name in its usage line, however it was started (a path, a link).
const QString kProgramName = QStringLiteral("veltra-kb");

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

// The program's options, kept to ask the parser about after parsing.
struct Options
{
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption update;
    QCommandLineOption group;
    QCommandLineOption club;
    QCommandLineOption search;
    QCommandLineOption fetches;
    QCommandLineOption first;
    QCommandLineOption noIndex;
    QCommandLineOption convertJet;
    QCommandLineOption jetTable;
    QCommandLineOption jetColumns;
    QCommandLineOption exportMbox;
};

// The help shows the defaults of `config`.
Options declareOptions(QCommandLineParser *parser, const AppConfig &config)
{
    parser->setApplicationDescription(QStringLiteral(
        "Veltra Knowledgebase: a searchable local copy of the club's message archive and a small web browser.\n"
        "The data folder (veltra.mdb, KnowledgeBase.ini, History.txt, UrlList.txt, help.html, about.html)\n"
        "is the current directory."));
    const Options options{
        .help = parser->addHelpOption(),
        .version = parser->addVersionOption(),
        .update = QCommandLineOption({QStringLiteral("update-server")},
                                     QStringLiteral("Update server base address, scheme and host (default %1).")
                                         .arg(config.updateServer),
                                     QStringLiteral("URL")),
        .group = QCommandLineOption({QStringLiteral("group-server")},
                                    QStringLiteral("Group service for the archive pages, scheme and host (default %1).")
                                        .arg(config.groupServer),
                                    QStringLiteral("URL")),
        .club = QCommandLineOption({QStringLiteral("club-host")},
                                   QStringLiteral("Host name of the club web site (default %1).").arg(config.clubHost),
                                   QStringLiteral("HOST")),
        .search = QCommandLineOption({QStringLiteral("search-server")},
                                     QStringLiteral("Web search engine, scheme and host (default %1).")
                                         .arg(config.searchServer),
                                     QStringLiteral("URL")),
        .fetches = QCommandLineOption({QStringLiteral("update-fetches")},
                                      QStringLiteral("Update pages fetched at once, 1 to %1 (default %2).")
                                          .arg(kMostFetches)
                                          .arg(config.updateFetches),
                                      QStringLiteral("N")),
        .first = QCommandLineOption({QStringLiteral("update-first")},
                                    QStringLiteral("Message number an update of an empty database begins at "
                                                   "(default %1).")
                                        .arg(config.updateFirst),
                                    QStringLiteral("N")),
        .noIndex = QCommandLineOption({QStringLiteral("no-search-index")},
                                      QStringLiteral("Keep no search index in the message database (it is removed, and "
                                                     "its disk space is given back at the next compaction); searches "
                                                     "then read every message.")),
        .convertJet = QCommandLineOption({QStringLiteral("convert-jet")},
                                         QStringLiteral("Converts the earlier program's Access database FILE into this "
                                                        "folder's veltra.mdb, without a window, and exits."),
                                         QStringLiteral("FILE")),
        .jetTable = QCommandLineOption({QStringLiteral("jet-table")},
                                       QStringLiteral("With --convert-jet: the table holding the messages (default veltra)."),
                                       QStringLiteral("NAME")),
        .jetColumns = QCommandLineOption({QStringLiteral("jet-columns")},
                                         QStringLiteral("With --convert-jet: the columns the fields come from, as "
                                                        "messnum=COL,messauthor=COL,messdate=COL,messtitle=COL,message=COL; "
                                                        "a field left out comes from the column of its own name."),
                                         QStringLiteral("FIELD=COLUMN,...")),
        .exportMbox = QCommandLineOption({QStringLiteral("export-mbox")},
                                         QStringLiteral("Writes every message of this folder's veltra.mdb to the mbox file "
                                                        "FILE, without a window, and exits."),
                                         QStringLiteral("FILE")),
    };
    parser->addOptions({options.update, options.group, options.club, options.search, options.fetches, options.first,
                        options.noIndex, options.convertJet, options.jetTable, options.jetColumns, options.exportMbox});
    return options;
}

CommandLineResult refusal(const QString &why)
{
    CommandLineResult result;
    result.exitCode = 2;
    result.message = why + QLatin1Char('\n');
    return result;
}

// The help, the version, or a stray argument: answered without running the program.
std::optional<CommandLineResult> answerOnly(const QCommandLineParser &parser, const Options &options)
{
    CommandLineResult result;
    // --help-all comes with the help option; Qt's own options are not taken here, so it is --help.
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object Qt names no program, and with one it names the path
        // the program was started by.
        result.message = parser.helpText();
        const qsizetype at = result.message.indexOf(QLatin1String(" [options]"));
        if (result.message.startsWith(QLatin1String("Usage: ")) && at > 0)
            result.message.replace(7, at - 7, kProgramName);
        return result;
    }
    if (parser.isSet(options.version)) {
        // The first line alone names the program and its version; the licence follows.
        result.message = QStringLiteral("Veltra Knowledgebase " VELTRA_VERSION "\n"
                                        "Copyright 2026 The Veltra Knowledgebase developers\n"
                                        "Licence GPL-3.0-or-later: GNU General Public License, version 3 or later "
                                        "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
                                        "This is free software: you are free to change and redistribute it.\n"
                                        "There is NO WARRANTY, to the extent permitted by law.\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return refusal(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()));
    return std::nullopt;
}

// The take* steps answer empty when the option is absent or taken, otherwise why it is refused.
QString takeServer(const QCommandLineParser &parser, const QCommandLineOption &option, QString *target)
{
    if (!parser.isSet(option))
        return {};
    const auto base = serverBase(parser.value(option));
    if (!base)
        return QStringLiteral("--%1 needs an http address such as http://host:port, not \"%2\"")
            .arg(option.names().first(), parser.value(option));
    *target = *base;
    return {};
}

template<typename Number>
QString takeWhole(const QCommandLineParser &parser, const QCommandLineOption &option, qint64 most, Number *target)
{
    if (!parser.isSet(option))
        return {};
    bool ok = false;
    const qint64 value = parser.value(option).trimmed().toLongLong(&ok);
    if (!ok || value < 1 || value > most)
        return QStringLiteral("--%1 needs a whole number from 1 to %2, not \"%3\"")
            .arg(option.names().first())
            .arg(most)
            .arg(parser.value(option));
    *target = Number(value);
    return {};
}

QString takeClubHost(const QCommandLineParser &parser, const QCommandLineOption &option, QString *target)
{
    if (!parser.isSet(option))
        return {};
    const QString host = parser.value(option).trimmed();
    const QUrl probe(QStringLiteral("http://") + host);
    if (host.isEmpty() || !probe.isValid() || probe.host().isEmpty() || !probe.path().isEmpty()
        || !probe.userInfo().isEmpty() || !probe.query().isEmpty() || !probe.fragment().isEmpty())
        return QStringLiteral("--club-host needs a host name such as veltraclub.org, not \"%1\"").arg(host);
    *target = host;
    return {};
}

// In the order they are checked: the first refusal is the one reported.
QString takeEndpoints(const QCommandLineParser &parser, const Options &options, AppConfig *config)
{
    QString refused = takeServer(parser, options.update, &config->updateServer);
    if (refused.isEmpty())
        refused = takeServer(parser, options.group, &config->groupServer);
    if (refused.isEmpty())
        refused = takeServer(parser, options.search, &config->searchServer);
    if (refused.isEmpty())
        refused = takeWhole(parser, options.fetches, kMostFetches, &config->updateFetches);
    if (refused.isEmpty())
        refused = takeWhole(parser, options.first, std::numeric_limits<qint32>::max(), &config->updateFirst);
    if (refused.isEmpty())
        refused = takeClubHost(parser, options.club, &config->clubHost);
    return refused;
}

// The conversions run without a window: one at a time, each with its file.
QString takeTransfers(const QCommandLineParser &parser, const Options &options, AppConfig *config)
{
    config->convertJet = parser.value(options.convertJet);
    config->jetTable = parser.value(options.jetTable);
    config->jetColumns = parser.value(options.jetColumns);
    config->exportMbox = parser.value(options.exportMbox);
    const bool converting = parser.isSet(options.convertJet);
    const bool exporting = parser.isSet(options.exportMbox);
    if (converting && exporting)
        return QStringLiteral("--convert-jet and --export-mbox cannot be given together.");
    if ((converting && config->convertJet.isEmpty()) || (exporting && config->exportMbox.isEmpty()))
        return QStringLiteral("--convert-jet and --export-mbox need a file name.");
    if ((parser.isSet(options.jetTable) || parser.isSet(options.jetColumns)) && !converting)
        return QStringLiteral("--jet-table and --jet-columns go with --convert-jet.");
    if (QString error; !JetColumns::parse(config->jetTable, config->jetColumns, &error))
        return error;
    return {};
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
    const Options options = declareOptions(&parser, config);
    if (!parser.parse(arguments))
        return refusal(parser.errorText());
    if (auto answer = answerOnly(parser, options))
        return *answer;
    if (const QString refused = takeEndpoints(parser, options, &config); !refused.isEmpty())
        return refusal(refused);
    if (const QString refused = takeTransfers(parser, options, &config); !refused.isEmpty())
        return refusal(refused);
    config.searchIndex = !parser.isSet(options.noIndex);
    config.arguments = arguments.mid(1);
    CommandLineResult result;
    result.config = config;
    return result;
}
