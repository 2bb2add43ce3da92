// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagefields.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

// Where the five message fields come from in a Jet file: a table and, for each field, a
// column. By default the table `veltra` and the columns of the fields' own names.
struct JetColumns
{
    QString table = QStringLiteral("veltra");
    std::array<QString, MessageFields::kCount> columns = {
        QStringLiteral("messnum"), QStringLiteral("messauthor"), QStringLiteral("messdate"),
        QStringLiteral("messtitle"), QStringLiteral("message")};

    // "messnum=COL,messauthor=COL,...": a field left out keeps the column of its own name;
    // one column may feed several fields. Nullopt, with the reason, for a field that is
    // not one of the five, a field named twice, or a pair without "=" or column.
    static std::optional<JetColumns> parse(const QString &table, const QString &mapping, QString *error);
    // The columns the fields read, each once, in the fields' order.
    QStringList distinctColumns() const;
    // "messnum=COL,...,message=COL", as parse() reads it.
    QString mapping() const;
};

class JetSource;
struct JetTable;

// Converting a message archive kept by the earlier program in a Microsoft Jet (Access 97 to
// 2003) file into the message database of a data folder. The Jet file is only ever read, by
// the reader program in a process of its own. The new database is written under a name of
// its own, checked (as many messages as the table's rows, SQLite's integrity check) and
// only then put in place as veltra.mdb. Converting the folder's own veltra.mdb keeps the
// Jet file, unchanged, as veltra-jet.mdb. No other copy of the program may have the
// folder's database open meanwhile.
class JetConverter final
{
public:
    static constexpr const char *kDatabase = "veltra.mdb";
    static constexpr const char *kKeptJet = "veltra-jet.mdb";
    static constexpr const char *kWriting = "veltra-converting.mdb";

    enum class Status {
        Converted,
        Ready,     // probe: the file can be converted
        Refused,   // the Jet file cannot be converted (reason tells why); nothing written
        Failed,    // writing or putting the new database in place failed; nothing left of it
        Cancelled, // nothing left of it either
    };
    struct Result
    {
        Status status = Status::Failed;
        qint64 messages = 0;          // rows converted (probe: rows the table holds)
        qint64 unreadableNumbers = 0; // kept with the number 0
        QString reason;               // naming the file; one line, or the tables and an example
        bool missingTable = false;    // Refused: the file has no such table
    };
    struct Progress
    {
        qint64 done = 0;
        qint64 expected = 0; // the rows the table says it holds
    };
    // Called now and then (a few times a second at most); false cancels.
    using ProgressHandler = std::function<bool(const Progress &)>;

    // The reader program is veltra-jetreader beside the running program unless given.
    explicit JetConverter(const QString &readerProgram = {});
    // How long the reader may give nothing before the file counts as damaged (30 s).
    void setStallLimit(int ms);

    // Whether the file starts as a Jet or ACE (Access 2007 and later) database does.
    static bool looksLikeAccess(const QString &path);
    // The warning given when numbers could not be read, empty when all were.
    static QString unreadableNumbersText(qint64 count);

    // Reads the file only as far as needed to know it can be converted: Ready with the
    // table's row count, or Refused.
    Result probe(const QString &jetFile, const JetColumns &columns) const;
    // Converts jetFile into folder/veltra.mdb. A veltra.mdb already there is replaced only
    // when it is jetFile itself (kept as veltra-jet.mdb) or a message database holding no
    // messages.
    Result convert(const QString &jetFile, const QString &folder, const JetColumns &columns,
                   const ProgressHandler &progress = {}) const;
    // The file's user tables, by name, with their columns; nullopt with the reason (as a
    // refusal gives it) when they cannot be read.
    std::optional<QList<JetTable>> tables(const QString &jetFile, QString *reason) const;
    // Says that `jetFile` has no table `table`, lists the tables it has (the first 20) and
    // gives the command line that would convert one of them.
    static QString missingTableText(const QString &jetFile, const QString &table, const QList<JetTable> &tables);

private:
    // The outcome of a reader that refused or failed before the first row.
    Result refused(const JetSource &source, const QString &jetFile, const JetColumns &columns) const;

    QString m_reader;
    int m_stallMs = 30000;
};
