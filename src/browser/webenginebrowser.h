// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browser/browser.h"
#include "browser/messagepagerule.h"

#include <QList>
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>

#include <functional>
#include <memory>
#include <optional>

class FindDialog;
class LocalPageInterceptor;
class PagePrinter;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;
class WebPage;

// The embedded browser on Qt WebEngine. It has its own off-the-record profile, so nothing
// is shared with other browsers in the process and nothing is written to disk.
//
// Each navigation the page accepts starts with beforeNavigate2; the load's progress
// follows; when loading ends the document's title is read and navigateError (for a failed
// load) and the three completion notifications follow. A navigation overtaken by the next
// one gets no completion of its own: everything still pending for it is dropped.
// Stopping a load ends it on the document in view, without an error. Same-document moves
// (a fragment link, history.pushState) are reported as a whole sequence when the address
// changes. Pop-ups open in windows of their own, outside these notifications; the message
// page opens none. URLs are reported in their ASCII form.
// Printing, print preview and page setup went to PagePrinter.
class WebEngineBrowser final : public Browser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineBrowser)
public:
    explicit WebEngineBrowser(QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    QWidget *widget() override;
    void navigate(const QString &address) override;
    void goBack() override;
    void goForward() override;
    void refresh() override;
    void stop() override;
    void setSilent(bool silent) override;
    void setRegisterAsBrowser(bool on) override;
    QString documentUrl() const override;
    QString documentTitle() const override;
    void execWB(int command, int option) override;
    void takeFocus() override;
    void setMessagePagePath(const QString &path) override;
    void showMessagePage(const QByteArray &page) override;
    void findText(const QString &text) override;
    void setZoomFactor(qreal factor) override;
    qreal zoomFactor() const override;
    void proxyChanged() override;

    bool isSilent() const;
    bool registeredAsBrowser() const;
    QWebEnginePage *page() const;
    // Pop-up windows opened by pages and still open.
    QList<QWebEngineView *> popups() const;
    // The find-on-page dialog once Ctrl+F has opened it.
    FindDialog *findDialog() const;
    // Whether the engine has yet to be made to take the proxy last set.
    bool proxyChangePending() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onNavigationAccepted(const QUrl &url, QWebEnginePage::NavigationType type);
    void onLoadProgress(int progress);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onUrlChanged(const QUrl &url);
    void onTitleChanged();
    void onNewWindowRequested(WebPage *opener, QWebEngineNewWindowRequest &request);
    void openPopup(QWebEngineNewWindowRequest &request);
    void onDownloadRequested(QWebEngineDownloadRequest *download);
    // Every page of the browser answers its proxy's request for credentials the same way.
    void answerProxyAuthentication(QWebEnginePage *page);

    void beginNavigation(const QUrl &url);
    // Reads document.title, then reports the end of navigation `generation`; a failed load
    // names the address that failed.
    void finishNavigation(quint64 generation, const QUrl &failedUrl);
    void readTitle(const std::function<void(const QString &)> &receiver);
    void emitCompletion(quint64 generation, const QUrl &failedUrl, const QString &title);
    void reportRefusedAddress(const QString &address);
    // navigateError when `failedUrl` is set, then the three completion notifications.
    void emitEnd(quint64 generation, const QString &failedUrl, const QString &url);
    void updateHistoryState();
    void updateLockLevel(bool failed);

    void saveAs();
    void reportSaveFailure(const QString &path, const QString &reason);
    void showFindDialog();

    MessagePageRule m_rule;
    std::unique_ptr<LocalPageInterceptor> m_interceptor;
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<WebPage> m_page;
    QPointer<QWebEngineView> m_view;
    QList<QPointer<QWebEngineView>> m_popups;
    QPointer<FindDialog> m_findDialog;
    QPointer<QObject> m_proxyProbe; // the request that makes the engine take a new proxy
    bool m_proxyAsked = false;      // a page was asked for: the engine has read the proxy
    QString m_findText; // the text findText looked for last
    qreal m_zoomFactor = 1.0;
    std::unique_ptr<PagePrinter> m_printer;

    quint64 m_generation = 0; // counts navigations; pending work for an older one is dropped
    quint64 m_reported = 0;   // the last navigation whose end has been reported
    bool m_navigating = false;
    QUrl m_completedUrl;
    QString m_title;
    std::optional<bool> m_canGoBack; // unknown until the first navigation
    std::optional<bool> m_canGoForward;
    QString m_certificateError; // why the engine refused the page being loaded
    int m_lockLevel = -1;
    bool m_silent = false;
    bool m_registeredAsBrowser = false;
};
