// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Only one copy of the program updates a data folder at a time: a run holds an exclusive
// lock on the folder's lastmessage.htm, the first file it writes, for as long as it goes on.
// The lock goes with the process, so a copy that was killed holds nothing.
class UpdateLock final
{
public:
    enum class Result { Taken, Busy, Failed };

    UpdateLock() = default;
    ~UpdateLock();
    UpdateLock(const UpdateLock &) = delete;
    UpdateLock &operator=(const UpdateLock &) = delete;

    // Busy when another copy holds it; Failed, with the reason, when the file cannot be had.
    Result take(const QString &folder, QString *error);
    void release();

private:
    int m_fd = -1;
};
