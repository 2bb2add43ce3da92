// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/appconfig.h"
#include "base/version.h"

#include "convert/jetconverter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <limits>
#include <type_traits>

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
    const QCommandLineOption convertJet({QStringLiteral("convert-jet")},
                                        QStringLiteral("Converts the earlier program's Access database FILE into this "
                                                       "folder's veltra.mdb, without a window, and exits."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption jetTable({QStringLiteral("jet-table")},
                                      QStringLiteral("With --convert-jet: the table holding the messages (default veltra)."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption jetColumns({QStringLiteral("jet-columns")},
                                        QStringLiteral("With --convert-jet: the columns the fields come from, as "
                                                       "messnum=COL,messauthor=COL,messdate=COL,messtitle=COL,message=COL; "
                                                       "a field left out comes from the column of its own name."),
                                        QStringLiteral("FIELD=COLUMN,..."));
    const QCommandLineOption exportMbox({QStringLiteral("export-mbox")},
                                        QStringLiteral("Writes every message of this folder's veltra.mdb to the mbox file "
                                                       "FILE, without a window, and exits."),
                                        QStringLiteral("FILE"));
    parser.addOptions({update, group, club, search, fetches, first, noIndex, convertJet, jetTable, jetColumns, exportMbox});

    CommandLineResult result;
    if (!parser.parse(arguments)) {
        result.exitCode = 2;
        result.message = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    // --help-all comes with the help option; Qt's own options are not taken here, so it is --help.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object Qt names no program, and with one it names the path
        // the program was started by.
        result.message = parser.helpText();
        const qsizetype options = result.message.indexOf(QLatin1String(" [options]"));
        if (result.message.startsWith(QLatin1String("Usage: ")) && options > 0)
            result.message.replace(7, options - 7, kProgramName);
        return result;
    }
    if (parser.isSet(version)) {
        // The first line alone names the program and its version; the licence follows.
        result.message = QStringLiteral("Veltra Knowledgebase " VELTRA_VERSION "\n"
                                        "Copyright 2026 The Veltra Knowledgebase developers\n"
                                        "Licence GPL-3.0-or-later: GNU General Public License, version 3 or later "
                                        "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
                                        "This is free software: you are free to change and redistribute it.\n"
                                        "There is NO WARRANTY, to the extent permitted by law.\n");
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
    config.convertJet = parser.value(convertJet);
    config.jetTable = parser.value(jetTable);
    config.jetColumns = parser.value(jetColumns);
    config.exportMbox = parser.value(exportMbox);
    const auto refuse = [&](const QString &why) {
        result.exitCode = 2;
        result.message = why + QLatin1Char('\n');
        return result;
    };
    if (parser.isSet(convertJet) && parser.isSet(exportMbox))
        return refuse(QStringLiteral("--convert-jet and --export-mbox cannot be given together."));
    if ((parser.isSet(convertJet) && config.convertJet.isEmpty()) || (parser.isSet(exportMbox) && config.exportMbox.isEmpty()))
        return refuse(QStringLiteral("--convert-jet and --export-mbox need a file name."));
    if ((parser.isSet(jetTable) || parser.isSet(jetColumns)) && !parser.isSet(convertJet))
        return refuse(QStringLiteral("--jet-table and --jet-columns go with --convert-jet."));
    if (QString error; !JetColumns::parse(config.jetTable, config.jetColumns, &error))
        return refuse(error);
    config.searchIndex = !parser.isSet(noIndex);
    config.arguments = arguments.mid(1);
    result.config = config;
    return result;
}
