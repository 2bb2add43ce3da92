// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/busystates.h"
#include "ui_form1.h"

BusyStates::BusyStates(const Ui::Form1 &ui)
    : m_kbControls{ui.CmdGo, ui.Combo1, ui.hscroll1, ui.hscroll2, ui.List1, ui.cmdCheckDelete}
    , CmdMarkRange(ui.CmdMarkRange)
    , CmdMarkDelete(ui.CmdMarkDelete)
    , CmdConversation(ui.CmdConversation)
    , List1(ui.List1)
    , CmdBack(ui.CmdBack)
    , CmdForward(ui.CmdForward)
    , CmdRefresh(ui.CmdRefresh)
    , m_webControls{ui.CmdHome, ui.CmdManuals, ui.CmdReg, ui.CmdUpDown, ui.Combo2}
{
}

void BusyStates::EnableOff()
{
    for (QWidget *w : m_kbControls)
        w->setEnabled(false);
    CmdMarkRange->setEnabled(false);
    CmdMarkDelete->setEnabled(false);
    CmdConversation->setEnabled(false);
}

void BusyStates::EnableOn()
{
    for (QWidget *w : m_kbControls)
        w->setEnabled(true);
    if (List1->count() > 0)
        CmdMarkRange->setEnabled(true);
}

void BusyStates::EnableWebOff()
{
    if (CmdBack->isEnabled())
        m_backWasOn = true;
    if (CmdForward->isEnabled())
        m_forwardWasOn = true;
    if (CmdRefresh->isEnabled())
        m_refreshWasOn = true;
    for (QWidget *w : {CmdBack, CmdForward, CmdRefresh})
        w->setEnabled(false);
    for (QWidget *w : m_webControls)
        w->setEnabled(false);
}

void BusyStates::EnableWebOn()
{
    if (m_backWasOn)
        CmdBack->setEnabled(true);
    if (m_forwardWasOn)
        CmdForward->setEnabled(true);
    if (m_refreshWasOn)
        CmdRefresh->setEnabled(true);
    for (QWidget *w : m_webControls)
        w->setEnabled(true);
}
