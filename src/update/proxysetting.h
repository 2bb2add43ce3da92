// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// How the update's fetches reach the update server: through the proxy the desktop uses for
// the same address (its settings, or http_proxy, https_proxy and no_proxy, read through
// Qt's system proxy lookup), straight, or through one chosen in Options.
struct ProxySetting
{
    enum class Mode {
        System,
        None,
        Manual,
    };
    Mode mode = Mode::System;
    QString host;         // with Manual
    quint16 port = 0;     // with Manual
    QString user;         // empty: the proxy asks for none
    QString password;     // held while the program runs, never written to a file
};

// The proxy one address is fetched through; none when `host` is empty.
struct ProxyRoute
{
    QString scheme = QStringLiteral("http"); // http, or socks5h for a SOCKS proxy
    QString host;
    quint16 port = 0;
    QString user;
    QString password;

    bool isDirect() const;
    // "host:port", as the user knows the proxy.
    QString name() const;
    // The proxy's address as libcurl takes it: "http://host:port".
    QByteArray address() const;
};

namespace ProxyRouting {

// The route for `url` under `setting`. With Mode::System this asks the desktop's settings,
// which may take a moment (a proxy auto-configuration script): ask once per server.
ProxyRoute routeFor(const ProxySetting &setting, const QUrl &url);

}
