// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QUrl;

// Recognises the program's own message page, to name it (Save As) and to show it from
// memory: any local file named tempfile.htm, and the path the window names. It decides
// nothing about safety; every local page is inert (see InertPage).
class MessagePageRule final
{
public:
    MessagePageRule() = default;
    MessagePageRule(const MessagePageRule &) = delete;
    MessagePageRule &operator=(const MessagePageRule &) = delete;

    void setPath(const QString &path);
    QString path() const;
    bool matches(const QUrl &url) const;

private:
    QString m_path;
};
