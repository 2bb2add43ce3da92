#include "app/form1.h"
#include "ui_form1.h"

#include "browser/addressrules.h"
#include "browser/browser.h"

#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kEnterKey = 13;

}

void Form1::connectAddressBar()
{
    // An address opens exactly as typed, and once.
    connectTypedBox(ui->Combo2, &Form1::Combo2_Click);

    const struct
    {
        QAbstractButton *button;
        void (Form1::*handler)();
    } buttons[] = {
        {ui->CmdBack, &Form1::CmdBack_Click},       {ui->CmdForward, &Form1::CmdForward_Click},
        {ui->CmdStop, &Form1::CmdStop_Click},       {ui->CmdRefresh, &Form1::CmdRefresh_Click},
        {ui->CmdHome, &Form1::CmdHome_Click},       {ui->cmdYahoo, &Form1::cmdYahoo_Click},
        {ui->CmdReg, &Form1::CmdReg_Click},         {ui->CmdManuals, &Form1::CmdManuals_Click},
    };
    for (const auto &b : buttons)
        connect(b.button, &QAbstractButton::clicked, this, b.handler);

    connectMenus({
        {ui->MnuKBNews, &Form1::MnuKBNews_Click},
        {ui->MenuHelpAbout, &Form1::MenuHelpAbout_Click},
        {ui->MenuHelpContents, &Form1::MenuHelpContents_Click},
    });
    connectCheckMark(ui->MnuOptionsStartPage, &Form1::MnuOptionsStartPage_Click);
}

bool Form1::browserEventFilter(QObject *watched, QEvent *event)
{
    QComboBox *const combo2 = ui->Combo2;
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

void Form1::Combo2_KeyPress(int keyAscii)
{
    if (keyAscii == kEnterKey)
        Combo2_Click();
}

void Form1::Combo2_Click()
{
    const AddressRules::AddressCommand command = AddressRules::classify(ui->Combo2->currentText(), m_config.searchServer);
    if (command.kind == AddressRules::AddressCommand::Kind::Ignore)
        return;
    EnableOff();
    if (command.clearText)
        ui->Combo2->setEditText(QString());
    if (command.record)
        m_state.addressNavPending = true;
    m_web1->navigate(command.address);
}

void Form1::CmdBack_Click()
{
    m_web1->goBack();
    setTimerEnabled(Timer2, true);
}

void Form1::CmdForward_Click()
{
    m_web1->goForward();
    setTimerEnabled(Timer2, true);
}

void Form1::CmdStop_Click()
{
    m_web1->stop();
    EnableOn();
}

void Form1::CmdRefresh_Click()
{
    EnableOff();
    m_web1->refresh();
    setTimerEnabled(Timer2, true);
}

void Form1::openFixedPage(const FixedPage &page)
{
    if (page.addressNavPending)
        m_state.addressNavPending = true;
    if (page.enableOff)
        EnableOff();
    m_web1->navigate(page.address);
    if (page.timer2)
        setTimerEnabled(Timer2, true);
}

void Form1::CmdHome_Click()
{
    openFixedPage({QStringLiteral("www.") + m_config.clubHost, true, true, true});
}

void Form1::cmdYahoo_Click()
{
    openFixedPage({m_config.groupArchiveBase(), true, true, true});
}

void Form1::CmdReg_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/registry.html"), true, true, true});
}

void Form1::CmdManuals_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/manuals/index.htm"), true, true, true});
}

void Form1::MnuKBNews_Click()
{
    openFixedPage({QStringLiteral("http://") + m_config.clubHost + QStringLiteral("/knowledgebase.html"), true, true, false});
}

void Form1::MenuHelpAbout_Click()
{
    openFixedPage({QDir(m_state.baseDir).filePath(QStringLiteral("about.html")), false, true, false});
}

void Form1::MenuHelpContents_Click()
{
    openFixedPage({QDir(m_state.baseDir).filePath(QStringLiteral("help.html")), false, true, false});
}

void Form1::MnuOptionsStartPage_Click()
{
    QAction *const startPage = ui->MnuOptionsStartPage;
    if (startPage->isChecked()) {
        startPage->setChecked(false);
        return;
    }
    startPage->setChecked(true);
    m_web1->navigate(m_config.clubStartPage());
}
