// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class QListWidget;
class QWidget;
namespace Ui { class Form1; }

// The busy states every part switches while it works or a page loads. They only set the
// Enabled property of fixed sets of controls; which controls, is this object's to know.
class BusyStates final
{
public:
    explicit BusyStates(const Ui::Form1 &ui);

    // The knowledge-base controls, off while a search, a walk or a page load runs.
    void EnableOff();
    void EnableOn();
    // The browser's controls; back, forward and refresh come back only if they were on.
    void EnableWebOff();
    void EnableWebOn();

private:
    QList<QWidget *> m_kbControls;
    QWidget *CmdMarkRange;
    QWidget *CmdMarkDelete;
    QWidget *CmdConversation; // goes with the flag button: both act on the message shown
    QListWidget *List1;
    QWidget *CmdBack;
    QWidget *CmdForward;
    QWidget *CmdRefresh;
    QList<QWidget *> m_webControls;
    bool m_backWasOn = false;
    bool m_forwardWasOn = false;
    bool m_refreshWasOn = false;
};
