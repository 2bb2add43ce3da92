// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updatepageparser.h"

#include "base/cp1252.h"

namespace {

constexpr QStringView kFieldEnd = u"<br>";
constexpr QStringView kBodyStart = u"<tt>";
constexpr qsizetype kSkippedAfterFieldEnd = 2;

std::optional<MessageRecord> refuse(QString *problem, const QString &why)
{
    if (problem)
        *problem = why;
    return std::nullopt;
}

// A NUL byte means binary data, not a page. The five bytes Windows-1252 leaves undefined
// are common in mail that is really UTF-8 (the closing quote ends in 0x9D); they decode
// to U+0081 and so on and are written back unchanged, so such a page is stored, not lost.
bool isPageText(QByteArrayView bytes)
{
    return !bytes.contains('\0');
}

}

namespace UpdatePageParser {

std::optional<MessageRecord> parse(QStringView source, qint32 messnum, QString *problem)
{
    QString page = source.toString();
    page.replace(QStringLiteral("&quot;"), QStringLiteral("\""));

    const qsizetype authorEnd = page.indexOf(kFieldEnd);
    if (authorEnd < 0)
        return refuse(problem, QStringLiteral("the page has no \"<br>\" after the author"));
    const qsizetype dateStart = authorEnd + kFieldEnd.size() + kSkippedAfterFieldEnd;
    const qsizetype dateEnd = dateStart <= page.size() ? page.indexOf(kFieldEnd, dateStart) : -1;
    if (dateEnd < 0)
        return refuse(problem, QStringLiteral("the page has no \"<br>\" after the date"));
    const qsizetype subjectStart = dateEnd + kFieldEnd.size() + kSkippedAfterFieldEnd;
    const qsizetype subjectEnd = subjectStart <= page.size() ? page.indexOf(kFieldEnd, subjectStart) : -1;
    if (subjectEnd < 0)
        return refuse(problem, QStringLiteral("the page has no \"<br>\" after the subject"));
    const qsizetype bodyMark = page.indexOf(kBodyStart, subjectStart);
    if (bodyMark < 0)
        return refuse(problem, QStringLiteral("the page has no \"<tt>\" before the body"));

    MessageRecord record;
    record.messnum = messnum;
    record.messauthor = page.left(authorEnd);
    record.messdate = page.mid(dateStart, dateEnd - dateStart);
    record.messdate.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    record.messtitle = page.mid(subjectStart, subjectEnd - subjectStart);
    record.message = page.mid(bodyMark + kBodyStart.size());
    return record;
}

std::optional<MessageRecord> parseBytes(QByteArrayView bytes, qint32 messnum, QString *problem)
{
    if (!isPageText(bytes))
        return refuse(problem, QStringLiteral("the page holds binary data"));
    return parse(Cp1252::decode(bytes), messnum, problem);
}

}
