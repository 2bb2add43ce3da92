// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/proxysetting.h"

#include <QNetworkProxyFactory>

bool ProxyRoute::isDirect() const
{
    return host.isEmpty();
}

QString ProxyRoute::name() const
{
    // An IPv6 address is bracketed, so its colons are not taken for the port's.
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

QByteArray ProxyRoute::address() const
{
    return (scheme + QStringLiteral("://") + name()).toUtf8();
}

namespace ProxyRouting {

ProxyRoute routeFor(const ProxySetting &setting, const QUrl &url)
{
    ProxyRoute route;
    switch (setting.mode) {
    case ProxySetting::Mode::None:
        return route;
    case ProxySetting::Mode::Manual:
        if (setting.host.isEmpty() || setting.port == 0)
            return route;
        route.host = setting.host;
        route.port = setting.port;
        route.user = setting.user;
        route.password = setting.password;
        return route;
    case ProxySetting::Mode::System:
        break;
    }
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    // The first the desktop offers is the one it uses; the rest are its fallbacks.
    for (const QNetworkProxy &proxy : proxies) {
        switch (proxy.type()) {
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::HttpCachingProxy:
            route.scheme = QStringLiteral("http");
            break;
        case QNetworkProxy::Socks5Proxy:
            route.scheme = QStringLiteral("socks5h");
            break;
        case QNetworkProxy::NoProxy:
        case QNetworkProxy::DefaultProxy:
            return route;
        case QNetworkProxy::FtpCachingProxy:
            continue;
        }
        route.host = proxy.hostName();
        route.port = proxy.port();
        route.user = proxy.user();
        route.password = proxy.password();
        return route;
    }
    return route;
}

}
