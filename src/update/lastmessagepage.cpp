#include "lastmessagepage.h"

#include <limits>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

}

namespace LastMessagePage {

std::optional<Newest> read(QByteArrayView page)
{
    qsizetype end = 0;
    while (end < page.size() && page[end] != '\r' && page[end] != '\n')
        ++end;
    const QByteArrayView line = page.first(end).trimmed();

    qsizetype i = 0;
    qint64 whole = 0;
    while (i < line.size() && isDigit(line[i])) {
        whole = whole * 10 + (line[i] - '0');
        if (whole > std::numeric_limits<qint32>::max())
            return std::nullopt;
        ++i;
    }
    if (i == 0)
        return std::nullopt;
    if (i < line.size() && line[i] == '.') {
        ++i;
        while (i < line.size() && isDigit(line[i]))
            ++i;
    }
    if (i != line.size())
        return std::nullopt;

    Newest newest;
    newest.number = qint32(whole);
    newest.line = QString::fromLatin1(line);
    return newest;
}

}
