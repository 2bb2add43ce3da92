// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>
#include <QWebEnginePage>

// The page policy: what may be shown how. An inert page (see InertPage) gets no scripts,
// opens no windows and may not navigate away on its own; the links the user follows on it
// are opened by the program. Other pages browse normally. In silent mode the page shows no
// dialogs of its own.
class WebPage final : public QWebEnginePage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebPage)
public:
    explicit WebPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    void setSilent(bool silent);
    bool isSilent() const;
    // Sets the settings for a document at `url`, inert or not; called before every load the
    // program starts and for every main-frame navigation the page accepts.
    void prepareFor(const QUrl &url);
    // True while an inert page is in view with its scripts still off: whatever it asks for
    // then comes from the user, not from its content.
    bool showsInertPage() const;
    // The address of the document in view. url() names a pending navigation's target
    // as soon as it is asked for, before anything of it is shown.
    QUrl committedUrl() const;
    // The message page shown from memory has a data: address; it stands for the file at
    // `address` in everything the page decides and reports.
    void setInMemoryAddress(const QUrl &address);
    QUrl shownAs(const QUrl &url) const;

signals:
    // A main-frame navigation to a new document has been allowed.
    void mainFrameNavigationAccepted(const QUrl &url, QWebEnginePage::NavigationType type);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    bool acceptFromInertPage(const QUrl &url, NavigationType type);
    void openDeferredLink();

    QUrl m_inMemoryAddress;
    QUrl m_deferredLink;
    QUrl m_loadingUrl; // where the main-frame navigation accepted last goes, until it ends
    bool m_silent = false;
};
