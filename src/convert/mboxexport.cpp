// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/mboxexport.h"

#include "convert/mboxmessage.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace MboxExport {

namespace {

constexpr int kProgressIntervalMs = 100;
// Written to the file in pieces of about this size.
constexpr qsizetype kChunk = 1 << 20;

Result outcome(Status status, qint64 messages, const QString &reason = {})
{
    Result result;
    result.status = status;
    result.messages = messages;
    result.reason = reason;
    return result;
}

}

QString doneText(qint64 messages, const QString &target)
{
    return QStringLiteral("Exported %1 messages to %2").arg(messages).arg(QDir::toNativeSeparators(target));
}

Result write(const QString &database, const QString &target, const std::optional<QSet<qint64>> &numbers,
             const ProgressHandler &progress)
{
    const QString where = QDir::toNativeSeparators(target);
    if (QFileInfo(target).exists() && QFileInfo(target).canonicalFilePath() == QFileInfo(database).canonicalFilePath())
        return outcome(Status::Failed, 0, QStringLiteral("%1 is the message database itself.").arg(where));
    SqliteDb db;
    SqliteStatement count;
    SqliteStatement read;
    if (!db.open(database, SQLITE_OPEN_READONLY) || !count.prepare(db, "SELECT count(*) FROM veltra", false)
        || count.step() != SqliteStatement::Step::Row
        || !read.prepare(db, "SELECT messnum, messauthor, messdate, messtitle, message FROM veltra ORDER BY rowid", false))
        return outcome(Status::Failed, 0, QStringLiteral("The message database %1 cannot be read: %2.")
                                              .arg(QDir::toNativeSeparators(database), db.lastError()));
    Progress state;
    state.total = count.columnInt64(0);
    count.finalize();

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return outcome(Status::Failed, 0, QStringLiteral("%1 cannot be written: %2.").arg(where, file.errorString()));
    auto failed = [&](const QString &why) {
        file.cancelWriting();
        return outcome(Status::Failed, 0, QStringLiteral("%1 could not be written: %2.").arg(where, why));
    };

    QElapsedTimer sinceReport;
    sinceReport.start();
    qint64 written = 0;
    QByteArray pending;
    pending.reserve(2 * kChunk);
    SqliteStatement::Step step;
    while ((step = read.step()) == SqliteStatement::Step::Row) {
        ++state.done;
        if (progress && sinceReport.hasExpired(kProgressIntervalMs)) {
            sinceReport.restart();
            if (!progress(state)) {
                file.cancelWriting();
                return outcome(Status::Cancelled, written);
            }
        }
        const qint64 messnum = read.columnInt64(0);
        if (numbers && !numbers->contains(messnum))
            continue;
        MboxMessage::Fields fields;
        fields.messnum = messnum;
        fields.messauthor = read.columnText(1);
        fields.messdate = read.columnText(2);
        fields.messtitle = read.columnText(3);
        fields.message = read.columnBytes(4);
        MboxMessage::append(pending, fields);
        ++written;
        if (pending.size() >= kChunk) {
            if (file.write(pending) != pending.size())
                return failed(file.errorString());
            pending.resize(0); // its room kept for the next piece
        }
    }
    if (step == SqliteStatement::Step::Error)
        return failed(QStringLiteral("the message database could not be read to its end (%1)").arg(db.lastError()));
    if (file.write(pending) != pending.size() || !file.flush())
        return failed(file.errorString());
    if (progress && !progress(state)) {
        file.cancelWriting();
        return outcome(Status::Cancelled, written);
    }
    // On the disk before it takes the target's name.
    if (::fsync(file.handle()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    if (!file.commit())
        return outcome(Status::Failed, 0, QStringLiteral("%1 could not be written: %2.").arg(where, file.errorString()));
    return outcome(Status::Exported, written);
}

}
