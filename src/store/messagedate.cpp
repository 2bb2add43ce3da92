// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/messagedate.h"

#include <QRegularExpression>

namespace {

const QRegularExpression &groupForm()
{
    // Weekday, month, day, year, hour:minute and am/pm; the weekday is not checked.
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(?:[A-Za-z]{3},?\s+)?([A-Za-z]{3})\s+(\d{1,2}),\s*(\d{4})\s+(\d{1,2}):(\d{2})\s*([AaPp][Mm])\s*$)"));
    return re;
}

const QRegularExpression &isoForm()
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2}))?\s*$)"));
    return re;
}

int monthOf(QStringView name)
{
    static const char *const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        if (name.compare(QLatin1String(kMonths[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

std::optional<QDateTime> moment(int year, int month, int day, int hour, int minute)
{
    const QDate date(year, month, day);
    const QTime time(hour, minute);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

}

namespace MessageDate {

std::optional<QDateTime> read(QStringView text)
{
    if (text.startsWith(u"-1"))
        text = text.mid(2);
    if (text.size() > 64)
        return std::nullopt;
    const QString whole = text.toString();
    if (const QRegularExpressionMatch m = groupForm().match(whole); m.hasMatch()) {
        const int hour12 = m.captured(4).toInt();
        if (hour12 < 1 || hour12 > 12)
            return std::nullopt;
        const bool pm = m.capturedView(6).compare(u"pm", Qt::CaseInsensitive) == 0;
        return moment(m.captured(3).toInt(), monthOf(m.capturedView(1)), m.captured(2).toInt(),
                      hour12 % 12 + (pm ? 12 : 0), m.captured(5).toInt());
    }
    if (const QRegularExpressionMatch m = isoForm().match(whole); m.hasMatch())
        return moment(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                      m.captured(4).isEmpty() ? 0 : m.captured(4).toInt(), m.captured(5).toInt());
    return std::nullopt;
}

}
