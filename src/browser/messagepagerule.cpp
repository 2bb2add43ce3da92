// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/messagepagerule.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

void MessagePageRule::setPath(const QString &path)
{
    m_path = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString MessagePageRule::path() const
{
    return m_path;
}

bool MessagePageRule::matches(const QUrl &url) const
{
    if (!url.isLocalFile())
        return false;
    const QString local = QDir::cleanPath(url.toLocalFile());
    if (!m_path.isEmpty() && local == m_path)
        return true;
    return QFileInfo(local).fileName().compare(QLatin1String("tempfile.htm"), Qt::CaseInsensitive) == 0;
}
