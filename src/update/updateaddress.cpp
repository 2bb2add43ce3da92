// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updateaddress.h"

namespace UpdateAddress {

QString folderFor(qint32 messnum)
{
    return QString::number(messnum).left(messnum < 100000 ? 3 : 4);
}

QString pagePath(qint32 messnum)
{
    return QStringLiteral("/dbupdate/") + folderFor(messnum) + QStringLiteral("/msg") + QString::number(messnum)
         + QStringLiteral(".htm");
}

QString lastMessagePath()
{
    return QStringLiteral("/dbupdate/lastmessage.html");
}

QUrl pageUrl(const QString &base, qint32 messnum)
{
    return QUrl(base + pagePath(messnum));
}

QUrl lastMessageUrl(const QString &base)
{
    return QUrl(base + lastMessagePath());
}

}
