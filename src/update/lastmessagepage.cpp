// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/lastmessagepage.h"

#include <limits>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<LastMessagePage::Newest> refuse(QString *problem, const QString &why)
{
    if (problem)
        *problem = why;
    return std::nullopt;
}

}

namespace LastMessagePage {

std::optional<Newest> read(QByteArrayView page, QString *problem)
{
    qsizetype end = 0;
    while (end < page.size() && page[end] != '\r' && page[end] != '\n')
        ++end;
    const QByteArrayView line = page.first(end).trimmed();
    const QString noNumber = QStringLiteral("the update server's last-message page gives no message number");

    qsizetype i = 0;
    while (i < line.size() && isDigit(line[i]))
        ++i;
    const QByteArrayView whole = line.first(i);
    if (whole.isEmpty())
        return refuse(problem, noNumber);
    if (i < line.size() && line[i] == '.') {
        ++i;
        while (i < line.size() && isDigit(line[i]))
            ++i;
    }
    if (i != line.size())
        return refuse(problem, noNumber);

    qint64 number = 0;
    for (const char digit : whole) {
        number = number * 10 + (digit - '0');
        if (number > std::numeric_limits<qint32>::max())
            return refuse(problem, QStringLiteral("the update server's last message number %1 is larger than the "
                                                  "largest message number the database holds, %2")
                                       .arg(QString::fromLatin1(whole))
                                       .arg(std::numeric_limits<qint32>::max()));
    }
    Newest newest;
    newest.number = qint32(number);
    newest.line = QString::fromLatin1(line);
    return newest;
}

}
