// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/webenginebrowser.h"

#include "browser/addressrules.h"
#include "browser/browseraddress.h"
#include "browser/finddialog.h"
#include "browser/inertpage.h"
#include "browser/localpageinterceptor.h"
#include "browser/pageprinter.h"
#include "browser/webpage.h"

#include <QApplication>
#include <QAuthenticator>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShortcut>
#include <QTcpServer>
#include <QTcpSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// How long the end of a navigation waits for document.title before it is reported
// without one: only a renderer that died keeps the answer away, a busy one is slow.
constexpr int titleTimeoutMs = 10000;

}

WebEngineBrowser::WebEngineBrowser(QObject *parent)
    : Browser(parent)
    , m_interceptor(std::make_unique<LocalPageInterceptor>())
    , m_profile(std::make_unique<QWebEngineProfile>())
{
    m_profile->setUrlRequestInterceptor(m_interceptor.get());
    QWebEngineSettings *settings = m_profile->settings();
    // The message page declares no character set; it is always written in Windows-1252.
    settings->setDefaultTextEncoding(QStringLiteral("windows-1252"));
    // Local pages read no files and reach no address. Set for every page, not switched
    // with the next one: web pages need neither, and a value that never changes leaves no
    // moment, while one page gives way to the next, in which the local page still in view
    // has them. The price: a local page shows no pictures or style sheets from the files
    // beside it; a web archive (.mht) keeps its own.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    connect(m_profile.get(), &QWebEngineProfile::downloadRequested, this, &WebEngineBrowser::onDownloadRequested);

    m_page = std::make_unique<WebPage>(m_profile.get());
    m_view = new QWebEngineView;
    m_view->setPage(m_page.get());

    connect(m_page.get(), &WebPage::mainFrameNavigationAccepted, this, &WebEngineBrowser::onNavigationAccepted);
    connect(m_page.get(), &QWebEnginePage::loadProgress, this, &WebEngineBrowser::onLoadProgress);
    connect(m_page.get(), &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page.get(), &QWebEnginePage::urlChanged, this, &WebEngineBrowser::onUrlChanged);
    connect(m_page.get(), &QWebEnginePage::titleChanged, this, &WebEngineBrowser::onTitleChanged);
    connect(m_page.get(), &QWebEnginePage::linkHovered, this, &Browser::statusTextChange);
    connect(m_page.get(), &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest &request) { onNewWindowRequested(m_page.get(), request); });
    connect(m_page.get(), &QWebEnginePage::certificateError, this, [this](QWebEngineCertificateError error) {
        // Refused, as the engine does by itself when nobody answers; the window is told why.
        m_certificateError = tr("the site's certificate is not trusted: %1").arg(error.description());
        error.rejectCertificate();
    });
    answerProxyAuthentication(m_page.get());
    m_printer = std::make_unique<PagePrinter>(m_view, m_page.get());
    // The engine delivers keys to a child of the view, which may be replaced when the
    // page moves to another renderer; Ctrl+F is caught for all of them.
    qApp->installEventFilter(this);
}

WebEngineBrowser::~WebEngineBrowser()
{
    qApp->removeEventFilter(this);
    // Drops every callback still on its way; the page must go before its profile.
    ++m_generation;
    for (const QPointer<QWebEngineView> &popup : std::as_const(m_popups))
        delete popup.data();
    delete m_findDialog.data();
    delete m_proxyProbe.data(); // its page before the profile
    delete m_view.data();
    m_page.reset();
    m_profile.reset();
}

QWidget *WebEngineBrowser::widget()
{
    return m_view;
}

void WebEngineBrowser::navigate(const QString &address)
{
    const QUrl url = BrowserAddress::toUrl(address);
    if (url.isEmpty())
        return;
    if (!url.isValid() || !BrowserAddress::isShowable(url)) {
        // The engine would ignore it or hand it to another program; the window still
        // needs an end to the navigation.
        reportRefusedAddress(address);
        return;
    }
    m_page->prepareFor(url);
    m_proxyAsked = true;
    m_page->load(url);
}

void WebEngineBrowser::goBack()
{
    QWebEngineHistory *history = m_page->history();
    if (!history->canGoBack())
        return;
    m_page->prepareFor(history->backItem().url());
    history->back();
}

