// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Message databases with real damage: written sound through the recordset, then a run of
// pages in the middle of the table overwritten with junk, as a failing disk leaves them.
namespace DamagedFile {

constexpr int kMessages = 3000;

// Writes a new veltra.mdb of kMessages messages whose bodies fill many pages.
bool write(const QString &path, bool damaged);
// The rowid of the first message SQLite cannot read, or 0 when every one can be read.
qint64 firstUnreadable(const QString &path);

}
