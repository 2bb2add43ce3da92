// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/browserpane.h"

#include "widgets/busystates.h"
#include "widgets/combopicks.h"
#include "widgets/menuwiring.h"

#include "browser/addressrules.h"
#include "browser/browser.h"

#include <QToolButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kEnterKey = 13;

}

void BrowserPane::connectAddressBar()
{
    // An address opens exactly as typed, and once.
    connect(connectTypedBox(Combo2, this), &ComboPicks::picked, this, &BrowserPane::Combo2_Click);

    const struct
    {
        QAbstractButton *button;
        void (BrowserPane::*handler)();
    } buttons[] = {
        {CmdBack, &BrowserPane::CmdBack_Click},       {CmdForward, &BrowserPane::CmdForward_Click},
        {CmdStop, &BrowserPane::CmdStop_Click},       {CmdRefresh, &BrowserPane::CmdRefresh_Click},
        {CmdHome, &BrowserPane::CmdHome_Click},       {cmdYahoo, &BrowserPane::cmdYahoo_Click},
        {CmdReg, &BrowserPane::CmdReg_Click},         {CmdManuals, &BrowserPane::CmdManuals_Click},
    };
    for (const auto &b : buttons)
        connect(b.button, &QAbstractButton::clicked, this, b.handler);

    connectMenus(this, {
        {MnuKBNews, &BrowserPane::MnuKBNews_Click},
        {MenuHelpAbout, &BrowserPane::MenuHelpAbout_Click},
        {MenuHelpContents, &BrowserPane::MenuHelpContents_Click},
    });
    connectCheckMark(MnuOptionsStartPage, this, &BrowserPane::MnuOptionsStartPage_Click);
}

bool BrowserPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtBlank && event->type() == QEvent::FocusIn)
        m_web1->takeFocus(); // txtBlank_GotFocus: it passes the focus on to the page
    QComboBox *const combo2 = Combo2;
    if (event->type() != QEvent::KeyPress || (watched != combo2 && watched != combo2->lineEdit()))
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    // The box would also report Enter on a listed text as a pick; it is handled here once.
    if (combo2->isEnabled())
        Combo2_KeyPress(kEnterKey);
    return true;
}

void BrowserPane::Combo2_KeyPress(int keyAscii)
{
    if (keyAscii == kEnterKey)
        Combo2_Click();
}

void BrowserPane::Combo2_Click()
{
    const AddressRules::AddressCommand command = AddressRules::classify(Combo2->currentText(), m_config.searchServer);
    if (command.kind == AddressRules::AddressCommand::Kind::Ignore)
        return;
    m_busy->EnableOff();
    if (command.clearText)
        Combo2->setEditText(QString());
    if (command.record)
        addressNavPending = true;
    m_web1->navigate(command.address);
}

void BrowserPane::CmdBack_Click()
{
    m_web1->goBack();
    setPageFocusPending(true);
}

void BrowserPane::CmdForward_Click()
{
    m_web1->goForward();
    setPageFocusPending(true);
}

void BrowserPane::CmdStop_Click()
{
    m_web1->stop();
    m_busy->EnableOn();
}

void BrowserPane::CmdRefresh_Click()
{
    m_busy->EnableOff();
    m_web1->refresh();
    setPageFocusPending(true);
}

void BrowserPane::openFixedPage(const FixedPage &page)
{
    if (page.addressNavPending)
        addressNavPending = true;
    if (page.enableOff)
        m_busy->EnableOff();
    m_web1->navigate(page.address);
    if (page.timer2)
        setPageFocusPending(true);
}

void BrowserPane::CmdHome_Click()
{
    openFixedPage({QStringLiteral("www.") + m_config.clubHost, true, true, true});
}

void BrowserPane::cmdYahoo_Click()
{
    openFixedPage({m_config.groupArchiveBase(), true, true, true});
}

void BrowserPane::CmdReg_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/registry.html"), true, true, true});
}

void BrowserPane::CmdManuals_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/manuals/index.htm"), true, true, true});
}

void BrowserPane::MnuKBNews_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/knowledgebase.html"), true, true, false});
}

void BrowserPane::MenuHelpAbout_Click()
{
    openFixedPage({QDir(m_folder).filePath(QStringLiteral("about.html")), false, true, false});
}

void BrowserPane::MenuHelpContents_Click()
{
    openFixedPage({QDir(m_folder).filePath(QStringLiteral("help.html")), false, true, false});
}

void BrowserPane::MnuOptionsStartPage_Click()
{
    QAction *const startPage = MnuOptionsStartPage;
    if (startPage->isChecked()) {
        startPage->setChecked(false);
        return;
    }
    startPage->setChecked(true);
    m_web1->navigate(m_config.clubStartPage());
}
