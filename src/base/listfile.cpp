// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/listfile.h"

#include "base/cp1252.h"
#include "base/itemreader.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

bool fail(QString *error, const QString &path, const QString &reason)
{
    if (error)
        *error = QStringLiteral("Could not save %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

}

namespace ListFile {

ReadResult read(const QString &path, int limit)
{
    ReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("Could not read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return result;
    }
    ItemReader reader(&file);
    while (result.items.size() < limit && !reader.atEnd()) {
        const auto item = reader.next();
        if (!item) {
            result.error = QStringLiteral("Could not read %1: %2").arg(QDir::toNativeSeparators(path),
                                                                        reader.errorString());
            return result;
        }
        result.items << *item;
    }
    result.ok = true;
    return result;
}

QByteArray toBytes(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += Cp1252::encode(line);
        bytes += "\r\n";
    }
    return bytes;
}

QByteArray entryLine(const QString &entry)
{
    QString text = entry;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray line = Cp1252::encode(text);
    // The reader skips leading blanks, drops trailing ones, ends an unquoted item at a
    // comma and takes a leading quote as the start of a quoted one.
    const bool readsBack = line.isEmpty()
                           || (line.front() != ' ' && line.front() != '"' && line.back() != ' ' && !line.contains(','));
    if (readsBack)
        return line;
    return '"' + line.replace('"', "\"\"") + '"';
}

QByteArray entriesToBytes(const QStringList &entries)
{
    QByteArray bytes;
    for (const QString &entry : entries) {
        bytes += entryLine(entry);
        bytes += "\r\n";
    }
    return bytes;
}

bool write(const QString &path, const QStringList &entries, QString *error)
{
    return writeBytes(path, entriesToBytes(entries), error);
}

bool writeBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, path, file.errorString());
    // Qt 6.4's commit() reports success even when flushing the last buffered bytes
    // failed (a full disk), which would put a truncated file in place of the old one;
    // flushing first catches that.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, path, reason);
    }
    if (!file.commit())
        return fail(error, path, file.errorString());
    return true;
}

}
