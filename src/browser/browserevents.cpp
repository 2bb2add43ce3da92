#include "app/form1.h"
#include "ui_form1.h"

#include "browser/addressrules.h"
#include "browser/browser.h"

#include <QDir>
#include <QTimer>
#include <QUrl>

void Form1::connectBrowsing()
{
    Browser *const web1 = m_web1;
    connect(web1, &Browser::beforeNavigate2, this, &Form1::web1_BeforeNavigate2);
    connect(web1, &Browser::navigateComplete2, this, &Form1::web1_NavigateComplete2);
    connect(web1, &Browser::documentComplete, this, &Form1::web1_DocumentComplete);
    connect(web1, &Browser::downloadComplete, this, &Form1::web1_DownloadComplete);
    connect(web1, &Browser::navigateError, this, &Form1::web1_NavigateError);
    connect(web1, &Browser::statusTextChange, this, &Form1::web1_StatusTextChange);
    connect(web1, &Browser::progressChange, this, &Form1::web1_ProgressChange);
    connect(web1, &Browser::commandStateChange, this, &Form1::web1_CommandStateChange);
    connect(web1, &Browser::newWindow2, this, &Form1::web1_NewWindow2);
    connect(web1, &Browser::setSecureLockIcon, this, &Form1::web1_SetSecureLockIcon);
    connectAddressBar();
    connectPageCommands();
}

bool Form1::isMessagePageUrl(const QString &url) const
{
    const QUrl parsed(url);
    return parsed.isLocalFile() && QDir::cleanPath(parsed.toLocalFile()) == QDir::cleanPath(messagePagePath());
}

void Form1::web1_BeforeNavigate2(const QString &url)
{
    ui->CmdMarkDelete->setEnabled(false);
    m_state.pendingUrl = url;
    ui->CmdStop->setEnabled(true);
    m_state.statusOverride.clear();
    searchPageStarting(url);
}

void Form1::web1_NavigateComplete2(const QString &url)
{
    QComboBox *const combo2 = ui->Combo2;
    ui->MenuViewOriginal->setEnabled(false);
    if (url.contains(QLatin1Char('/')) && m_state.addressNavPending) {
        const QStringList entries = AddressRules::rebuildAddressList(comboEntries(combo2), m_state.pendingUrl);
        // ListSort2 is the scratch copy, last entry first.
        ui->ListSort2->clear();
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            ui->ListSort2->addItem(*it);
        combo2->clear();
        combo2->addItems(entries);
    }
    // The bar is emptied, and away from the message page shows where the browser is.
    const bool messagePage = isMessagePageUrl(url);
    combo2->setCurrentIndex(-1);
    combo2->setEditText(messagePage ? QString() : m_web1->documentUrl());
    if (messagePage) {
        ui->MenuViewOriginal->setEnabled(true);
        ui->CmdMarkDelete->setEnabled(true);
    }
    setWindowTitle(AddressRules::captionFor(m_web1->documentTitle()));
    update();
    m_state.addressNavPending = false;
    EnableOn();
}

void Form1::web1_DocumentComplete(const QString &url)
{
    ui->CmdStop->setEnabled(false);
    EnableOn();
    m_state.completedUrl = url;
    if (isMessagePageUrl(m_state.completedUrl)) {
        setTimerEnabled(Timer2, false);
        ui->List1->setFocus(Qt::OtherFocusReason);
        highlightSearchHit();
        // Said once, over the first message shown, and kept until the user goes elsewhere.
        if (!m_readOnlyNotice.isEmpty()) {
            m_state.statusOverride = m_readOnlyNotice;
            ui->LblStBar1->setText(m_readOnlyNotice);
            ui->LblStBar1->setCursorPosition(0);
            m_readOnlyNotice.clear();
        }
    } else {
        setTimerEnabled(Timer2, true);
    }
}

void Form1::web1_DownloadComplete()
{
    EnableOn();
}

void Form1::web1_NavigateError(const QString &url, const QString &reason)
{
    m_state.statusOverride = QStringLiteral("Unable to navigate to ") + url;
    if (!reason.isEmpty())
        m_state.statusOverride += QStringLiteral(" (") + reason + QLatin1Char(')');
}

void Form1::web1_StatusTextChange(const QString &text)
{
    if (!m_state.statusOverride.isEmpty())
        ui->LblStBar1->setText(m_state.statusOverride);
    else
        ui->LblStBar1->setText(QLatin1Char(' ') + text);
    // A text longer than the box shows its beginning.
    ui->LblStBar1->setCursorPosition(0);
}

void Form1::web1_ProgressChange(int progress, int progressMax)
{
    // The bar refuses a maximum at or below its minimum and a value beyond its maximum;
    // each refusal skips only that step.
    QProgressBar *const bar = ui->PBar1;
    if (progress > 0) {
        if (progressMax > bar->minimum())
            bar->setMaximum(progressMax);
        if (progress <= bar->maximum())
            bar->setValue(progress);
    }
    if (progress >= progressMax)
        bar->setValue(0);
}

void Form1::web1_CommandStateChange(int command, bool enable)
{
    if (command == Browser::NavigateForward)
        ui->CmdForward->setEnabled(enable);
    else if (command == Browser::NavigateBack)
        ui->CmdBack->setEnabled(enable);
}

void Form1::web1_NewWindow2()
{
    setTimerEnabled(Timer2, false);
}

void Form1::web1_SetSecureLockIcon(int level)
{
    ui->PicLock->setVisible(level >= 1);
}
