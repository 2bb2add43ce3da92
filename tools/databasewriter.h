// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QString>

#include <memory>

class Recordset;

// Writes a new message database in one transaction. The records go to a scratch file
// beside the target, which takes the target's place only when finish() succeeds, so a
// failed or interrupted run never leaves a half-written veltra.mdb, nor destroys the
// one it was meant to replace.
class DatabaseWriter final
{
public:
    DatabaseWriter();
    // Abandons an unfinished database and removes its scratch file.
    ~DatabaseWriter();
    Q_DISABLE_COPY_MOVE(DatabaseWriter)

    // Refuses an existing file unless replaceExisting; never replaces a folder.
    bool begin(const QString &path, bool replaceExisting);
    bool add(const MessageRecord &record);
    bool finish();

    int count() const;
    QString lastError() const;

private:
    bool fail(const QString &message);
    void abandon();

    std::unique_ptr<Recordset> m_recordset;
    QString m_path;
    QString m_scratchPath;
    bool m_replaceExisting = false;
    int m_count = 0;
    QString m_lastError;
};
