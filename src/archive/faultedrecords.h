// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <set>

// The message records of a damaged database that SQLite's quick check finds fault with.
//
// A record can read back without error and still not be what was stored: when a page of
// its text's overflow chain was overwritten, SQLite reads whatever is there now. The check
// follows every chain and names the table cell whose chain goes wrong; the cell's rowid is
// read from the page itself, as SQLite sees it (the newest committed copy in the
// write-ahead log, else the file).
namespace FaultedRecords {

// Rowids of the records of table veltra whose cells the check finds fault with. The file
// is only read; the caller has no connection to it open (closing a descriptor of the
// file would drop that connection's locks).
std::set<qint64> find(const QString &databasePath);

}
