// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <vector>

class SqliteDb;

// Which messages have been shown, kept in the message database beside the messages. The
// table (veltra_unread) holds the numbers not shown yet, since those are few and asked for
// often, while the shown ones grow with the archive: listing what is new reads a few
// thousand rows, not a million. Two triggers on the message table put every number stored
// into it and take out a number whose last record is deleted, whichever command stores or
// deletes; the message table itself is not changed. Numbers, not rowids, because a
// number names the message the server and the user know, and keeps it through a rescue,
// which writes the records anew.
//
// Marks are held in memory and written together (flush()), so that showing a message costs
// no write. A table that is missing, damaged or of a newer format is not used: nothing
// counts as read but what is marked in this run, and the next flush writes it anew.
class ReadState final
{
public:
    enum class Found {
        Sound,
        Missing, // no table (an archive from before); a new empty one needs no word
        Damaged,
        Newer,   // written by a later version
    };
    struct Hit
    {
        qint32 messnum = 0;
        qint64 rowid = 0; // the number's first record
    };

    explicit ReadState(SqliteDb &db);

    // What the file holds, without writing to it.
    static Found inspect(SqliteDb &db);
    Found open();
    Found found() const;
    bool isUsable() const;

    // Shown: counts as read at once, written at the next flush.
    void markRead(qint32 messnum);
    bool isMarked(qint32 messnum) const;
    bool hasPending() const;
    // Writes the marks held; a table that could not be used is written anew first. False
    // with lastError() when the file took nothing (read-only, damaged beyond a rewrite).
    bool flush();
    bool markAllRead();

    // The unread messages in number order, at most `most`.
    std::vector<Hit> unread(int most);

    // The column a page read of the message table (FROM veltra) adds: 1 where unread.
    QByteArray unreadColumn() const;

    // The table created in a database that has none (a rescue's new file), filled with
    // what `source` holds of it, or with every message there when that cannot be read.
    static bool copy(SqliteDb &source, SqliteDb &target);

    QString lastError() const;

private:
    // Drops what there is and creates the table with every message unread, then the marks.
    bool rewrite();

    SqliteDb &m_db;
    Found m_found = Found::Missing;
    bool m_usable = false;
    QSet<qint32> m_marked;  // shown in this run
    QSet<qint32> m_pending; // of those, not yet written
    QString m_error;
};
