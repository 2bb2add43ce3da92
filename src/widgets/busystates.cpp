// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/busystates.h"

#include <utility>

void BusyStates::addKnowledgeBase(Switch part)
{
    m_knowledgeBase << std::move(part);
}

void BusyStates::addWeb(Switch part)
{
    m_web << std::move(part);
}

void BusyStates::EnableOff()
{
    for (const Switch &part : std::as_const(m_knowledgeBase))
        part(false);
}

void BusyStates::EnableOn()
{
    for (const Switch &part : std::as_const(m_knowledgeBase))
        part(true);
}

void BusyStates::EnableWebOff()
{
    for (const Switch &part : std::as_const(m_web))
        part(false);
}

void BusyStates::EnableWebOn()
{
    for (const Switch &part : std::as_const(m_web))
        part(true);
}
