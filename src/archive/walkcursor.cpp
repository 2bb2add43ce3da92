// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/walkcursor.h"

#include "archive/messagearchive.h"

WalkCursor::WalkCursor(MessageArchive *archive)
    : m_archive(archive)
    , m_rs(archive->recordset())
    , m_generation(archive->generation())
{
    if (m_rs)
        m_user = m_rs->bookmark();
}

Recordset *WalkCursor::recordset() const
{
    return m_archive->generation() == m_generation ? m_rs : nullptr;
}

bool WalkCursor::letEventsRun(const std::function<bool()> &runEvents)
{
    Recordset *const rs = recordset();
    if (!rs)
        return false;
    const Recordset::Bookmark walk = rs->bookmark();
    rs->setBookmark(m_user);
    if (!runEvents()) {
        rs->setBookmark(walk);
        return true;
    }
    if (!recordset())
        return false;
    m_user = rs->bookmark();
    rs->setBookmark(walk);
    return true;
}
