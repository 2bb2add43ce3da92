// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Browser;
class BusyStates;
class StatusStrip;
class QAction;
class QComboBox;
class QListWidget;
class QTimer;
class QToolButton;
class QWidget;

// The browser pane: the address bar and its buttons (addressbar.cpp), the page commands:
// print, save, find, zoom (pagecommands.cpp), and here the browser's ten notifications,
// told on the status strip, the fixed pages, and the hand-over of the focus to the page
// (Timer2).
class BrowserPane final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrowserPane)

public:
    struct Controls
    {
        QComboBox *Combo2;
        QToolButton *CmdBack;
        QToolButton *CmdForward;
        QToolButton *CmdStop;
        QToolButton *CmdRefresh;
        QToolButton *CmdHome;
        QToolButton *cmdYahoo;
        QToolButton *CmdReg;
        QToolButton *CmdManuals;
        QListWidget *ListSort2;
        QWidget *txtBlank;
        QAction *MnuKBNews;
        QAction *MenuHelpAbout;
        QAction *MenuHelpContents;
        QAction *MnuOptionsStartPage;
        QAction *MenuFilePrint;
        QAction *MenuFileSaveAs;
        QAction *MnuPageSetup;
        QAction *MnuPrintPreview;
        QAction *MnuFind;
        QAction *MnuZoomIn;
        QAction *MnuZoomOut;
        QAction *MnuZoomReset;
    };

    BrowserPane(const Controls &controls, Browser *web1, BusyStates *busy, StatusStrip *status, const AppConfig &config, const QString &folder,
                QWidget *window);

    // Timer2: the focus goes to the page shortly, unless this is called with false first.
    void setPageFocusPending(bool pending);
    // Print, preview, page set-up and save: off while a search runs.
    void setPrintingEnabled(bool enabled);
    // The busy state of the browser's controls; back, forward and refresh come back only
    // if they were on.
    void enableWeb(bool on);
    // The keys' commands: each runs as its button does, and only while the button is on.
    void backCommand();
    void forwardCommand();
    void refreshCommand();
    // Start-up: every page command on, the browser registered, the start page if asked for.
    void activate();
    void openStartPage();

    QStringList addressEntries() const;
    void loadAddresses(const QStringList &entries);
    void replaceAddressList(const QStringList &entries);
    bool startPage() const;
    void setStartPage(bool on);

    // Said over the first message shown, and kept until the user goes elsewhere.
    void addFirstMessageNotice(const QString &notice);
    // Ctrl+L: into the address bar with its text selected.
    void focusAddressBar();
    QString completedUrl() const;
    // The pages' zoom in percent, kept between runs.
    int zoomPercent() const;
    void setZoomPercent(int percent);

signals:
    // A navigation begins (BeforeNavigate2).
    void pageStarting(const QString &url);
    // A page was entered (NavigateComplete2); true on the message page.
    void pageEntered(bool messagePage);
    // The message page finished loading (DocumentComplete).
    void messagePageComplete();
    // The window's caption for the page entered.
    void captionChanged(const QString &caption);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isMessagePageUrl(const QString &url) const;
    void web1_BeforeNavigate2(const QString &url);
    void web1_NavigateComplete2(const QString &url);
    void web1_DocumentComplete(const QString &url);
    void web1_DownloadComplete();
    void web1_NavigateError(const QString &url, const QString &reason);
    void web1_StatusTextChange(const QString &text);
    void web1_ProgressChange(int progress, int progressMax);
    void web1_CommandStateChange(int command, bool enable);
    void web1_NewWindow2();
    void web1_SetSecureLockIcon(int level);

    void connectAddressBar();
    void Combo2_Click();
    void Combo2_KeyPress(int keyAscii);
    void CmdBack_Click();
    void CmdForward_Click();
    void CmdStop_Click();
    void CmdRefresh_Click();
    void CmdHome_Click();
    void cmdYahoo_Click();
    void CmdReg_Click();
    void CmdManuals_Click();
    void MnuKBNews_Click();
    void MenuHelpAbout_Click();
    void MenuHelpContents_Click();
    void MnuOptionsStartPage_Click();
    struct FixedPage
    {
        QString address;
        bool addressNavPending; // recorded in the address list once loaded
        bool enableOff;
        bool timer2;            // hands the focus to the page afterwards
    };
    void openFixedPage(const FixedPage &page);

    void connectPageCommands();
    void MenuFilePrint_Click();
    void MenuFileSaveAs_Click();
    void MnuPageSetup_Click();
    void MnuPrintPreview_Click();
    void MnuFind_Click();
    void MnuZoomIn_Click();
    void MnuZoomOut_Click();
    void MnuZoomReset_Click();
    void Timer2_Timer();

    QComboBox *Combo2;
    QToolButton *CmdBack;
    QToolButton *CmdForward;
    QToolButton *CmdStop;
    QToolButton *CmdRefresh;
    QToolButton *CmdHome;
    QToolButton *cmdYahoo;
    QToolButton *CmdReg;
    QToolButton *CmdManuals;
    QListWidget *ListSort2;
    QWidget *txtBlank;
    QAction *MnuKBNews;
    QAction *MenuHelpAbout;
    QAction *MenuHelpContents;
    QAction *MnuOptionsStartPage;
    QAction *MenuFilePrint;
    QAction *MenuFileSaveAs;
    QAction *MnuPageSetup;
    QAction *MnuPrintPreview;
    QAction *MnuFind;
    QAction *MnuZoomIn;
    QAction *MnuZoomOut;
    QAction *MnuZoomReset;
    QTimer *Timer2;
    Browser *m_web1;
    BusyStates *m_busy;
    StatusStrip *m_status;
    bool m_backWasOn = false;
    bool m_forwardWasOn = false;
    bool m_refreshWasOn = false;
    AppConfig m_config;
    QString m_folder;
    QString m_pagePath;

    QString pendingUrl;
    QString m_completedUrl;
    QString statusOverride;
    bool addressNavPending = false;
    QString m_firstMessageNotice; // waiting for the first message shown
};
