// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The fixed endpoints the program talks to. Compiled-in defaults; command-line options
// override them. The program reads no settings from the environment.
struct AppConfig
{
    QString updateServer = QStringLiteral("http://update.veltraclub.org"); // scheme and host
    QString groupServer = QStringLiteral("http://groups.yahoo.com");      // scheme and host
    QString clubHost = QStringLiteral("veltraclub.org");                  // host name only
    QString searchServer = QStringLiteral("http://www.google.com");       // scheme and host

    int updateFetches = 8;  // update pages fetched at once
    qint32 updateFirst = 1; // where an update of an empty database begins
    // The substring index in the message database; off, it is removed and finds read
    // every record.
    bool searchIndex = true;

    // Conversions run from the command line, without a window (convert/transfercommands.h).
    QString convertJet; // the Access file to convert into the folder's veltra.mdb
    QString jetTable;   // its table, when not "veltra"
    QString jetColumns; // "messnum=COL,...": the columns the fields come from
    QString exportMbox; // the mbox file the whole archive is written to
    // The program that reads Access databases; empty: veltra-jetreader beside the program.
    QString jetReader;

    // The options as given, for starting the program again after a compaction.
    QStringList arguments;

    // "http://" + group host + "/group/veltraclub/"
    QString groupArchiveBase() const;
    QString clubStartPage() const; // "http://www." + club host
};

struct CommandLineResult
{
    std::optional<AppConfig> config; // empty: the program should exit with `exitCode`
    int exitCode = 0;
    QString message; // help text or error, for standard output/error
};

// Parses the program's arguments (argv[0] first) with QCommandLineParser.
CommandLineResult parseCommandLine(const QStringList &arguments);
