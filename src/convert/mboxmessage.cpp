// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/mboxmessage.h"

#include "convert/htmltext.h"
#include "archive/deletionmark.h"

#include <QLocale>
#include <QRegularExpression>

#include <array>
#include <cstring>

namespace {

// '=' followed by '_' never occurs in quoted-printable text; a part sent as it is that holds
// the boundary line goes quoted-printable instead.
constexpr char kBoundary[] = "=_veltra";
constexpr char kBoundaryLine[] = "--=_veltra";
constexpr int kQpLineLimit = 76;
constexpr int kEightBitLineLimit = 998;
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

// A header's text: a run of line breaks and tabs one space (a header line must not end
// inside it, nor a reader see a new header start in it), other control characters dropped
// (a NUL ends the text in C readers).
QString headerText(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool breakPending = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\r' || u == '\n' || u == '\t' || u == 0x85 || u == 0x2028 || u == 0x2029) {
            breakPending = true;
            continue;
        }
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            continue;
        if (breakPending)
            out += u' ';
        breakPending = false;
        out += c;
    }
    if (breakPending)
        out += u' ';
    return out;
}

// An author or subject as the list shows it (references decoded), as a header's text.
QString shownHeader(const QString &stored)
{
    return headerText(HtmlText::shownField(stored));
}

QByteArray fromHeader(const QString &messauthor)
{
    static const QRegularExpression named(QStringLiteral(R"(^(.*?)\s*<([!-;=?-~]+@[!-;=?-~]+)>$)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression bare(QStringLiteral(R"(^[!-'*-+\--9=?A-Z^-~]+@[!-'*-+\--9=?A-Z^-~]+$)"));
    const QString author = shownHeader(messauthor).trimmed();
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

// Quoted-printable, lines ending in LF (as CR LF and a lone CR do too). Written straight
// into the buffer, runs of plain characters copied whole.
void appendQuotedPrintable(QByteArray &out, QByteArrayView bytes)
{
    enum Kind : quint8 { Literal, Escaped, Blank, LineEnd };
    static const std::array<Kind, 256> kinds = [] {
        std::array<Kind, 256> k{};
        for (int c = 0; c < 256; ++c)
            k[std::size_t(c)] = c >= 33 && c <= 126 && c != '=' ? Literal : Escaped;
        k[' '] = k['\t'] = Blank;
        k['\n'] = k['\r'] = LineEnd;
        return k;
    }();
    const qsizetype n = bytes.size();
    const qsizetype start = out.size();
    // Three characters a byte at most, and a soft break for every 73 characters or so.
    out.resize(start + 3 * n + n / 8 + 16);
    char *w = out.data() + start;
    int column = 0;
    auto kindAt = [&](qsizetype i) {
        const auto c = quint8(bytes[i]);
        return c == '\r' ? LineEnd : kinds[c];
    };
    qsizetype i = 0;
    while (i < n) {
        const Kind kind = kindAt(i);
        if (kind == LineEnd) {
            if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n')
                ++i;
            *w++ = '\n';
            column = 0;
            ++i;
            continue;
        }
        const qsizetype room = kQpLineLimit - 1 - column;
        if (kind == Literal && room > 0) {
            qsizetype end = i + 1;
            while (end < n && end - i < room && kinds[quint8(bytes[end])] == Literal)
                ++end;
            std::memcpy(w, bytes.data() + i, std::size_t(end - i));
            w += end - i;
            column += int(end - i);
            i = end;
            continue;
        }
        const bool literal = kind == Literal || (kind == Blank && i + 1 < n && kindAt(i + 1) != LineEnd);
        const int length = literal ? 1 : 3;
        if (length > room) {
            *w++ = '=';
            *w++ = '\n';
            column = 0;
            continue;
        }
        const auto c = quint8(bytes[i]);
        if (literal) {
            *w++ = char(c);
        } else {
            *w++ = '=';
            *w++ = kHex[c >> 4];
            *w++ = kHex[c & 0xf];
        }
        column += length;
        ++i;
    }
    out.resize(w - out.constData());
}

// A part goes as it is ("8bit") when mail allows it and it cannot be taken for the
// boundary: no NUL, no line longer than 998 bytes.
bool fitsEightBit(QByteArrayView bytes)
{
    if (bytes.indexOf('\0') >= 0 || bytes.indexOf(kBoundaryLine) >= 0)
        return false;
    // A CR counts with its line: stricter, and as fast as looking for the LFs alone.
    qsizetype lineStart = 0;
    while (lineStart < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', lineStart);
        if (end < 0)
            end = bytes.size();
        if (end - lineStart > kEightBitLineLimit)
            return false;
        lineStart = end + 1;
    }
    return true;
}

// The part's text with its line ends as mbox files have them: CR LF and a lone CR become
// LF, as a mail program takes them anyway.
void appendLines(QByteArray &out, QByteArrayView bytes)
{
    qsizetype at = 0;
    for (qsizetype cr = bytes.indexOf('\r'); cr >= 0; cr = bytes.indexOf('\r', at)) {
        out += bytes.sliced(at, cr - at);
        out += '\n';
        at = cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? cr + 2 : cr + 1;
    }
    out += bytes.sliced(at);
}

void appendPart(QByteArray &out, const char *subtype, QByteArrayView bytes)
{
    const bool eightBit = fitsEightBit(bytes);
    out += QByteArray("--") + kBoundary + "\nContent-Type: text/" + subtype + "; charset=UTF-8\nContent-Transfer-Encoding: "
           + (eightBit ? "8bit" : "quoted-printable") + "\n\n";
    if (eightBit)
        appendLines(out, bytes);
    else
        appendQuotedPrintable(out, bytes);
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

void append(QByteArray &out, const Fields &fields)
{
    const std::optional<QDateTime> when = parseDate(DeletionMark::unmarked(fields.messdate));
    const QByteArray number = QByteArray::number(fields.messnum);

    out += "From veltra-kb " + asctime(when.value_or(QDateTime::fromSecsSinceEpoch(0, Qt::UTC))) + '\n';
    // Written in place; quoted afterwards in the rare entry that holds a line to quote.
    const qsizetype start = out.size();
    out += "From: " + fromHeader(fields.messauthor) + '\n';
    out += "Subject: " + unstructured(shownHeader(fields.messtitle)) + '\n';
    if (when)
        out += "Date: " + rfc5322(*when) + '\n';
    out += "Message-ID: <" + number + ".veltraclub@veltra-kb.invalid>\n";
    out += "X-Veltra-Number: " + number + '\n';
    out += "X-Veltra-Date: " + unstructured(headerText(fields.messdate)) + '\n';
    out += QByteArray("MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"") + kBoundary + "\"\n\n";
    appendPart(out, "plain", HtmlText::toPlainText(fields.message));
    out += '\n';
    appendPart(out, "html", fields.message);
    out += QByteArray("\n--") + kBoundary + "--\n";
    if (QByteArrayView(out).sliced(start).indexOf("\nFrom ") >= 0 || QByteArrayView(out).sliced(start).indexOf("\n>") >= 0) {
        const QByteArray entry = out.sliced(start);
        out.truncate(start);
        appendQuotedLines(out, entry);
    }
    out += '\n';
}

QByteArray format(const Fields &fields)
{
    QByteArray out;
    append(out, fields);
    return out;
}

}
