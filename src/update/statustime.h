// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// The time of the "Updated " status text.
namespace StatusTime {

// "h:mmAM/PM m/d/yy": hour 1 to 12 without a leading zero, two-digit minutes, AM or PM,
// a blank, then month and day without leading zeros and the year in two digits
// ("1:07PM 3/4/09").
// Independent of the locale.
QString format(const QDateTime &time);

}
