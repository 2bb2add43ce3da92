// SPDX-License-Identifier: GPL-3.0-or-later
#include "updatepage.h"

#include "base/cp1252.h"
#include "update/updateaddress.h"

namespace {

constexpr QStringView kFieldEnd = u"<br>\r\n";

void appendEscapingQuotes(QString &out, QStringView text)
{
    for (const QChar c : text) {
        if (c == u'"')
            out += u"&quot;";
        else
            out += c;
    }
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The archive writes the blanks of a date as "&nbsp;" except the one between the year
// and the time; either form reads back as a blank.
void appendDate(QString &out, QStringView date)
{
    for (qsizetype i = 0; i < date.size(); ++i) {
        const QChar c = date[i];
        if (c == u'"') {
            out += u"&quot;";
        } else if (c == u' ') {
            const bool betweenDigits = i > 0 && i + 1 < date.size() && isDigit(date[i - 1]) && isDigit(date[i + 1]);
            out += betweenDigits ? u" " : u"&nbsp;";
        } else {
            out += c;
        }
    }
}

bool encodable(QStringView text)
{
    return Cp1252::decode(Cp1252::encode(text)) == text;
}

} // namespace

namespace UpdatePage {

QString renderText(const MessageRecord &record)
{
    QString page;
    page.reserve(record.messauthor.size() + record.messdate.size() + record.messtitle.size()
                 + record.message.size() + 400);
    appendEscapingQuotes(page, record.messauthor);
    page += kFieldEnd;
    appendDate(page, record.messdate);
    page += kFieldEnd;
    appendEscapingQuotes(page, record.messtitle);
    page += kFieldEnd;
    page += u"<hr size=1 noshade>\r\n<table border=0 cellpadding=2 width=\"100%\"><tr>"
            u"<td><font size=-1>veltraclub message ";
    page += QString::number(record.messnum);
    page += u"</font></td><td align=right><font size=-1><a href=\"../lastmessage.html\">newest</a>"
            u"</font></td></tr></table>\r\n<hr size=1 noshade>\r\n<tt>";
    page += record.message;
    return page;
}

QByteArray render(const MessageRecord &record)
{
    return Cp1252::encodeHtml(renderText(record));
}

QString roundTripProblem(const MessageRecord &record)
{
    if (record.messnum < 1)
        return QStringLiteral("message number %1 has no page").arg(record.messnum);
    const QString *const texts[] = {&record.messauthor, &record.messdate, &record.messtitle, &record.message};
    const char *const names[] = {"author", "date", "subject", "body"};
    for (int i = 0; i < 4; ++i) {
        // The updater turns every "&quot;" of the page into a double quote.
        if (texts[i]->contains(u"&quot;"))
            return QStringLiteral("the %1 contains \"&quot;\"").arg(QLatin1StringView(names[i]));
        if (!encodable(*texts[i]))
            return QStringLiteral("the %1 has a character outside Windows-1252").arg(QLatin1StringView(names[i]));
        if (i < 3 && texts[i]->contains(u"<br>"))
            return QStringLiteral("the %1 contains \"<br>\"").arg(QLatin1StringView(names[i]));
    }
    if (record.messdate.contains(u"&nbsp;"))
        return QStringLiteral("the date contains \"&nbsp;\"");
    if (record.messtitle.contains(u"<tt>"))
        return QStringLiteral("the subject contains \"<tt>\"");
    return {};
}

QString folderFor(qint32 messnum)
{
    return UpdateAddress::folderFor(messnum);
}

// The site's paths are the updater's own, relative to the site's root.
QString pagePath(qint32 messnum)
{
    return UpdateAddress::pagePath(messnum).mid(1);
}

QString lastMessagePath()
{
    return UpdateAddress::lastMessagePath().mid(1);
}

QByteArray renderLastMessage(qint32 newest)
{
    QByteArray page = QByteArray::number(newest);
    page += "\r\n<html><head><title>veltraclub: newest message</title></head><body>Newest message: ";
    page += QByteArray::number(newest);
    page += "</body></html>\r\n";
    return page;
}

}
