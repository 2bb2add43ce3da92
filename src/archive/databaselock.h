// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The advisory lock every running copy of the program holds on its message database:
// shared while the copy runs, exclusive while it compacts. It is taken on the data folder
// rather than on veltra.mdb itself, because compaction renames the file: the folder stays
// the same object throughout, so a copy that starts mid-compaction waits for it to end
// instead of opening a file about to be replaced.
class DatabaseLock final
{
public:
    DatabaseLock() = default;
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    // Takes the shared lock on `folder`, waiting up to `waitMs` for a compaction in
    // another copy to end. False with the reason when it could not be had.
    bool lockShared(const QString &folder, int waitMs, QString *error = nullptr);
    // Turns the shared lock into the exclusive one. False when another copy holds the
    // lock too; the shared lock is then held again.
    bool tryExclusive(QString *error = nullptr);
    // Gives the exclusive lock back as a shared one.
    void backToShared();
    void release();
    bool isHeld() const;
    bool isExclusive() const;

private:
    int m_fd = -1;
    bool m_exclusive = false;
};
