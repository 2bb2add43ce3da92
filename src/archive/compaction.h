// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Rewriting the message database compactly under the program's file protocol, all in
// the data folder: the compacted copy is written as veltranew.mdb, checked, veltra.mdb
// becomes veltra.bak (one generation) and the copy takes its name.
//
// Nothing is put in place before it has been checked: the copy must pass SQLite's
// integrity check, hold as many records as the source with the same highest message
// number, and be on the disk. The previous backup goes only when the new one replaces
// it, by a rename over its name. A kill between the two renames leaves no veltra.mdb;
// recover() puts the right file back at the next start.
namespace Compaction {

inline constexpr const char *kDatabase = "veltra.mdb";
inline constexpr const char *kCopy = "veltranew.mdb";
inline constexpr const char *kBackup = "veltra.bak";

// The moments between the steps; tests stop (and kill) the process at each of them.
enum class Step {
    SourceReady,  // the write-ahead log folded in, the source figures read
    CopyWritten,  // veltranew.mdb written, not yet checked
    CopyChecked,  // the copy checked and on the disk
    BackupKept,   // veltra.mdb renamed to veltra.bak
    Switched,     // veltranew.mdb renamed to veltra.mdb
};
using PausePoint = std::function<void(Step)>;
// How far long work on a database file is: `done` of `total`, a total of 0 while how much
// there is cannot be told. Called now and then while the work runs.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Why a compaction failed, as far as the user can do something about it.
enum class Failure {
    None,
    InUse,      // another connection holds the database
    DiskFull,   // no room for the copy (or the log it folds in)
    WriteError, // the disk refused a write or a flush
    Other,
};

struct Result
{
    bool ok = false;
    Failure failure = Failure::None;
    QString reason; // what failed, in SQLite's or the system's words
    QString cause;  // the system's own word for a full disk or a write error, if it gave one
};

// What a database holds, as the checks compare it.
struct Figures
{
    qint64 records = 0;
    qint64 highest = 0; // highest message number, 0 for an empty table
    friend bool operator==(const Figures &, const Figures &) = default;
};

// Flushes a file, or a folder's entries, to the disk; the errno of a failure (with the
// reason, naming the file), 0 on success.
int syncToDisk(const QString &path, QString *reason);

// Removes a veltranew.mdb left by an earlier run with the journal and logs SQLite keeps
// beside it; a missing file is no error. Returns the names of the files removed.
QStringList removeStaleCopy(const QString &folder);

// Compacts folder/veltra.mdb. The caller has closed its own connection to it and holds
// the exclusive lock. On failure veltra.mdb is what it was (a rename already made is
// undone), the old backup is untouched unless it was already replaced, and nothing of the
// copy is left. Its progress: the bytes of the copy written of those the database uses,
// then, while the copy is checked, none to tell.
Result compact(const QString &folder, const PausePoint &pause = {}, const Progress &progress = {});

// Opens the file read-only and checks it: SQLite's integrity check, then the figures of
// its message table. False with the reason when it does not pass.
bool check(const QString &path, Figures *figures, QString *reason);

// At start-up, with no veltra.mdb in the folder: puts the checked compacted copy, or
// else the backup, in its place. `message` tells the user what was done (empty when
// there was nothing to recover).
struct Recovery
{
    bool recovered = false;
    QString message;
};
Recovery recover(const QString &folder);

}
