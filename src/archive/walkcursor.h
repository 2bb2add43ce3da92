// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/recordset.h"

#include <functional>

class MessageArchive;

// A long walk's own place on the shared cursor. A walk (a search, flagging every listed
// message, listing or deleting the flagged ones) lets events run as it goes; while they
// run the cursor is the user's, standing where the user left it, so a step button or the
// slider goes on from the message in view; between them it is the walk's again.
class WalkCursor final
{
public:
    // The user's place is where the cursor stands now.
    explicit WalkCursor(MessageArchive *archive);

    // The cursor the walk reads, null once the database was closed or replaced.
    Recordset *recordset() const;
    // Runs the events on the user's place and takes the walk's back. `runEvents` returns
    // whether any ran. False when the database was closed or replaced meanwhile: the walk ends.
    bool letEventsRun(const std::function<bool()> &runEvents);

private:
    MessageArchive *m_archive;
    Recordset *m_rs;
    quint64 m_generation;
    Recordset::Bookmark m_user;
};
