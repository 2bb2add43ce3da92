// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWebEngineUrlRequestInterceptor>

// Keeps inert pages (see InertPage) from fetching anything: every request made on their
// behalf (images, style sheets, frames, scripts, WebSockets, prefetches) is blocked. The
// engine's own bar on local content lets WebSockets through; this one does not. Navigations
// of the main frame are left to the page, which decides about them.
class LocalPageInterceptor final : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPageInterceptor)
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};