void WebEngineBrowser::goForward()
{
    QWebEngineHistory *history = m_page->history();
    if (!history->canGoForward())
        return;
    m_page->prepareFor(history->forwardItem().url());
    history->forward();
}

void WebEngineBrowser::refresh()
{
    m_page->triggerAction(QWebEnginePage::Reload);
}

void WebEngineBrowser::stop()
{
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::setSilent(bool silent)
{
    m_silent = silent;
    m_page->setSilent(silent);
    for (const QPointer<QWebEngineView> &popup : std::as_const(m_popups)) {
        if (popup)
            static_cast<WebPage *>(popup->page())->setSilent(silent);
    }
}

void WebEngineBrowser::setRegisterAsBrowser(bool on)
{
    m_registeredAsBrowser = on;
}

QString WebEngineBrowser::documentUrl() const
{
    return BrowserAddress::toText(m_page->committedUrl());
}

QString WebEngineBrowser::documentTitle() const
{
    return m_title;
}

void WebEngineBrowser::execWB(int command, int option)
{
    switch (command) {
    case Print:
        m_printer->print(option == PromptUser);
        break;
    case SaveAs:
        saveAs();
        break;
    case PrintPreview:
        m_printer->printPreview();
        break;
    case PageSetup:
        m_printer->pageSetup();
        break;
    default:
        break;
    }
}

void WebEngineBrowser::takeFocus()
{
    m_view->setFocus(Qt::OtherFocusReason);
}

void WebEngineBrowser::setMessagePagePath(const QString &path)
{
    m_rule.setPath(path);
}

void WebEngineBrowser::findText(const QString &text)
{
    const QPointer<WebEngineBrowser> self(this);
    const auto report = [self](const QWebEngineFindTextResult &result) {
        if (self)
            emit self->findTextResult(result.numberOfMatches(), result.activeMatch());
    };
    if (text == m_findText) {
        m_page->findText(text, {}, report);
        return;
    }
    // The engine's first find of a new text leaves a match above the part in view out of
    // view; a step on and a step back within the same find scroll to the first match.
    m_findText = text;
    m_page->findText(text);
    m_page->findText(text);
    m_page->findText(text, QWebEnginePage::FindBackward, report);
}

void WebEngineBrowser::showMessagePage(const QByteArray &page)
{
    const QUrl url = QUrl::fromLocalFile(m_rule.path());
    m_page->setInMemoryAddress(url);
    m_page->prepareFor(url);
    // A data: document is no local file, so the rules that keep a local page off the
    // network do not hold for it; its own policy, read before the body, forbids every fetch.
    static const QByteArray policy =
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">";
    m_page->setContent(policy + page, QStringLiteral("text/html"), url);
}

bool WebEngineBrowser::isSilent() const
{
    return m_silent;
}

bool WebEngineBrowser::registeredAsBrowser() const
{
    return m_registeredAsBrowser;
}

QWebEnginePage *WebEngineBrowser::page() const
{
    return m_page.get();
}

QList<QWebEngineView *> WebEngineBrowser::popups() const
{
    QList<QWebEngineView *> open;
    for (const QPointer<QWebEngineView> &popup : m_popups) {
        if (popup)
            open.append(popup.data());
    }
    return open;
}

FindDialog *WebEngineBrowser::findDialog() const
{
    return m_findDialog;
}

bool WebEngineBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && m_printer->isPrinting() && m_view && watched == m_view->window())
        m_printer->waitForPrinting();
    if (event->type() == QEvent::KeyPress && m_view && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *target = static_cast<QWidget *>(watched);
        if (key->key() == Qt::Key_F && key->modifiers() == Qt::ControlModifier
            && (target == m_view || m_view->isAncestorOf(target))) {
            showFindDialog();
            return true;
        }
    }
    return Browser::eventFilter(watched, event);
}

void WebEngineBrowser::onNavigationAccepted(const QUrl &url, QWebEnginePage::NavigationType type)
{
    // A redirect belongs to the navigation it redirects.
    if (type == QWebEnginePage::NavigationTypeRedirect && m_navigating)
        return;
    beginNavigation(url);
}

