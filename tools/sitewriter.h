// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QString>

// Writes the update server's static tree below a root folder:
// dbupdate/lastmessage.html and dbupdate/<folder>/msg<n>.htm.
class SiteWriter final
{
public:
    explicit SiteWriter(const QString &root);
    Q_DISABLE_COPY_MOVE(SiteWriter)

    // The server publishes the message as the group archive has it: a local deletion
    // flag in messdate is not part of it and is left out.
    bool writeMessage(const MessageRecord &record);
    bool writeLastMessage(qint32 newest);

    QString root() const;
    QString lastError() const;

private:
    bool writeFile(const QString &relativePath, const QByteArray &bytes);

    QString m_root;
    QString m_lastFolder; // the folder last made sure of, to skip creating it again
    QString m_lastError;
};
