// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>

class SqliteDb;

// Message numbers an update could not fetch or read, kept in the message database beside
// the messages (table veltra_missed) so that later runs try them again. The message table
// itself is not touched. A number that has failed in many runs rests between tries, so it
// no longer slows every run down, but it stays listed until it arrives.
class MissedNumbers final
{
public:
    struct Entry
    {
        qint32 number = 0;
        QString reason;
        int tries = 0;
        qint64 lastTry = 0; // seconds since 1970
    };

    explicit MissedNumbers(SqliteDb &db);

    // Creates the table when missing. False when the file cannot take it (read-only):
    // then nothing is remembered and every query answers as for an empty table.
    bool prepare();

    // The numbers to try in a run at `now`, ascending: those tried fewer than
    // `triesBeforeRest` times, and resting ones last tried at least `restSeconds` ago.
    QList<qint32> due(qint64 now, int triesBeforeRest, qint64 restSeconds);
    qint32 highest();
    int count();
    std::optional<Entry> entry(qint32 number);
    // Every number listed, ascending.
    QList<Entry> entries();
    // Whether a reason says the server has no page for the number yet (it answered "not
    // found", or had none in a gap before a later message), as against one that could not
    // be fetched or read. The reasons are the update's own texts.
    static bool notYetOnServer(const QString &reason);

    // A failed try: a new number is listed with one try, a listed one counts one more.
    bool remember(qint32 number, const QString &reason, qint64 now);
    // Every number from `first` to `last` missed once more, for the same reason.
    bool rememberRange(qint32 first, qint32 last, const QString &reason, qint64 now);
    bool forget(qint32 number);

    QString lastError() const;

private:
    SqliteDb &m_db;
    bool m_usable = false;
};