void WebEngineBrowser::onLoadProgress(int progress)
{
    if (m_navigating)
        emit progressChange(progress, 100);
}

void WebEngineBrowser::setZoomFactor(qreal factor)
{
    m_zoomFactor = factor;
    m_page->setZoomFactor(factor);
}

qreal WebEngineBrowser::zoomFactor() const
{
    return m_zoomFactor;
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    // The engine keeps a zoom per site; the user's zoom holds for every page.
    if (!qFuzzyCompare(m_page->zoomFactor(), m_zoomFactor))
        m_page->setZoomFactor(m_zoomFactor);
    updateHistoryState();
    if (!m_navigating || info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
        return;
    // A page the server answers with an error status still loads, but it is a failure.
    const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus
        || (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400);
    finishNavigation(m_generation, failed ? m_page->shownAs(info.url()) : QUrl());
}

void WebEngineBrowser::onUrlChanged(const QUrl &changed)
{
    const QUrl url = m_page->shownAs(changed);
    updateHistoryState();
    if (m_navigating || m_reported != m_generation || url == m_completedUrl)
        return;
    // A move inside the document: no load follows, so it is reported whole.
    beginNavigation(url);
    finishNavigation(m_generation, QUrl());
}

void WebEngineBrowser::onTitleChanged()
{
    if (m_navigating || m_reported != m_generation)
        return;
    const quint64 generation = m_generation;
    readTitle([this, generation](const QString &title) {
        if (generation == m_generation)
            m_title = title;
    });
}

void WebEngineBrowser::onNewWindowRequested(WebPage *opener, QWebEngineNewWindowRequest &request)
{
    if (InertPage::covers(opener->committedUrl())) {
        // An inert page opens no windows: a new window would not be inert. A link of it the
        // user follows opens here instead, as its other links do; anything else it asks for
        // is its content's doing (see WebPage).
        const QUrl url = request.requestedUrl();
        if (opener == m_page.get() && opener->showsInertPage() && BrowserAddress::isShowable(url)) {
            m_page->prepareFor(url);
            m_page->load(url);
        }
        return;
    }
    if (opener == m_page.get())
        emit newWindow2();
    openPopup(request);
}

void WebEngineBrowser::openPopup(QWebEngineNewWindowRequest &request)
{
    // A window of its own, closed by its frame, by the page (window.close()) or by Ctrl+W,
    // and with the browser at the latest.
    auto *view = new QWebEngineView;
    view->setAttribute(Qt::WA_DeleteOnClose);
    if (m_view)
        view->setWindowIcon(m_view->window()->windowIcon());
    auto *page = new WebPage(m_profile.get(), view);
    page->setSilent(m_silent);
    view->setPage(page);
    connect(page, &QWebEnginePage::newWindowRequested, this,
            [this, page](QWebEngineNewWindowRequest &next) { onNewWindowRequested(page, next); });
    connect(page, &QWebEnginePage::windowCloseRequested, view, &QWidget::close);
    answerProxyAuthentication(page);
    connect(page, &QWebEnginePage::titleChanged, view, &QWidget::setWindowTitle);
    auto *close = new QShortcut(QKeySequence::Close, view);
    connect(close, &QShortcut::activated, view, &QWidget::close);
    const QRect geometry = request.requestedGeometry();
    view->resize(geometry.isEmpty() ? QSize(800, 600) : geometry.size());
    m_popups.removeAll(nullptr);
    m_popups.append(view);
    request.openIn(page);
    view->show();
}

void WebEngineBrowser::answerProxyAuthentication(QWebEnginePage *page)
{
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl &, QAuthenticator *authenticator, const QString &proxyHost) {
                QString user;
                QString password;
                if (!proxyCredentials(proxyHost, &user, &password)) {
                    // Refused: a null authenticator cancels, and the page fails with the
                    // proxy's answer. One merely left as it came would send an empty user
                    // name and password, over and over.
                    *authenticator = QAuthenticator();
                    return;
                }
                authenticator->setUser(user);
                authenticator->setPassword(password);
            });
}

