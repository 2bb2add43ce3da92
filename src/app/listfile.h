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

// Each entry unchanged on a line of its own, ended by CR LF; a character outside
// Windows-1252 becomes '?'.
QByteArray toBytes(const QStringList &entries);

// Replaces the file as a whole, atomically: the old file stays untouched unless the new
// one was written completely. On failure returns false and sets `error` (when given) to
// a reason that names the file.
bool write(const QString &path, const QStringList &entries, QString *error = nullptr);
bool writeBytes(const QString &path, const QByteArray &bytes, QString *error = nullptr);

}
