// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/browseraddress.h"

#include <QDir>
#include <QRegularExpression>

namespace BrowserAddress {

QUrl toUrl(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    if (QDir::isAbsolutePath(text))
        return QUrl::fromLocalFile(QDir::cleanPath(text));

    // "host:8080/path" parses as scheme "host", so only "scheme://" and the few schemes
    // written without slashes count as a scheme here.
    static const QRegularExpression withScheme(
        QStringLiteral("^([a-z][a-z0-9+.-]*://|(about|mailto|file):)"),
        QRegularExpression::CaseInsensitiveOption);
    if (withScheme.match(text).hasMatch())
        return QUrl(text, QUrl::TolerantMode);
    return QUrl(QStringLiteral("http://") + text, QUrl::TolerantMode);
}

bool isShowable(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("about"))
        return url.path() == QLatin1String("blank");
    // The engine has no FTP; handing it such an address would let it pass it on.
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file");
}

QString toText(const QUrl &url)
{
    return url.toString(QUrl::EncodeUnicode);
}

}
