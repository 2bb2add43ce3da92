// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>

// The yield a long walk makes after each record, paced: events run when a few
// milliseconds have passed since they last ran. Input, timers and a stop request are seen
// as promptly as a person notices, and the window is not repainted for every record,
// which would cost more than the walk itself.
class EventYield final
{
public:
    explicit EventYield(int intervalMs = 20);
    // Lets the pending events run when the interval has passed; true when they ran.
    bool operator()();

private:
    QElapsedTimer m_sinceLast;
    int m_intervalMs;
};
