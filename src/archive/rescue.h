// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/compaction.h"

#include <QString>

// Saving what can still be read from a damaged message database into a sound one. The
// damaged file is kept, never changed: the rescued database takes its name only after it
// has been written and checked, and the damaged file (with its write-ahead log) stays
// beside it as veltra.damaged.
namespace Rescue {

inline constexpr const char *kRescued = "veltrarescued.mdb"; // while it is written
inline constexpr const char *kDamaged = "veltra.damaged";     // the damaged file, kept

struct Result
{
    bool ok = false;
    qint64 rescued = 0; // records copied
    qint64 lost = 0;    // records known to have been there that did not come across
    // False when the damage may have hidden records altogether (every trace of them gone):
    // then at least `lost` did not come across.
    bool lostExact = true;
    QString reason; // why it failed
};

// Copies every record of the damaged database that reads back as it was stored into a new
// database at `rescuedPath` (which must not exist), in stored order. Records are known from
// everything that lists them (the table from its start and from its end, the
// message-number index both ways, the lists of the records the search index and the
// conversation store hold), so one broken page does not hide the records behind it. A
// record is copied only when it is well formed: its texts UTF-8 without a NUL character
// (the program stores no other), its number an integer found in the message-number index
// at its rowid, its texts as long as the search index counted them, and no fault found in
// its pages. Its progress: the records looked at of those known, once they are known.
Result copyReadable(const QString &damagedPath, const QString &rescuedPath, const Compaction::Progress &progress = {});

// In the data folder: rescues veltra.mdb into a new file, keeps the damaged one as
// veltra.damaged and puts the rescued database in its place. The caller has closed its
// connection to veltra.mdb.
Result rescueFolder(const QString &folder, const Compaction::Progress &progress = {});

}
