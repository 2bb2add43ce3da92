// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/eventyield.h"

#include <QCoreApplication>

EventYield::EventYield(int intervalMs)
    : m_intervalMs(intervalMs)
{
    m_sinceLast.start();
}

bool EventYield::operator()()
{
    if (m_sinceLast.elapsed() < m_intervalMs)
        return false;
    QCoreApplication::processEvents();
    m_sinceLast.restart();
    return true;
}
