// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

// Where the update server publishes the newest number and each message's page.
namespace UpdateAddress {

// The folder of message n below /dbupdate/: the first three decimal digits of n below
// 100000, the first four from 100000 on (12345 -> "123", 123456 -> "1234").
QString folderFor(qint32 messnum);

// "/dbupdate/<folder>/msg<n>.htm"
QString pagePath(qint32 messnum);
// "/dbupdate/lastmessage.html"
QString lastMessagePath();

// The base is scheme and host (and port), without a trailing slash.
QUrl pageUrl(const QString &base, qint32 messnum);
QUrl lastMessageUrl(const QString &base);

}
