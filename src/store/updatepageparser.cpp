#include "updatepageparser.h"

#include "app/cp1252.h"

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

bool isCp1252Text(QByteArrayView bytes)
{
    for (const char c : bytes) {
        switch (static_cast<unsigned char>(c)) {
        case 0x00:
        case 0x81:
        case 0x8D:
        case 0x8F:
        case 0x90:
        case 0x9D:
            return false;
        default:
            break;
        }
    }
    return true;
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
    if (!isCp1252Text(bytes))
        return refuse(problem, QStringLiteral("the page is not Windows-1252 text"));
    return parse(Cp1252::decode(bytes), messnum, problem);
}

}
