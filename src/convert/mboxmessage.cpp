// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/mboxmessage.h"

#include "convert/htmltext.h"
#include "archive/deletionmark.h"

#include <QLocale>
#include <QRegularExpression>

#include <array>
#include <cstdio>
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
constexpr int kLongestAddress = 254;
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

// What an address may hold: in angle brackets any printable ASCII but the brackets; bare,
// only the characters of an atom and the dot.
bool inBracketedAddress(char16_t c)
{
    return c >= 0x21 && c <= 0x7e && c != '<' && c != '>';
}

bool inBareAddress(char16_t c)
{
    return (c >= 0x21 && c <= 0x27) || c == '*' || c == '+' || (c >= '-' && c <= '9') || c == '=' || c == '?'
           || (c >= 'A' && c <= 'Z') || (c >= '^' && c <= '~');
}

// Something "@" something, every character allowed (an '@' the class lacks only once), no
// longer than mail allows an address to be.
bool isAddress(QStringView text, bool (*allowed)(char16_t))
{
    if (text.size() > kLongestAddress)
        return false;
    const bool manyAts = allowed(u'@');
    qsizetype at = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c != '@') {
            if (!allowed(c))
                return false;
        } else if (i > 0 && i + 1 < text.size() && (manyAts || at < 0)) {
            at = i;
        } else if (!manyAts) {
            return false;
        }
    }
    return at > 0;
}

// Read for every entry, so by hand: "Name <address>", a bare address, or a name alone.
QByteArray fromHeader(const QString &messauthor)
{
    const QString author = shownHeader(messauthor).trimmed();
    QString name = author;
    QByteArray address = kNoAddress;
    const qsizetype open = author.endsWith(u'>') ? author.lastIndexOf(u'<') : -1;
    if (const QStringView inside = open >= 0 ? QStringView(author).sliced(open + 1).chopped(1) : QStringView();
        open >= 0 && isAddress(inside, inBracketedAddress)) {
        qsizetype nameEnd = open;
        while (nameEnd > 0 && author[nameEnd - 1].unicode() < 0x80 && author[nameEnd - 1].isSpace())
            --nameEnd;
        name = author.left(nameEnd);
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        address = inside.toLatin1();
    } else if (isAddress(author, inBareAddress)) {
        return author.toLatin1();
    }
    if (name.isEmpty())
        return address;
    QByteArray display;
    if (isPrintableAscii(name) && !name.contains(u"=?"))
        display = '"' + name.toLatin1().replace('\\', "\\\\").replace('"', "\\\"") + '"';
    // A quoted name cannot be folded: one too long for the header's line is encoded instead.
    if (display.isEmpty() || display.size() + address.size() > kPlainHeaderLimit)
        display = encodedWords(name);
    return display + " <" + address + '>';
}

// Dates are written for every entry: formatted into a buffer, without temporaries.
QByteArray rfc5322(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    char text[48];
    // "-0000": the zone is not known.
    const int n = std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d -0000", kDays[d.dayOfWeek() - 1],
                                d.day(), kMonths[d.month() - 1], d.year(), t.hour(), t.minute(), t.second());
    return QByteArray(text, n);
}

QByteArray asctime(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[d.dayOfWeek() - 1],
                                kMonths[d.month() - 1], d.day(), t.hour(), t.minute(), t.second(), d.year());
    return QByteArray(text, n);
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
// boundary: no NUL, no line longer than 997 bytes, no boundary anywhere (a lone CR before
// it becomes a line end).
bool fitsEightBit(QByteArrayView bytes)
{
    const auto size = std::size_t(bytes.size());
    if (std::memchr(bytes.data(), '\0', size) || ::memmem(bytes.data(), size, kBoundaryLine, std::strlen(kBoundaryLine)))
        return false;
    // A CR counts with its line: stricter, and as fast as looking for the LFs alone.
    const char *const end = bytes.data() + bytes.size();
    for (const char *line = bytes.data(); line < end;) {
        const auto *lf = static_cast<const char *>(std::memchr(line, '\n', std::size_t(end - line)));
        const char *lineEnd = lf ? lf : end;
        // One byte kept for the '>' a "From " line is quoted with.
        if (lineEnd - line > kEightBitLineLimit - 1)
            return false;
        line = lineEnd + 1;
    }
    return true;
}

