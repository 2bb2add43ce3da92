// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// Writes messages of a message database to an mbox file (MboxMessage), one entry a record
// in stored order. The file is written under a name of its own beside the target and
// takes the target's name only once it is complete and on the disk; a failed or cancelled
// export leaves the target as it was. The database is only read, through a connection of
// its own, so the window's cursor stays where it is.
namespace MboxExport {

enum class Status { Exported, Cancelled, Failed };
struct Result
{
    Status status = Status::Failed;
    qint64 messages = 0;
    QString reason; // one line, naming the file
};
struct Progress
{
    qint64 done = 0;
    qint64 total = 0;
};
// Called now and then (a few times a second at most); false cancels.
using ProgressHandler = std::function<bool(const Progress &)>;

// `numbers`: only the records with these message numbers (all of them where a number is
// stored more than once); nullopt: every record.
Result write(const QString &database, const QString &target, const std::optional<QSet<qint64>> &numbers,
             const ProgressHandler &progress = {});

// "Exported N messages to FILE".
QString doneText(qint64 messages, const QString &target);

}
