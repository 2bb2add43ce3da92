// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/browserpane.h"
#include "widgets/icons.h"
#include "status/statusstrip.h"

#include "widgets/busystates.h"
#include "widgets/combopicks.h"
#include "browser/addressrules.h"
#include "browser/browser.h"
#include "view/messagepage.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QWidget>
#include <QTimer>

BrowserPane::BrowserPane(const Controls &controls, Browser *web1, BusyStates *busy, StatusStrip *status, const AppConfig &config,
                         const QString &folder, QWidget *window)
    : QObject(window)
    , Combo2(controls.Combo2)
    , CmdBack(controls.CmdBack)
    , CmdForward(controls.CmdForward)
    , CmdStop(controls.CmdStop)
    , CmdRefresh(controls.CmdRefresh)
    , CmdHome(controls.CmdHome)
    , cmdYahoo(controls.cmdYahoo)
    , CmdReg(controls.CmdReg)
    , CmdManuals(controls.CmdManuals)
    , ListSort2(controls.ListSort2)
    , txtBlank(controls.txtBlank)
    , MnuKBNews(controls.MnuKBNews)
    , MenuHelpAbout(controls.MenuHelpAbout)
    , MenuHelpContents(controls.MenuHelpContents)
    , MnuOptionsStartPage(controls.MnuOptionsStartPage)
    , MenuFilePrint(controls.MenuFilePrint)
    , MenuFileSaveAs(controls.MenuFileSaveAs)
    , MnuPageSetup(controls.MnuPageSetup)
    , MnuPrintPreview(controls.MnuPrintPreview)
    , MnuFind(controls.MnuFind)
    , MnuZoomIn(controls.MnuZoomIn)
    , MnuZoomOut(controls.MnuZoomOut)
    , MnuZoomReset(controls.MnuZoomReset)
    , Timer2(new QTimer(this))
    , m_web1(web1)
    , m_busy(busy)
    , m_status(status)
    , m_config(config)
    , m_folder(folder)
    , m_pagePath(MessagePage::pathIn(folder))
{
    CmdBack->setIcon(Icons::back());
    CmdForward->setIcon(Icons::forward());
    CmdStop->setIcon(Icons::stop());
    CmdRefresh->setIcon(Icons::refresh());
    CmdHome->setIcon(Icons::home());
    CmdManuals->setIcon(Icons::manuals());
    CmdReg->setIcon(Icons::registry());
    cmdYahoo->setIcon(Icons::group());
    CmdHome->setToolTip(m_config.clubHost);
    MnuOptionsStartPage->setText(QStringLiteral("&Start at ") + m_config.clubHost);
    m_web1->setMessagePagePath(m_pagePath);

    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(200);
    connect(Timer2, &QTimer::timeout, this, &BrowserPane::Timer2_Timer);
    txtBlank->installEventFilter(this);

    connect(web1, &Browser::beforeNavigate2, this, &BrowserPane::web1_BeforeNavigate2);
    connect(web1, &Browser::navigateComplete2, this, &BrowserPane::web1_NavigateComplete2);
    connect(web1, &Browser::documentComplete, this, &BrowserPane::web1_DocumentComplete);
    connect(web1, &Browser::downloadComplete, this, &BrowserPane::web1_DownloadComplete);
    connect(web1, &Browser::navigateError, this, &BrowserPane::web1_NavigateError);
    connect(web1, &Browser::statusTextChange, this, &BrowserPane::web1_StatusTextChange);
    connect(web1, &Browser::progressChange, this, &BrowserPane::web1_ProgressChange);
    connect(web1, &Browser::commandStateChange, this, &BrowserPane::web1_CommandStateChange);
    connect(web1, &Browser::newWindow2, this, &BrowserPane::web1_NewWindow2);
    connect(web1, &Browser::setSecureLockIcon, this, &BrowserPane::web1_SetSecureLockIcon);
    connectAddressBar();
    connectPageCommands();
}

void BrowserPane::enableWeb(bool on)
{
    if (on) {
        if (m_backWasOn)
            CmdBack->setEnabled(true);
        if (m_forwardWasOn)
            CmdForward->setEnabled(true);
        if (m_refreshWasOn)
            CmdRefresh->setEnabled(true);
    } else {
        m_backWasOn = m_backWasOn || CmdBack->isEnabled();
        m_forwardWasOn = m_forwardWasOn || CmdForward->isEnabled();
        m_refreshWasOn = m_refreshWasOn || CmdRefresh->isEnabled();
        for (QWidget *w : {CmdBack, CmdForward, CmdRefresh})
            w->setEnabled(false);
    }
    for (QWidget *w : std::initializer_list<QWidget *>{CmdHome, CmdManuals, CmdReg, Combo2})
        w->setEnabled(on);
}

void BrowserPane::backCommand()
{
    if (CmdBack->isEnabled())
        CmdBack_Click();
}

void BrowserPane::forwardCommand()
{
    if (CmdForward->isEnabled())
        CmdForward_Click();
}

void BrowserPane::refreshCommand()
{
    if (CmdRefresh->isEnabled())
        CmdRefresh_Click();
}

bool BrowserPane::isMessagePageUrl(const QString &url) const
{
    return MessagePage::isPageAddress(url, m_pagePath);
}

// ---- the focus hand-over ----