// Whether a line of the text reads "From " after any number of '>' (and so must be quoted).
// "From " is rare in a message: looked for as a whole, then where its line starts.
bool holdsFromLine(QByteArrayView text)
{
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    for (const char *at = begin; at < end;) {
        const auto *from = static_cast<const char *>(::memmem(at, std::size_t(end - at), "From ", 5));
        if (!from)
            return false;
        const char *p = from;
        while (p > begin && p[-1] == '>')
            --p;
        if (p == begin || p[-1] == '\n')
            return true;
        at = from + 1;
    }
    return false;
}

// The part's text with its line ends as mbox files have them: CR LF and a lone CR become
// LF, as a mail program takes them anyway.
void appendLines(QByteArray &out, QByteArrayView bytes)
{
    // Written straight into the buffer: no line grows.
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    char *w = out.data() + start;
    const char *at = bytes.data();
    const char *const end = at + bytes.size();
    while (at < end) {
        const auto *cr = static_cast<const char *>(std::memchr(at, '\r', std::size_t(end - at)));
        const char *const upTo = cr ? cr : end;
        std::memcpy(w, at, std::size_t(upTo - at));
        w += upTo - at;
        if (!cr)
            break;
        *w++ = '\n';
        at = cr + 1 < end && cr[1] == '\n' ? cr + 2 : cr + 1;
    }
    out.truncate(w - out.constData());
}

void appendPartHeader(QByteArray &out, const char *subtype, bool eightBit)
{
    out.append("--").append(kBoundary).append("\nContent-Type: text/").append(subtype);
    out.append("; charset=UTF-8\nContent-Transfer-Encoding: ").append(eightBit ? "8bit\n\n" : "quoted-printable\n\n");
}

void appendPart(QByteArray &out, const char *subtype, QByteArrayView bytes)
{
    const bool eightBit = fitsEightBit(bytes);
    appendPartHeader(out, subtype, eightBit);
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

    out.append("From veltra-kb ").append(asctime(when.value_or(QDateTime::fromSecsSinceEpoch(0, Qt::UTC)))).append('\n');
    // Written in place; quoted afterwards in the rare entry that holds a line to quote.
    const qsizetype start = out.size();
    out.append("From: ").append(fromHeader(fields.messauthor)).append('\n');
    out.append("Subject: ").append(unstructured(shownHeader(fields.messtitle))).append('\n');
    if (when)
        out.append("Date: ").append(rfc5322(*when)).append('\n');
    out.append("Message-ID: <").append(number).append(".veltraclub@veltra-kb.invalid>\n");
    out.append("X-Veltra-Number: ").append(number).append('\n');
    out.append("X-Veltra-Date: ").append(unstructured(headerText(fields.messdate))).append('\n');
    out.append("MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"").append(kBoundary).append("\"\n\n");
    // The text is written where it goes, as it nearly always may go as it is.
    const qsizetype partAt = out.size();
    appendPartHeader(out, "plain", true);
    const qsizetype textAt = out.size();
    HtmlText::appendPlainText(out, fields.message);
    if (const QByteArrayView text = QByteArrayView(out).sliced(textAt); !fitsEightBit(text) || text.contains('\r')) {
        const QByteArray written = text.toByteArray();
        out.truncate(partAt);
        appendPart(out, "plain", written);
    }
    out += '\n';
    appendPart(out, "html", fields.message);
    out.append("\n--").append(kBoundary).append("--\n");
    if (holdsFromLine(QByteArrayView(out).sliced(start))) {
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
