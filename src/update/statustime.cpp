// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/statustime.h"

namespace StatusTime {

QString format(const QDateTime &time)
{
    const QDate date = time.date();
    const int hour = time.time().hour();
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const auto twoDigits = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    return QString::number(hour12) + QLatin1Char(':') + twoDigits(time.time().minute())
         + (hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM")) + QLatin1Char(' ') + QString::number(date.month())
         + QLatin1Char('/') + QString::number(date.day()) + QLatin1Char('/') + twoDigits(date.year() % 100);
}

}
