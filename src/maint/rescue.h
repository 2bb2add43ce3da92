#pragma once

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
    qint64 rescued = 0;    // records copied
    qint64 unreadable = 0; // records found but not readable
    QString reason;        // why it failed
};

// Copies every record of the damaged database that can be read into a new database at
// `rescuedPath` (which must not exist), in stored order. Records are found three ways
// (the table from its start, from its end, and through the message-number index), so one
// broken page does not hide the records behind it.
Result copyReadable(const QString &damagedPath, const QString &rescuedPath);

// In the data folder: rescues veltra.mdb into a new file, keeps the damaged one as
// veltra.damaged and puts the rescued database in its place. The caller has closed its
// connection to veltra.mdb.
Result rescueFolder(const QString &folder);

}
