// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// History.txt and UrlList.txt: one entry a line, CR LF, Windows-1252. The settings file
// shares the writing.
namespace ListFile {

struct ReadResult
{
    QStringList items;
    // False when the file is missing or unreadable; the items read before a read error
    // are kept. The caller then stops reading the files that come after it.
    bool ok = false;
    QString error;
};

// The first `limit` items (items, not lines: "a, b" on one line is two), fewer when the
// file ends first. Only as much of the file is read as those items need.
ReadResult read(const QString &path, int limit);

// Each line unchanged on a line of its own, ended by CR LF; a character outside
// Windows-1252 becomes '?'. The settings file is written this way.
QByteArray toBytes(const QStringList &lines);

// The line of a list file that reads back as the entry: the entry itself whenever it
// reads back unchanged, which keeps such files as they have always been. An entry with a
// comma, a blank at either end or a leading quote is put in quotes, with any quote in it
// doubled. A line break in an entry becomes a blank, as a line holds one entry; a
// character outside Windows-1252 becomes '?'. No line end.
QByteArray entryLine(const QString &entry);
// The entries' lines, each ended by CR LF.
QByteArray entriesToBytes(const QStringList &entries);

// Writes the entries as entriesToBytes() puts them. Replaces the file as a whole,
// atomically: the old file stays untouched unless the new one was written completely.
// On failure returns false and sets `error` (when given) to a reason that names the file.
bool write(const QString &path, const QStringList &entries, QString *error = nullptr);
bool writeBytes(const QString &path, const QByteArray &bytes, QString *error = nullptr);

}
