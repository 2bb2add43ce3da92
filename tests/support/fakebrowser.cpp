// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakebrowser.h"

#include "browser/addressrules.h"
#include "browser/browseraddress.h"

#include <QTimer>
#include <QWidget>

FakeBrowser::FakeBrowser(QObject *parent)
    : Browser(parent)
    , m_widget(new QWidget)
{
    m_widget->setObjectName(QStringLiteral("FakeBrowserView"));
    m_widget->setFocusPolicy(Qt::StrongFocus);
}

FakeBrowser::~FakeBrowser()
{
    // Once the window has taken the widget into its layout, the window deletes it.
    if (m_widget && !m_widget->parent())
        delete m_widget.data();
}

QWidget *FakeBrowser::widget()
{
    return m_widget;
}

void FakeBrowser::navigate(const QString &address)
{
    m_navigations.append(address);
    const QString url = urlFor(address);
    switch (m_autoComplete) {
    case AutoComplete::Off:
        break;
    case AutoComplete::Immediate:
        completeNavigation(url, m_titles.value(url));
        break;
    case AutoComplete::Queued:
        QTimer::singleShot(0, this, [this, url] { completeNavigation(url, m_titles.value(url)); });
        break;
    }
}

void FakeBrowser::showMessagePage(const QByteArray &page)
{
    m_shownPage = page;
    navigate(m_messagePagePath);
}

QByteArray FakeBrowser::shownPage() const
{
    return m_shownPage;
}

void FakeBrowser::findText(const QString &text)
{
    const bool again = !m_findTexts.isEmpty() && m_findTexts.last() == text;
    m_findTexts << text;
    const int matches = m_matches.value(text);
    m_activeMatch = matches == 0 ? 0 : again ? m_activeMatch % matches + 1 : 1;
    emit findTextResult(matches, m_activeMatch);
}

QStringList FakeBrowser::findTexts() const
{
    return m_findTexts;
}

void FakeBrowser::setMatches(const QString &text, int matches)
{
    m_matches.insert(text, matches);
}

void FakeBrowser::goBack()
{
    ++m_back;
}

void FakeBrowser::goForward()
{
    ++m_forward;
}

void FakeBrowser::refresh()
{
    ++m_refresh;
}

void FakeBrowser::stop()
{
    ++m_stop;
}

void FakeBrowser::setSilent(bool silent)
{
    m_silent = silent;
}

void FakeBrowser::setRegisterAsBrowser(bool on)
{
    m_registered = on;
}

QString FakeBrowser::documentUrl() const
{
    return m_documentUrl;
}

QString FakeBrowser::documentTitle() const
{
    return m_documentTitle;
}

void FakeBrowser::execWB(int command, int option)
{
    m_execWB.append({command, option});
}

void FakeBrowser::takeFocus()
{
    ++m_takeFocus;
    if (m_widget)
        m_widget->setFocus(Qt::OtherFocusReason);
}

void FakeBrowser::setMessagePagePath(const QString &path)
{
    m_messagePagePath = path;
}

QString FakeBrowser::urlFor(const QString &address)
{
    const QUrl url = BrowserAddress::toUrl(address);
    return url.isValid() && BrowserAddress::isShowable(url) ? BrowserAddress::toText(url) : AddressRules::printable(address);
}

QStringList FakeBrowser::navigations() const
{
    return m_navigations;
}

int FakeBrowser::backCount() const
{
    return m_back;
}

int FakeBrowser::forwardCount() const
{
    return m_forward;
}

int FakeBrowser::refreshCount() const
{
    return m_refresh;
}

int FakeBrowser::stopCount() const
{
    return m_stop;
}

int FakeBrowser::takeFocusCount() const
{
    return m_takeFocus;
}

QList<std::pair<int, int>> FakeBrowser::execWBCalls() const
{
    return m_execWB;
}

bool FakeBrowser::silent() const
{
    return m_silent;
}

bool FakeBrowser::registeredAsBrowser() const
{
    return m_registered;
}

QString FakeBrowser::messagePagePath() const
{
    return m_messagePagePath;
}

void FakeBrowser::clearCalls()
{
    m_navigations.clear();
    m_execWB.clear();
    m_back = m_forward = m_refresh = m_stop = m_takeFocus = 0;
}

void FakeBrowser::setDocumentUrl(const QString &url)
{
    m_documentUrl = url;
}

void FakeBrowser::setDocumentTitle(const QString &title)
{
    m_documentTitle = title;
}

void FakeBrowser::setTitleFor(const QString &url, const QString &title)
{
    m_titles.insert(url, title);
}

void FakeBrowser::setAutoComplete(AutoComplete mode)
{
    m_autoComplete = mode;
}

FakeBrowser::AutoComplete FakeBrowser::autoComplete() const
{
    return m_autoComplete;
}

void FakeBrowser::completeNavigation(const QString &url, const QString &title)
{
    startNavigation(url);
    finishNavigation(url, title, false);
}

void FakeBrowser::failNavigation(const QString &url, const QString &title)
{
    startNavigation(url);
    finishNavigation(url, title, true);
}

void FakeBrowser::startNavigation(const QString &url)
{
    emit beforeNavigate2(url);
    emit progressChange(0, 100);
}

void FakeBrowser::finishNavigation(const QString &url, const QString &title, bool failed)
{
    emit progressChange(100, 100);
    m_documentUrl = url;
    m_documentTitle = title;
    if (failed)
        emit navigateError(url, QString());
    emit navigateComplete2(url);
    emit downloadComplete();
    emit documentComplete(url);
}

void FakeBrowser::setHistoryState(bool canGoBack, bool canGoForward)
{
    if (canGoBack != m_canGoBack) {
        m_canGoBack = canGoBack;
        emit commandStateChange(NavigateBack, canGoBack);
    }
    if (canGoForward != m_canGoForward) {
        m_canGoForward = canGoForward;
        emit commandStateChange(NavigateForward, canGoForward);
    }
}
