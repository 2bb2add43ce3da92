#include "convert/mboxmessage.h"

#include "convert/htmltext.h"
#include "maint/deletionmark.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

// '=' followed by '_' never occurs in quoted-printable text, so no part can hold it.
constexpr char kBoundary[] = "=_veltra";
constexpr int kQpLineLimit = 76;
constexpr int kWordBytes = 45; // 60 base64 characters: an encoded word of 72
constexpr int kPlainHeaderLimit = 900;
constexpr char kNoAddress[] = "unknown@invalid";
constexpr const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char *kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr char kHex[] = "0123456789ABCDEF";

bool isPrintableAscii(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// RFC 2047 words in UTF-8, each whole characters, folded onto lines of their own.
QByteArray encodedWords(QStringView text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = std::min(bytes.size(), at + kWordBytes);
        while (end < bytes.size() && end > at + 1 && (quint8(bytes[end]) & 0xc0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\n ";
        out += "=?UTF-8?B?" + bytes.sliced(at, end - at).toBase64() + "?=";
        at = end;
    }
    return out;
}

// An unstructured header's value: as it is when a reader gets it back unchanged, encoded
// otherwise.
QByteArray unstructured(QStringView text)
{
    if (isPrintableAscii(text) && !text.contains(u"=?") && !text.startsWith(u' ') && !text.endsWith(u' ')
        && !text.contains(u"  ") && text.size() <= kPlainHeaderLimit)
        return text.toLatin1();
    return encodedWords(text);
}

QByteArray fromHeader(const QString &messauthor)
{
    static const QRegularExpression named(QStringLiteral(R"(^(.*?)\s*<([!-;=?-~]+@[!-;=?-~]+)>$)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression bare(QStringLiteral(R"(^[!-'*-+\--9=?A-Z^-~]+@[!-'*-+\--9=?A-Z^-~]+$)"));
    const QString author = QString::fromUtf8(HtmlText::decodeEntities(messauthor.toUtf8())).trimmed();
    QString name = author;
    QByteArray address = kNoAddress;
    if (const auto m = named.match(author); m.hasMatch()) {
        name = m.captured(1);
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        address = m.captured(2).toLatin1();
    } else if (bare.match(author).hasMatch()) {
        return author.toLatin1();
    }
    if (name.isEmpty())
        return address;
    QByteArray display;
    if (isPrintableAscii(name) && !name.contains(u"=?")) {
        display = '"' + name.toLatin1().replace('\\', "\\\\").replace('"', "\\\"") + '"';
    } else {
        display = encodedWords(name);
    }
    return display + " <" + address + '>';
}

QByteArray twoDigits(int n)
{
    return QByteArray::number(n).rightJustified(2, '0');
}

QByteArray rfc5322(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    // "-0000": the zone is not known.
    return QByteArray(kDays[d.dayOfWeek() - 1]) + ", " + twoDigits(d.day()) + ' ' + kMonths[d.month() - 1] + ' '
           + QByteArray::number(d.year()) + ' ' + twoDigits(t.hour()) + ':' + twoDigits(t.minute()) + ':'
           + twoDigits(t.second()) + " -0000";
}

QByteArray asctime(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QByteArray(kDays[d.dayOfWeek() - 1]) + ' ' + kMonths[d.month() - 1] + ' '
           + QByteArray::number(d.day()).rightJustified(2, ' ') + ' ' + twoDigits(t.hour()) + ':'
           + twoDigits(t.minute()) + ':' + twoDigits(t.second()) + ' ' + QByteArray::number(d.year());
}

// Quoted-printable, lines ending in LF. Text: CR LF and a lone CR are line ends too. HTML:
// a CR is kept as =0D, so the part decodes to the very bytes stored.
void appendQuotedPrintable(QByteArray &out, QByteArrayView bytes, bool keepCarriageReturns)
{
    out.reserve(out.size() + bytes.size() + bytes.size() / 8 + 16);
    int column = 0;
    auto put = [&](const char *token, int length) {
        if (column + length > kQpLineLimit - 1) {
            out += "=\n";
            column = 0;
        }
        out.append(token, length);
        column += length;
    };
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = quint8(bytes[i]);
        const bool lineEnd = c == '\n' || (c == '\r' && !keepCarriageReturns);
        if (lineEnd) {
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
                ++i;
            out += '\n';
            column = 0;
            continue;
        }
        const bool atLineEnd = i + 1 == n || bytes[i + 1] == '\n' || (!keepCarriageReturns && bytes[i + 1] == '\r');
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd);
        if (literal) {
            const char ch = char(c);
            put(&ch, 1);
        } else {
            const char escaped[3] = {'=', kHex[c >> 4], kHex[c & 0xf]};
            put(escaped, 3);
        }
    }
}

// mboxrd: a line that reads "From " after any number of '>' gets one '>' more, which
// readers take off again.
void appendQuotedLines(QByteArray &out, QByteArrayView text)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        const QByteArrayView line = text.sliced(start, end - start);
        qsizetype quotes = 0;
        while (quotes < line.size() && line[quotes] == '>')
            ++quotes;
        if (line.sliced(quotes).startsWith("From "))
            out += '>';
        out += line;
        start = end;
    }
}

