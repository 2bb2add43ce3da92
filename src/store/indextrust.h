// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class SqliteDb;

// Whether the search index of a message database may be used from the first moment of an
// opening, without its check: the file must be as this program left it at a clean close,
// with an index that had passed its check (or been trusted so) in that session.
//
// The mark: at a clean close, with no other connection to the file left, the file is taken
// out of write-ahead logging into SQLite's rollback journal (the log folded in), and one
// row is written to table veltra_index_trust in a transaction of its own: the file change
// counter (header bytes 24..27) that transaction's commit gives the file, the index's
// `born`, the page count, and the file's device and inode. In rollback-journal mode every
// transaction that writes the file raises that counter (SQLite's pager does so at each
// commit), whoever writes; a switch back to write-ahead logging is such a transaction too,
// and so is the switch this program makes at every opening of a file it may write. So the
// counter equals the mark only while nothing has written the file since the mark: not
// another program (the sqlite3 shell, any SQLite library), not this program after the
// opening that followed (a session that then crashed leaves the counter past the mark,
// and the file in write-ahead logging). In write-ahead logging the counter does not move
// with every commit, so a file found in that mode is never trusted.
//
// Not caught: bytes changed by something other than SQLite (a disk fault, a tool writing
// the file raw) that leave the counter as it was (the file's own check and the searches'
// failed lookups still find such damage); a byte-for-byte copy of a marked file put back
// over the same inode (it holds the index it was checked with); and a write by another
// program during a session of this one, in write-ahead logging, when that program is gone
// before this one closes.
namespace IndexTrust {

// Read before anything is written at an opening; `path` is the file's. False for a
// read-only connection, an absent or broken index, and whenever it cannot be read.
bool trusted(SqliteDb &db, const QString &path);

// At a clean close, on the last connection to the file: leaves the file in rollback-journal
// mode and writes the mark. False (nothing marked) when another connection still holds the
// file, it cannot be written, or the index is absent or broken.
bool mark(SqliteDb &db, const QString &path);

// The file change counter the file's header holds now, read through the connection (0 when
// it cannot be read); for tests and diagnostics.
quint32 changeCounter(SqliteDb &db);

} // namespace IndexTrust
