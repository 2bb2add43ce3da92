// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/webpage.h"

#include "browser/browseraddress.h"
#include "browser/inertpage.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineSettings>

#include <utility>

namespace {

// How long a refused link waits for the engine to wind down the refused navigation.
constexpr int deferredLinkTimeoutMs = 1000;

// Switched off for an inert page and left to the profile for any other. Without scripts
// nothing can be read or sent; the rest would still let a page without them open a window,
// keep data, ping on a click, ask for its icon or look up host names.
constexpr QWebEngineSettings::WebAttribute inertOff[] = {
    QWebEngineSettings::JavascriptEnabled,
    QWebEngineSettings::JavascriptCanOpenWindows,
    QWebEngineSettings::LocalStorageEnabled,
    QWebEngineSettings::HyperlinkAuditingEnabled,
    QWebEngineSettings::AutoLoadIconsForPage,
    QWebEngineSettings::DnsPrefetchEnabled,
};

// The engine asks before leaving a page that wants to keep the user through
// javaScriptConfirm with this fixed text; silent mode must let the user leave.
QString leavePageQuestion()
{
    return QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

}

WebPage::WebPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            return;
        if (shownAs(info.url()) == m_loadingUrl)
            m_loadingUrl.clear();
        if (info.url() == m_deferredLink)
            QTimer::singleShot(0, this, &WebPage::openDeferredLink);
    });
}

void WebPage::setSilent(bool silent)
{
    m_silent = silent;
}

bool WebPage::isSilent() const
{
    return m_silent;
}

void WebPage::prepareFor(const QUrl &url)
{
    const bool inert = InertPage::covers(url);
    QWebEngineSettings *s = settings();
    for (const QWebEngineSettings::WebAttribute attribute : inertOff) {
        if (inert)
            s->setAttribute(attribute, false);
        else
            s->resetAttribute(attribute);
    }
}

bool WebPage::showsInertPage() const
{
    return InertPage::covers(committedUrl()) && !settings()->testAttribute(QWebEngineSettings::JavascriptEnabled);
}

QUrl WebPage::committedUrl() const
{
    const QWebEngineHistoryItem current = history()->currentItem();
    return current.isValid() ? shownAs(current.url()) : QUrl();
}

void WebPage::setInMemoryAddress(const QUrl &address)
{
    m_inMemoryAddress = address;
}

QUrl WebPage::shownAs(const QUrl &url) const
{
    // Only the program puts data: documents into the main frame; the engine refuses
    // them to a page.
    if (!m_inMemoryAddress.isEmpty() && url.scheme() == QLatin1String("data"))
        return m_inMemoryAddress;
    return url;
}

bool WebPage::acceptNavigationRequest(const QUrl &requested, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return true;
    const QUrl url = shownAs(requested);
    if (InertPage::covers(committedUrl()) && !acceptFromInertPage(url, type))
        return false;
    m_loadingUrl = url;
    prepareFor(url);
    emit mainFrameNavigationAccepted(url, type);
    return true;
}

bool WebPage::acceptFromInertPage(const QUrl &url, NavigationType type)
{
    switch (type) {
    case NavigationTypeTyped:
    case NavigationTypeBackForward:
    case NavigationTypeReload:
        return true; // asked for by the program
    case NavigationTypeRedirect:
        // The page in view stays until the next one arrives: a server's redirect of a
        // navigation under way belongs to that navigation, a refresh tag of the page does not.
        return !m_loadingUrl.isEmpty();
    case NavigationTypeLinkClicked:
        break;
    default:
        return false; // forms and whatever else the page starts by itself
    }
    // Scripts are switched on as soon as the next page is asked for, while this page is still
    // in view; a click from then on may come from its content and is refused.
    if (!showsInertPage() || !BrowserAddress::isShowable(url))
        return false;
    // The engine keeps a local page from opening anything, links included. A link the user
    // follows is opened by the program instead, once the refused attempt has ended, so the
    // page is not its origin and no referrer goes with it.
    m_deferredLink = url;
    QTimer::singleShot(deferredLinkTimeoutMs, this, &WebPage::openDeferredLink);
    return false;
}

void WebPage::openDeferredLink()
{
    if (m_deferredLink.isEmpty())
        return;
    load(std::exchange(m_deferredLink, QUrl()));
}

void WebPage::javaScriptAlert(const QUrl &securityOrigin, const QString &msg)
{
    if (!m_silent)
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool WebPage::javaScriptConfirm(const QUrl &securityOrigin, const QString &msg)
{
    if (m_silent)
        return msg == leavePageQuestion();
    return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool WebPage::javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                               QString *result)
{
    if (m_silent)
        return false;
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
    // Script errors of the pages browsed are no business of the program's log.
}