int monthOf(QStringView name)
{
    for (int i = 0; i < 12; ++i) {
        if (name.startsWith(QLatin1String(kMonths[i]), Qt::CaseInsensitive))
            return i + 1;
    }
    return 0;
}

}

namespace MboxMessage {

std::optional<QDateTime> parseDate(QStringView text)
{
    static const QRegularExpression spelled(
        QStringLiteral(R"(^\s*(?:[A-Za-z]{3}[a-z]*,?\s+)?([A-Za-z]{3})[a-z]*\.?\s+(\d{1,2}),?\s+(\d{4})\s+)"
                       R"((\d{1,2}):(\d{2})(?::(\d{2}))?\s*([AaPp][Mm])?\s*$)"));
    static const QRegularExpression iso(
        QStringLiteral(R"(^\s*(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (const auto m = spelled.match(text.toString()); m.hasMatch()) {
        month = monthOf(m.capturedView(1));
        day = m.capturedView(2).toInt();
        year = m.capturedView(3).toInt();
        hour = m.capturedView(4).toInt();
        minute = m.capturedView(5).toInt();
        second = m.capturedView(6).toInt();
        if (const QStringView half = m.capturedView(7); !half.isEmpty()) {
            if (hour < 1 || hour > 12)
                return std::nullopt;
            hour = hour % 12 + (half.compare(u"pm", Qt::CaseInsensitive) == 0 ? 12 : 0);
        }
    } else if (const auto m = iso.match(text.toString()); m.hasMatch()) {
        year = m.capturedView(1).toInt();
        month = m.capturedView(2).toInt();
        day = m.capturedView(3).toInt();
        hour = m.capturedView(4).toInt();
        minute = m.capturedView(5).toInt();
        second = m.capturedView(6).toInt();
    } else {
        return std::nullopt;
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QByteArray format(const Fields &fields)
{
    const std::optional<QDateTime> when = parseDate(DeletionMark::unmarked(fields.messdate));
    const QByteArray number = QByteArray::number(fields.messnum);

    QByteArray entry;
    entry.reserve(fields.message.size() * 2 + 1024);
    entry += "From: " + fromHeader(fields.messauthor) + '\n';
    entry += "Subject: " + unstructured(fields.messtitle) + '\n';
    if (when)
        entry += "Date: " + rfc5322(*when) + '\n';
    entry += "Message-ID: <" + number + ".veltraclub@veltra-kb.invalid>\n";
    entry += "X-Veltra-Number: " + number + '\n';
    entry += "X-Veltra-Date: " + unstructured(fields.messdate) + '\n';
    entry += QByteArray("MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"") + kBoundary + "\"\n\n";
    const QByteArray partHead = QByteArray("--") + kBoundary + "\nContent-Type: text/";
    const QByteArray partTail = "; charset=UTF-8\nContent-Transfer-Encoding: quoted-printable\n\n";
    entry += partHead + "plain" + partTail;
    appendQuotedPrintable(entry, HtmlText::toPlainText(fields.message), false);
    entry += '\n' + partHead + "html" + partTail;
    appendQuotedPrintable(entry, fields.message, true);
    entry += QByteArray("\n--") + kBoundary + "--\n";

    QByteArray out;
    out.reserve(entry.size() + entry.size() / 64 + 64);
    out += "From veltra-kb " + asctime(when.value_or(QDateTime::fromSecsSinceEpoch(0, Qt::UTC))) + '\n';
    appendQuotedLines(out, entry);
    out += '\n';
    return out;
}

}
