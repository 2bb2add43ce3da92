// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/htmltext.h"

#include "base/cp1252.h"

#include <QHash>
#include <QString>

#include <array>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xfffd;
constexpr char32_t kNoBreakSpace = 0xa0;
constexpr int kLongestName = 8; // "thetasym"
constexpr int kLongestNumber = 10;

// HTML 4's names: the Latin-1 ones stand in code point order from U+00A0, the Greek
// letters from U+0391 and U+03B1; the rest are listed with their code points.
constexpr const char *kLatin1[] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo", "not",
    "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot", "cedil", "sup1",
    "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc", "Atilde", "Auml",
    "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute", "Icirc", "Iuml", "ETH",
    "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil",
    "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve", "oacute",
    "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml"};
constexpr const char *kGreek[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota",
                                  "kappa", "lambda", "mu", "nu", "xi", "omicron", "pi", "rho", "sigmaf", "sigma",
                                  "tau", "upsilon", "phi", "chi", "psi", "omega"};
struct Named
{
    const char *name;
    char32_t code;
};
constexpr Named kOthers[] = {
    {"quot", 34}, {"amp", 38}, {"apos", 39}, {"lt", 60}, {"gt", 62}, {"OElig", 338}, {"oelig", 339},
    {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376}, {"fnof", 402}, {"circ", 710}, {"tilde", 732},
    {"thetasym", 977}, {"upsih", 978}, {"piv", 982}, {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201},
    {"zwnj", 8204}, {"zwj", 8205}, {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212},
    {"lsquo", 8216}, {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225}, {"bull", 8226}, {"hellip", 8230}, {"permil", 8240}, {"prime", 8242},
    {"Prime", 8243}, {"lsaquo", 8249}, {"rsaquo", 8250}, {"oline", 8254}, {"frasl", 8260}, {"euro", 8364},
    {"image", 8465}, {"weierp", 8472}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501}, {"larr", 8592},
    {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596}, {"crarr", 8629}, {"lArr", 8656},
    {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659}, {"hArr", 8660}, {"forall", 8704}, {"part", 8706},
    {"exist", 8707}, {"empty", 8709}, {"nabla", 8711}, {"isin", 8712}, {"notin", 8713}, {"ni", 8715},
    {"prod", 8719}, {"sum", 8721}, {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733},
    {"infin", 8734}, {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746}, {"int", 8747},
    {"there4", 8756}, {"sim", 8764}, {"cong", 8773}, {"asymp", 8776}, {"ne", 8800}, {"equiv", 8801},
    {"le", 8804}, {"ge", 8805}, {"sub", 8834}, {"sup", 8835}, {"nsub", 8836}, {"sube", 8838}, {"supe", 8839},
    {"oplus", 8853}, {"otimes", 8855}, {"perp", 8869}, {"sdot", 8901}, {"lceil", 8968}, {"rceil", 8969},
    {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001}, {"rang", 9002}, {"loz", 9674}, {"spades", 9824},
    {"clubs", 9827}, {"hearts", 9829}, {"diams", 9830}};

const QHash<QByteArray, char32_t> &names()
{
    static const QHash<QByteArray, char32_t> table = [] {
        QHash<QByteArray, char32_t> t;
        for (std::size_t i = 0; i < std::size(kLatin1); ++i)
            t.insert(kLatin1[i], char32_t(0xa0 + i));
        for (std::size_t i = 0; i < std::size(kGreek); ++i) {
            const char32_t lower = char32_t(0x3b1 + i);
            t.insert(kGreek[i], lower);
            // The capitals lie 32 below; final sigma has none.
            if (lower != 0x3c2) {
                QByteArray capital(kGreek[i]);
                capital[0] = char(capital[0] - 'a' + 'A');
                t.insert(capital, lower - 32);
            }
        }
        for (const Named &n : kOthers)
            t.insert(n.name, n.code);
        return t;
    }();
    return table;
}

