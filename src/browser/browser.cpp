// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/browser.h"

#include <utility>

void Browser::setProxyCredentials(ProxyCredentials credentials)
{
    m_proxyCredentials = std::move(credentials);
}

bool Browser::proxyCredentials(const QString &proxyHost, QString *user, QString *password) const
{
    return m_proxyCredentials && m_proxyCredentials(proxyHost, user, password);
}
