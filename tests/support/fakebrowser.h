// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browser/browser.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <utility>

// A scripted browser for window tests. It records every call and emits the navigation
// notifications when the test says so, each sequence in the order the real browser keeps:
// beforeNavigate2, progress, navigateError for a failure, navigateComplete2,
// downloadComplete, documentComplete. navigate() can also complete by itself.
class FakeBrowser final : public Browser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeBrowser)
public:
    enum class AutoComplete {
        Off,       // navigate() only records the address
        Immediate, // navigate() emits the whole sequence before it returns
        Queued,    // the sequence follows from the event loop, as with the real browser
    };

    explicit FakeBrowser(QObject *parent = nullptr);
    ~FakeBrowser() override;

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
    // Recorded as a navigation to the message page's path, with the page kept.
    void showMessagePage(const QByteArray &page) override;
    QByteArray shownPage() const;
    // Recorded; answered with the matches set for the text, the next one each time.
    void findText(const QString &text) override;
    void setZoomFactor(qreal factor) override { m_zoomFactor = factor; }
    qreal zoomFactor() const override { return m_zoomFactor; }
    QStringList findTexts() const;
    void setMatches(const QString &text, int matches);

    // The URL the real browser reports for an address handed to navigate().
    static QString urlFor(const QString &address);

    // What the window asked for.
    QStringList navigations() const; // the addresses, as given
    int backCount() const;
    int forwardCount() const;
    int refreshCount() const;
    int stopCount() const;
    int takeFocusCount() const;
    QList<std::pair<int, int>> execWBCalls() const; // (command, option)
    bool silent() const;
    bool registeredAsBrowser() const;
    QString messagePagePath() const;
    void clearCalls();

    // What the browser shows and says.
    void setDocumentUrl(const QString &url);
    void setDocumentTitle(const QString &title);
    // The title a navigation to `url` ends with when navigate() completes it by itself.
    void setTitleFor(const QString &url, const QString &title);
    void setAutoComplete(AutoComplete mode);
    AutoComplete autoComplete() const;

    // A whole successful navigation: the document becomes `url` with `title`.
    void completeNavigation(const QString &url, const QString &title = QString());
    // A whole failed navigation: as completeNavigation, with navigateError before the end.
    void failNavigation(const QString &url, const QString &title = QString());
    // The two halves, for tests that act in between.
    void startNavigation(const QString &url);
    void finishNavigation(const QString &url, const QString &title = QString(), bool failed = false);
    // Emits commandStateChange for each button whose availability changes.
    void setHistoryState(bool canGoBack, bool canGoForward);

private:
    QPointer<QWidget> m_widget;
    QStringList m_navigations;
    QList<std::pair<int, int>> m_execWB;
    QHash<QString, QString> m_titles;
    QString m_documentUrl;
    QString m_documentTitle;
    QString m_messagePagePath;
    QByteArray m_shownPage;
    QStringList m_findTexts;
    QHash<QString, int> m_matches;
    int m_activeMatch = 0;
    qreal m_zoomFactor = 1.0;
    AutoComplete m_autoComplete = AutoComplete::Off;
    int m_back = 0;
    int m_forward = 0;
    int m_refresh = 0;
    int m_stop = 0;
    int m_takeFocus = 0;
    bool m_silent = false;
    bool m_registered = false;
    bool m_canGoBack = false;
    bool m_canGoForward = false;
};