// Writes the code point at w; returns the end of what it wrote.
char *putUtf8(char *w, char32_t c)
{
    if (c < 0x80) {
        *w++ = char(c);
    } else if (c < 0x800) {
        *w++ = char(0xc0 | (c >> 6));
        *w++ = char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *w++ = char(0xe0 | (c >> 12));
        *w++ = char(0x80 | ((c >> 6) & 0x3f));
        *w++ = char(0x80 | (c & 0x3f));
    } else {
        *w++ = char(0xf0 | (c >> 18));
        *w++ = char(0x80 | ((c >> 12) & 0x3f));
        *w++ = char(0x80 | ((c >> 6) & 0x3f));
        *w++ = char(0x80 | (c & 0x3f));
    }
    return w;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    char buffer[4];
    out.append(buffer, putUtf8(buffer, c) - buffer);
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// How references are read: as browsers read a page, or only those written whole (with
// their ';', naming a character), as a subject or author is shown.
enum class Reading { AsBrowsers, WrittenWhole };

// The reference at html[at] ('&'): its code point and its length, or length 0 when it is
// none.
std::pair<char32_t, qsizetype> reference(QByteArrayView html, qsizetype at, Reading reading)
{
    qsizetype i = at + 1;
    const qsizetype n = html.size();
    if (i < n && html[i] == '#') {
        ++i;
        const bool hex = i < n && (html[i] == 'x' || html[i] == 'X');
        if (hex)
            ++i;
        const qsizetype first = i;
        char32_t value = 0;
        while (i < n && i - first <= kLongestNumber
               && (isAsciiDigit(html[i]) || (hex && std::isxdigit(static_cast<unsigned char>(html[i]))))) {
            const char c = html[i];
            const int digit = isAsciiDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
            value = std::min<char32_t>(value * (hex ? 16 : 10) + char32_t(digit), 0x110000);
            ++i;
        }
        if (i == first)
            return {0, 0};
        const bool whole = i < n && html[i] == ';';
        if (whole)
            ++i;
        if (value >= 0x80 && value <= 0x9f) {
            const char byte = char(value);
            value = char32_t(Cp1252::decode(QByteArrayView(&byte, 1)).at(0).unicode());
        }
        const bool character = value != 0 && value <= 0x10ffff && !(value >= 0xd800 && value <= 0xdfff);
        if (reading == Reading::WrittenWhole && (!whole || !character))
            return {0, 0};
        if (!character)
            value = kReplacement;
        return {value, i - at};
    }
    const qsizetype first = i;
    while (i < n && i - first < kLongestName && (isAsciiLetter(html[i]) || isAsciiDigit(html[i])))
        ++i;
    if (i == first || i >= n || html[i] != ';')
        return {0, 0};
    const auto found = names().constFind(html.sliced(first, i - first).toByteArray());
    if (found == names().constEnd())
        return {0, 0};
    return {*found, i + 1 - at};
}

bool isHtmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isPlain(char c)
{
    static const std::array<bool, 256> plain = [] {
        std::array<bool, 256> p{};
        for (int b = 0; b < 256; ++b)
            p[std::size_t(b)] = b != '<' && b != '&' && !isHtmlBlank(char(b));
        return p;
    }();
    return plain[quint8(c)];
}

QByteArray decoded(QByteArrayView html, Reading reading)
{
    QByteArray out;
    out.reserve(html.size());
    qsizetype i = 0;
    while (i < html.size()) {
        const qsizetype amp = html.indexOf('&', i);
        if (amp < 0) {
            out += html.sliced(i);
            break;
        }
        out += html.sliced(i, amp - i);
        const auto [code, length] = reference(html, amp, reading);
        if (length == 0) {
            out += '&';
            i = amp + 1;
            continue;
        }
        appendUtf8(out, code);
        i = amp + length;
    }
    return out;
}

}

namespace HtmlText {

QByteArray decodeEntities(QByteArrayView html)
{
    return decoded(html, Reading::AsBrowsers);
}

QString shownField(QByteArrayView stored)
{
    if (!stored.contains('&'))
        return QString::fromUtf8(stored);
    return QString::fromUtf8(decoded(stored, Reading::WrittenWhole));
}

QString shownField(const QString &stored)
{
    if (!stored.contains(u'&'))
        return stored;
    return QString::fromUtf8(decoded(stored.toUtf8(), Reading::WrittenWhole));
}

QByteArray toPlainText(QByteArrayView html)
{
    // No reference is written longer than it stands, and a blank only stands for one: the
    // text fits in the HTML's size and its last line break.
    QByteArray out(html.size() + 1, Qt::Uninitialized);
    char *const begin = out.data();
    char *w = begin;
    bool blankPending = false;
    bool lineStart = true;
    auto beforeText = [&] {
        if (blankPending && !lineStart)
            *w++ = ' ';
        blankPending = false;
        lineStart = false;
    };
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = html[i];
        if (c == '<') {
            if (html.sliced(i).startsWith("<!--")) {
                const qsizetype end = html.indexOf("-->", i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            const qsizetype close = html.indexOf('>', i + 1);
            const qsizetype nameAt = i + 1 + (i + 1 < n && html[i + 1] == '/' ? 1 : 0);
            if (close < 0 || nameAt >= n || !(isAsciiLetter(html[nameAt]) || html[nameAt] == '!')) {
                beforeText(); // not a tag: shown as it is
                *w++ = '<';
                ++i;
                continue;
            }
            qsizetype nameEnd = nameAt;
            while (nameEnd < close && (isAsciiLetter(html[nameEnd]) || isAsciiDigit(html[nameEnd])))
                ++nameEnd;
            if (html.sliced(nameAt, nameEnd - nameAt).compare("br", Qt::CaseInsensitive) == 0) {
                *w++ = '\n';
                blankPending = false;
                lineStart = true;
            }
            i = close + 1;
            continue;
        }
        if (isHtmlBlank(c)) {
            blankPending = true;
            ++i;
            continue;
        }
        if (c == '&') {
            const auto [code, length] = reference(html, i, Reading::AsBrowsers);
            if (length > 0) {
                beforeText();
                w = putUtf8(w, code == kNoBreakSpace ? U' ' : code);
                i += length;
                continue;
            }
        }
        // A run of plain characters is copied whole, single blanks between words with it.
        qsizetype end = i + 1;
        while (end < n && (isPlain(html[end]) || (html[end] == ' ' && end + 1 < n && isPlain(html[end + 1]))))
            ++end;
        beforeText();
        std::memcpy(w, html.data() + i, std::size_t(end - i));
        w += end - i;
        i = end;
    }
    while (w > begin && (w[-1] == '\n' || w[-1] == ' '))
        --w;
    if (w > begin)
        *w++ = '\n';
    out.truncate(w - begin);
    return out;
}

}