void WebEngineBrowser::proxyChanged()
{
    // The engine reads the application proxy again only when a request asks which proxy to
    // take, and that request still goes the old way. So a request of no consequence asks
    // first: to a port of this program's own on this machine, which is never proxied and
    // answers by closing; the pages after it go through the new proxy. Before the first
    // page nothing has asked yet, and the first one reads the setting as it is (as at
    // start-up, where no page is spent on it).
    if (!m_proxyAsked)
        return;
    delete m_proxyProbe.data();
    auto *probe = new QTcpServer(this);
    if (!probe->listen(QHostAddress::LocalHost)) {
        delete probe;
        return;
    }
    m_proxyProbe = probe;
    connect(probe, &QTcpServer::newConnection, probe, [probe] {
        while (QTcpSocket *socket = probe->nextPendingConnection()) {
            socket->abort();
            socket->deleteLater();
        }
    });
    auto *page = new QWebEnginePage(m_profile.get(), probe);
    connect(page, &QWebEnginePage::loadFinished, probe, &QObject::deleteLater);
    page->load(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe->serverPort())));
}

bool WebEngineBrowser::proxyChangePending() const
{
    return !m_proxyProbe.isNull();
}

void WebEngineBrowser::onDownloadRequested(QWebEngineDownloadRequest *download)
{
    if (download->isSavePageDownload()) {
        // Started by saveAs, under way already; the user hears of it only when it fails.
        connect(download, &QWebEngineDownloadRequest::stateChanged, this,
                [this, download](QWebEngineDownloadRequest::DownloadState state) {
                    if (state != QWebEngineDownloadRequest::DownloadInterrupted)
                        return;
                    reportSaveFailure(QDir(download->downloadDirectory()).filePath(download->downloadFileName()),
                                      download->interruptReasonString());
                });
        return;
    }
    if (download->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    QWidget *parent = m_view ? m_view->window() : nullptr;
    const QString path = QFileDialog::getSaveFileName(
        parent, tr("Save File"), QDir(download->downloadDirectory()).filePath(download->downloadFileName()));
    if (path.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    download->accept();
}

void WebEngineBrowser::beginNavigation(const QUrl &url)
{
    ++m_generation;
    m_navigating = true;
    m_certificateError.clear();
    m_findText.clear(); // a new document starts a new find
    const quint64 generation = m_generation;
    const QString text = BrowserAddress::toText(url);
    emit beforeNavigate2(text);
    if (generation == m_generation)
        emit statusTextChange(tr("Opening page %1...").arg(text));
}

void WebEngineBrowser::finishNavigation(quint64 generation, const QUrl &failedUrl)
{
    m_navigating = false;
    auto done = std::make_shared<bool>(false);
    auto complete = [this, generation, failedUrl, done](const QString &title) {
        if (*done)
            return;
        *done = true;
        emitCompletion(generation, failedUrl, title);
    };
    readTitle(complete);
    QTimer::singleShot(titleTimeoutMs, this, [complete] { complete(QString()); });
}

void WebEngineBrowser::readTitle(const std::function<void(const QString &)> &receiver)
{
    // QWebEnginePage::title() falls back to the address for a page without a title;
    // document.title does not. The application world also runs where the page's own
    // scripts are switched off.
    m_page->runJavaScript(QStringLiteral("document.title"), QWebEngineScript::ApplicationWorld,
                          [receiver](const QVariant &title) { receiver(title.toString()); });
}

void WebEngineBrowser::emitCompletion(quint64 generation, const QUrl &failedUrl, const QString &title)
{
    if (generation != m_generation || m_reported == generation)
        return;
    m_reported = generation;
    m_title = title;
    m_completedUrl = m_page->committedUrl();
    const bool failed = !failedUrl.isEmpty();
    updateHistoryState();
    updateLockLevel(failed);

    emitEnd(generation, failed ? BrowserAddress::toText(failedUrl) : QString(), BrowserAddress::toText(m_completedUrl));
}

void WebEngineBrowser::reportRefusedAddress(const QString &address)
{
    ++m_generation;
    m_navigating = false;
    m_certificateError.clear();
    const quint64 generation = m_generation;
    // Typed or pasted text may hold anything; what is reported fits on one line.
    const QString text = AddressRules::printable(address);
    emit beforeNavigate2(text);
    if (generation != m_generation)
        return;
    m_reported = generation;
    emitEnd(generation, text, documentUrl());
}

void WebEngineBrowser::emitEnd(quint64 generation, const QString &failedUrl, const QString &url)
{
    // Any handler may start the next navigation; nothing more is said about this one then.
    if (!failedUrl.isEmpty()) {
        emit navigateError(failedUrl, std::exchange(m_certificateError, QString()));
        if (generation != m_generation)
            return;
    }
    emit navigateComplete2(url);
    if (generation != m_generation)
        return;
    emit downloadComplete();
    if (generation != m_generation)
        return;
    emit documentComplete(url);
    if (generation != m_generation)
        return;
    emit statusTextChange(tr("Done"));
}

void WebEngineBrowser::updateHistoryState()
{
    // The first report gives both states, as the buttons start out enabled.
    const QWebEngineHistory *history = m_page->history();
    const bool back = history->canGoBack();
    const bool forward = history->canGoForward();
    if (back != m_canGoBack) {
        m_canGoBack = back;
        emit commandStateChange(NavigateBack, back);
    }
    if (forward != m_canGoForward) {
        m_canGoForward = forward;
        emit commandStateChange(NavigateForward, forward);
    }
}

void WebEngineBrowser::updateLockLevel(bool failed)
{
    // The engine loads an https page only over a connection whose certificate it trusts
    // (every certificate error is refused), so a loaded https page is a secure one.
    const bool secure = !failed && m_page->committedUrl().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const int level = secure ? 1 : 0;
    if (level != m_lockLevel) {
        m_lockLevel = level;
        emit setSecureLockIcon(level);
    }
}

void WebEngineBrowser::saveAs()
{
    const QString complete = tr("Web Page, complete (*.htm *.html)");
    const QString htmlOnly = tr("Web Page, HTML only (*.htm *.html)");
    const QString archive = tr("Web Archive, single file (*.mht *.mhtml)");
    // The message page is written again for every message shown: it is saved under a
    // name of its own, away from the data folder, so it cannot overwrite the page.
    const QUrl shown = m_page->committedUrl();
    QString name = m_rule.matches(shown) ? QStringLiteral("message.htm") : QFileInfo(shown.path()).fileName();
    if (name.isEmpty())
        name = QStringLiteral("page.htm");
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    // Saving a page complete fetches what it names again, past the inert page's guard, so
    // an inert page is saved as it stands.
    const QStringList filters =
        InertPage::covers(shown) ? QStringList{htmlOnly, archive} : QStringList{complete, htmlOnly, archive};
    QString filter = filters.first();
    const QString path = QFileDialog::getSaveFileName(m_view->window(), tr("Save As"), QDir(folder).filePath(name),
                                                      filters.join(QLatin1String(";;")), &filter);
    if (path.isEmpty())
        return;
    QWebEngineDownloadRequest::SavePageFormat format = QWebEngineDownloadRequest::CompleteHtmlSaveFormat;
    if (filter == htmlOnly)
        format = QWebEngineDownloadRequest::SingleHtmlSaveFormat;
    else if (filter == archive)
        format = QWebEngineDownloadRequest::MimeHtmlSaveFormat;
    // The engine drops a save into a folder it cannot write without a word.
    const QFileInfo folderInfo(QFileInfo(path).absolutePath());
    if (!folderInfo.isDir() || !folderInfo.isWritable()) {
        reportSaveFailure(path, tr("The folder %1 does not exist or cannot be written to.")
                                    .arg(QDir::toNativeSeparators(folderInfo.filePath())));
        return;
    }
    m_page->save(path, format);
}

void WebEngineBrowser::reportSaveFailure(const QString &path, const QString &reason)
{
    QMessageBox::warning(m_view ? m_view->window() : nullptr, tr("Save As"),
                         tr("The page could not be saved as %1.\n\n%2").arg(QDir::toNativeSeparators(path), reason));
}

void WebEngineBrowser::showFindDialog()
{
    if (!m_findDialog)
        m_findDialog = new FindDialog(m_page.get(), m_view);
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