void BrowserPane::setPageFocusPending(bool pending)
{
    // Enabling restarts the interval, so the hand-over comes a full interval after its last enabling.
    if (pending)
        Timer2->start();
    else
        Timer2->stop();
}

void BrowserPane::Timer2_Timer()
{
    // txtBlank passes the focus on to the browser when it gets it.
    txtBlank->setFocus(Qt::OtherFocusReason);
    setPageFocusPending(false);
}

void BrowserPane::focusAddressBar()
{
    // A pending hand-over of the focus to the page would take it away again, so it is off.
    if (!Combo2->isEnabled() || !Combo2->isVisible())
        return;
    setPageFocusPending(false);
    Combo2->setFocus(Qt::ShortcutFocusReason);
    if (QLineEdit *edit = Combo2->lineEdit())
        edit->selectAll();
}

// ---- what the window asks of the pane ----

void BrowserPane::setPrintingEnabled(bool enabled)
{
    for (QAction *a : {MenuFilePrint, MnuPrintPreview, MnuPageSetup, MenuFileSaveAs})
        a->setEnabled(enabled);
}

void BrowserPane::activate()
{
    setPrintingEnabled(true);
    MnuFind->setEnabled(true);
}

void BrowserPane::openStartPage()
{
    m_web1->setRegisterAsBrowser(true);
    QCoreApplication::processEvents();
    if (MnuOptionsStartPage->isChecked())
        m_web1->navigate(m_config.clubStartPage());
    QCoreApplication::processEvents();
}

QStringList BrowserPane::addressEntries() const
{
    return comboEntries(Combo2);
}

void BrowserPane::loadAddresses(const QStringList &entries)
{
    Combo2->addItems(entries);
    Combo2->setCurrentIndex(-1);
}

void BrowserPane::replaceAddressList(const QStringList &entries)
{
    Combo2->clear();
    Combo2->addItems(entries);
    Combo2->setCurrentIndex(-1);
    Combo2->setEditText(QString());
}

bool BrowserPane::startPage() const
{
    return MnuOptionsStartPage->isChecked();
}

void BrowserPane::setStartPage(bool on)
{
    MnuOptionsStartPage->setChecked(on);
}

void BrowserPane::addFirstMessageNotice(const QString &notice)
{
    m_firstMessageNotice += notice;
}

QString BrowserPane::completedUrl() const
{
    return m_completedUrl;
}

// ---- the browser's notifications ----

void BrowserPane::web1_BeforeNavigate2(const QString &url)
{
    pendingUrl = url;
    CmdStop->setEnabled(true);
    statusOverride.clear();
    emit pageStarting(url);
}

void BrowserPane::web1_NavigateComplete2(const QString &url)
{
    if (url.contains(QLatin1Char('/')) && addressNavPending) {
        const QStringList entries = AddressRules::rebuildAddressList(comboEntries(Combo2), pendingUrl);
        // ListSort2 is the scratch copy, last entry first.
        ListSort2->clear();
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            ListSort2->addItem(*it);
        Combo2->clear();
        Combo2->addItems(entries);
    }
    // The bar is emptied, and away from the message page shows where the browser is.
    const bool messagePage = isMessagePageUrl(url);
    Combo2->setCurrentIndex(-1);
    Combo2->setEditText(messagePage ? QString() : m_web1->documentUrl());
    emit pageEntered(messagePage);
    emit captionChanged(AddressRules::captionFor(m_web1->documentTitle()));
    addressNavPending = false;
    m_busy->EnableOn();
}

void BrowserPane::web1_DocumentComplete(const QString &url)
{
    CmdStop->setEnabled(false);
    m_busy->EnableOn();
    m_completedUrl = url;
    if (isMessagePageUrl(m_completedUrl)) {
        setPageFocusPending(false);
        emit messagePageComplete();
        // Said once, over the first message shown, and kept until the user goes elsewhere.
        if (!m_firstMessageNotice.isEmpty()) {
            statusOverride += m_firstMessageNotice;
            m_status->showPageText(statusOverride);
            m_firstMessageNotice.clear();
        }
    } else {
        setPageFocusPending(true);
    }
}

void BrowserPane::web1_DownloadComplete()
{
    m_busy->EnableOn();
}

void BrowserPane::web1_NavigateError(const QString &url, const QString &reason)
{
    statusOverride = QStringLiteral("Unable to navigate to ") + url;
    if (!reason.isEmpty())
        statusOverride += QStringLiteral(" (") + reason + QLatin1Char(')');
}

void BrowserPane::web1_StatusTextChange(const QString &text)
{
    m_status->showPageText(statusOverride.isEmpty() ? QLatin1Char(' ') + text : statusOverride);
}

void BrowserPane::web1_ProgressChange(int progress, int progressMax)
{
    m_status->showPageProgress(progress, progressMax);
}

void BrowserPane::web1_CommandStateChange(int command, bool enable)
{
    if (command == Browser::NavigateForward)
        CmdForward->setEnabled(enable);
    else if (command == Browser::NavigateBack)
        CmdBack->setEnabled(enable);
}

void BrowserPane::web1_NewWindow2()
{
    setPageFocusPending(false);
}

void BrowserPane::web1_SetSecureLockIcon(int level)
{
    m_status->showSecure(level >= 1);
}
