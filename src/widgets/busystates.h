// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

#include <functional>

// The busy states every part switches while it works or a page loads: the knowledge-base
// controls, off while a search, a walk or a page load runs, and the browser's. Each part
// that has controls in a state says here how it switches its own; this object only calls
// them all.
class BusyStates final
{
public:
    using Switch = std::function<void(bool on)>;

    void addKnowledgeBase(Switch part);
    void addWeb(Switch part);

    void EnableOff();
    void EnableOn();
    void EnableWebOff();
    void EnableWebOn();

private:
    QList<Switch> m_knowledgeBase;
    QList<Switch> m_web;
};
