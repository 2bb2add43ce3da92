// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// What the window requires of its embedded browser: the operations it calls and the ten
// notifications it handles. The real implementation wraps Qt WebEngine; tests use a fake.
//
// Order for one navigation: beforeNavigate2 first; then any number of statusTextChange
// and progressChange; navigateError when loading fails; navigateComplete2,
// downloadComplete and documentComplete when loading ends.
class Browser : public QObject
{
    Q_OBJECT
public:
    // ExecWB command numbers and options.
    enum Command { SaveAs = 4, Print = 6, PrintPreview = 7, PageSetup = 8 };
    enum CommandOption { DoDefault = 0, PromptUser = 1 };
    // CommandStateChange command numbers.
    enum { NavigateForward = 1, NavigateBack = 2 };

    using QObject::QObject;
    ~Browser() override = default;

    virtual QWidget *widget() = 0;

    // An http(s) or ftp URL, an address without scheme ("www.host"), or a local file path.
    virtual void navigate(const QString &address) = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void refresh() = 0;
    virtual void stop() = 0;
    virtual void setSilent(bool silent) = 0;
    virtual void setRegisterAsBrowser(bool on) = 0;
    virtual QString documentUrl() const = 0;
    // document.title of the current page; empty when the page has none.
    virtual QString documentTitle() const = 0;
    virtual void execWB(int command, int option) = 0;
    virtual void takeFocus() = 0;
    // The program's own message page. Like every local page, it is shown without scripts and
    // nothing it references is fetched; a local file named tempfile.htm is taken for the
    // message page even before this is called.
    virtual void setMessagePagePath(const QString &path) = 0;
    // Shows the message page from memory, for a data folder where its file cannot be
    // written; the page is treated and reported as that file all the same.
    virtual void showMessagePage(const QByteArray &page) = 0;
    // Finds `text` in the page the way the engine's own find does (letter case ignored),
    // highlighting every occurrence and moving to the next one each time it is asked again
    // for the same text. The document is not changed. findTextResult tells the outcome.
    virtual void findText(const QString &text) = 0;
    // The size pages are drawn at, 1.0 as designed; kept from page to page.
    virtual void setZoomFactor(qreal factor) = 0;
    virtual qreal zoomFactor() const = 0;

    // The application proxy has changed (see ProxyOptions): the pages from now on go
    // through the new one.
    virtual void proxyChanged() {}
    // Where the browser gets the user name and password when the proxy its pages go through
    // asks for them: fills them in and returns true, or returns false to give none, and
    // the page fails.
    using ProxyCredentials = std::function<bool(const QString &proxyHost, QString *user, QString *password)>;
    void setProxyCredentials(ProxyCredentials credentials);
    bool proxyCredentials(const QString &proxyHost, QString *user, QString *password) const;

signals:
    void beforeNavigate2(const QString &url);
    void navigateComplete2(const QString &url);
    void documentComplete(const QString &url);
    void downloadComplete();
    // `reason` is empty unless the engine refused the page for a reason the user should
    // know (an untrusted certificate).
    void navigateError(const QString &url, const QString &reason);
    void statusTextChange(const QString &text);
    void progressChange(int progress, int progressMax);
    void commandStateChange(int command, bool enable);
    void newWindow2();
    void setSecureLockIcon(int level);
    // How many occurrences a findText found, and which of them (from 1) is the current one.
    void findTextResult(int matches, int active);

private:
    ProxyCredentials m_proxyCredentials;
};
