#pragma once

#include <QString>

class QUrl;

// Recognises the program's own message page, whose body is untrusted HTML from the
// network: any local file named tempfile.htm, and the path the window names.
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
