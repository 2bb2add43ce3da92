// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/htmltext.h"

#include "base/cp1252.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Sorted by name for a lookup that neither allocates nor hashes: references are common
// in the group's pages, and the export reads every one.
using NameTable = std::vector<std::pair<std::string, char32_t>>;
const NameTable &names()
{
    static const NameTable table = [] {
        NameTable t;
        for (std::size_t i = 0; i < std::size(kLatin1); ++i)
            t.emplace_back(kLatin1[i], char32_t(0xa0 + i));
        for (std::size_t i = 0; i < std::size(kGreek); ++i) {
            const char32_t lower = char32_t(0x3b1 + i);
            t.emplace_back(kGreek[i], lower);
            // The capitals lie 32 below; final sigma has none.
            if (lower != 0x3c2) {
                std::string capital(kGreek[i]);
                capital[0] = char(capital[0] - 'a' + 'A');
                t.emplace_back(capital, lower - 32);
            }
        }
        for (const Named &n : kOthers)
            t.emplace_back(n.name, n.code);
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

std::optional<char32_t> named(std::string_view name)
{
    const NameTable &table = names();
    const auto found = std::lower_bound(table.begin(), table.end(), name,
                                        [](const auto &entry, std::string_view n) { return entry.first < n; });
    if (found == table.end() || found->first != name)
        return std::nullopt;
    return found->second;
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
    const std::optional<char32_t> code = named(std::string_view(html.data() + first, std::size_t(i - first)));
    if (!code)
        return {0, 0};
    return {*code, i + 1 - at};
}

bool isHtmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Byte classes as tables built at compile time: the run copying asks for every byte, and a
// table made on first use would be guarded on each call.
constexpr std::array<bool, 256> byteTable(bool (*member)(int))
{
    std::array<bool, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[std::size_t(b)] = member(b);
    return t;
}

// Copied as they are between words: all but markup, references and blanks.
constexpr std::array<bool, 256> kPlain = byteTable([](int b) {
    return b != '<' && b != '&' && b != ' ' && b != '\t' && b != '\n' && b != '\r' && b != '\f';
});
// Copied as they are in pre: all but markup, references and line breaks.
constexpr std::array<bool, 256> kPreformatted = byteTable([](int b) {
    return b != '<' && b != '&' && b != '\n' && b != '\r';
});

inline bool isPlain(char c)
{
    return kPlain[quint8(c)];
}

inline bool isPreformatted(char c)
{
    return kPreformatted[quint8(c)];
}

// Where a run of plain characters that starts before `from` ends: plain characters, and
// single blanks each followed by one. Most of a message is such runs, so they are looked
// at sixteen bytes at a time where the processor can.
qsizetype plainRunEnd(const char *h, qsizetype from, qsizetype n)
{
    qsizetype end = from;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i stops[] = {_mm_set1_epi8('<'), _mm_set1_epi8('&'), _mm_set1_epi8('\t'),
                             _mm_set1_epi8('\n'), _mm_set1_epi8('\r'), _mm_set1_epi8('\f')};
    // The byte after the sixteen is read too: a blank at their end needs a plain one next.
    while (end + 16 < n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + end));
        __m128i stop = _mm_cmpeq_epi8(v, stops[0]);
        for (std::size_t k = 1; k < std::size(stops); ++k)
            stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, stops[k]));
        const unsigned stopBits = unsigned(_mm_movemask_epi8(stop));
        const unsigned blankBits = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)));
        const unsigned notPlainNext = ((stopBits | blankBits) >> 1) | (isPlain(h[end + 16]) ? 0u : 0x8000u);
        if ((stopBits | (blankBits & notPlainNext)) != 0)
            break;
        end += 16;
    }
#endif
    while (end < n && (isPlain(h[end]) || (h[end] == ' ' && end + 1 < n && isPlain(h[end + 1]))))
        ++end;
    return end;
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


// How an element lays out the text around and inside it.
enum class Layout : quint8 {
    Inline,    // no effect on lines: b, a, span, font and any element not known
    Break,     // br
    Block,     // on lines of its own: div, table rows, dt, dd ...
    Paragraph, // on lines of its own with a blank line around: p, headings, dl
    List,      // ul, menu, dir: a paragraph at the top level, lines of their own when nested
    Ordered,   // ol: as a list, its items numbered
    Item,      // li
    Quote,     // blockquote
    Pre,       // pre, listing
    Table,     // table: as a block; rows and cells counted afresh
    Row,       // tr
    Cell,      // td, th
    Rule,      // hr
    Hidden,    // script, style, title: their content is not shown
};

struct Element
{
    const char *name;
    Layout layout;
};

// The elements that shape the text, the most frequent in mail first.
constexpr Element kElements[] = {
    {"br", Layout::Break},       {"p", Layout::Paragraph},     {"div", Layout::Block},
    {"blockquote", Layout::Quote}, {"li", Layout::Item},       {"tr", Layout::Row},
    {"td", Layout::Cell},        {"th", Layout::Cell},         {"ul", Layout::List},
    {"ol", Layout::Ordered},     {"table", Layout::Table},     {"pre", Layout::Pre},
    {"hr", Layout::Rule},        {"style", Layout::Hidden},    {"script", Layout::Hidden},
    {"title", Layout::Hidden},   {"h1", Layout::Paragraph},    {"h2", Layout::Paragraph},
    {"h3", Layout::Paragraph},   {"h4", Layout::Paragraph},    {"h5", Layout::Paragraph},
    {"h6", Layout::Paragraph},   {"dl", Layout::Paragraph},    {"dt", Layout::Block},
    {"dd", Layout::Block},       {"center", Layout::Block},    {"address", Layout::Block},
    {"form", Layout::Block},     {"fieldset", Layout::Block},  {"legend", Layout::Block},
    {"caption", Layout::Block},  {"section", Layout::Block},   {"article", Layout::Block},
    {"header", Layout::Block},   {"footer", Layout::Block},    {"nav", Layout::Block},
    {"aside", Layout::Block},    {"main", Layout::Block},      {"figure", Layout::Block},
    {"figcaption", Layout::Block}, {"details", Layout::Block}, {"summary", Layout::Block},
    {"body", Layout::Block},     {"menu", Layout::List},       {"dir", Layout::List},
    {"listing", Layout::Pre},
};
constexpr qsizetype kLongestElement = 10; // "blockquote", "figcaption"

// The layout of the element named at name (ASCII letters and digits, any case).
Layout layoutOf(const char *name, qsizetype length)
{
    if (length > kLongestElement)
        return Layout::Inline;
    char lower[kLongestElement];
    for (qsizetype k = 0; k < length; ++k)
        lower[k] = char(name[k] | 0x20); // digits keep their value
    for (const Element &e : kElements) {
        if (e.name[0] == lower[0] && qsizetype(std::strlen(e.name)) == length
            && std::memcmp(e.name, lower, std::size_t(length)) == 0)
            return e.layout;
    }
    return Layout::Inline;
}

// Quotes and lists nested deeper than this are shown at this depth, so that hostile
// nesting cannot make every line's prefix as long as the page.
constexpr int kDeepest = 32;
constexpr int kRuleWidth = 40;

// One pass over the HTML writing the text as it goes. Line breaks a block asks for are
// owed until the next text, so that empty blocks, blanks and tags between them add none.
class PlainText
{
public:
    // Writes after what `out` holds.
    PlainText(QByteArrayView html, QByteArray &out)
        : m_html(html)
        , m_out(out)
        , m_start(out.size())
    {
        m_out.resize(m_start + html.size() + 64);
        m_w = begin();
        m_end = m_out.data() + m_out.size();
    }

    void write()
    {
        const char *const h = m_html.data();
        const qsizetype n = m_html.size();
        qsizetype i = 0;
        while (i < n) {
            const char c = h[i];
            if (c == '<') {
                i = markup(i);
                continue;
            }
            if (m_pre > 0) {
                if (c == '\n' || c == '\r') {
                    i += c == '\r' && i + 1 < n && h[i + 1] == '\n' ? 2 : 1;
                    owe(std::min(m_breaks + 1, 2));
                    continue;
                }
            } else if (isHtmlBlank(c)) {
                m_blank = true;
                ++i;
                continue;
            }
            if (c == '&') {
                const auto [code, length] = reference(m_html, i, Reading::AsBrowsers);
                if (length > 0) {
                    i += length;
                    // A line break or blank written as a reference lays out as one written plainly.
                    if (code == '\n' || code == '\r') {
                        if (m_pre > 0)
                            owe(std::min(m_breaks + 1, 2));
                        else
                            m_blank = true;
                        continue;
                    }
                    if (m_pre == 0 && code < 0x80 && isHtmlBlank(char(code))) {
                        m_blank = true;
                        continue;
                    }
                    beforeText();
                    reserve(4);
                    m_w = putUtf8(m_w, code == kNoBreakSpace ? U' ' : code);
                    continue;
                }
            }
            // A run of plain characters is copied whole, single blanks between words with it.
            qsizetype end = i + 1;
            if (m_pre > 0) {
                while (end < n && isPreformatted(h[end]))
                    ++end;
            } else {
                end = plainRunEnd(h, end, n);
            }
            beforeText();
            reserve(end - i);
            std::memcpy(m_w, h + i, std::size_t(end - i));
            m_w += end - i;
            i = end;
        }
        endText();
        if (m_w > begin()) {
            reserve(1);
            *m_w++ = '\n';
        }
        m_out.truncate(m_w - m_out.data());
    }

private:
    struct ListLevel
    {
        bool ordered = false;
        qint64 number = 0;
    };

    void reserve(qsizetype more)
    {
        if (m_end - m_w < more)
            grow(more);
    }

    void grow(qsizetype more)
    {
        const qsizetype used = m_w - m_out.data();
        m_out.resize(std::max(used + more, m_out.size() * 2));
        m_w = m_out.data() + used;
        m_end = m_out.data() + m_out.size();
    }

    // At least this many line breaks before the next text (2: a blank line).
    void owe(int breaks) { m_breaks = std::max(m_breaks, breaks); }

    void put(QByteArrayView text)
    {
        std::memcpy(m_w, text.data(), std::size_t(text.size()));
        m_w += text.size();
    }

    char *begin() { return m_out.data() + m_start; }
    qsizetype written() { return m_w - begin(); }

    // Ends the line, its trailing blanks dropped. A line that holds nothing past its quote
    // marks is a blank line; one right after another (as blank lines in pre make) is dropped.
    void endLine()
    {
        while (m_w > begin() && (m_w[-1] == ' ' || m_w[-1] == '\t'))
            --m_w;
        const bool blank = written() <= m_textAt;
        if (blank && m_lastBlank) {
            m_w = begin() + m_lineAt;
            return;
        }
        *m_w++ = '\n';
        m_lastBlank = blank;
        m_lineAt = m_textAt = written();
    }

    // Drops a blank line the text ended with.
    void endText()
    {
        char *const first = begin();
        while (m_w > first && (m_w[-1] == ' ' || m_w[-1] == '\t'))
            --m_w;
        if (written() <= m_textAt)
            m_w = first + m_lineAt;
        while (m_w > first && (m_w[-1] == '\n' || m_w[-1] == ' ' || m_w[-1] == '\t'))
            --m_w;
    }

    // Pays the line breaks owed and starts the line: quote marks, the list's indent and
    // an item's marker.
    void beforeText()
    {
        if (m_breaks > 0) {
            if (m_w > begin()) { // none before the first text
                reserve(2 + 2 * kDeepest);
                endLine();
                if (m_breaks > 1) {
                    // A blank line inside a quote is still marked, as mail programs do.
                    for (int q = std::min({m_lastQuotes, m_quotes, kDeepest}); q > 0; --q)
                        put(q > 1 ? "> " : ">");
                    m_textAt = written();
                    endLine();
                }
            }
            m_breaks = 0;
            m_lineStart = true;
        }
        if (m_lineStart) {
            m_lineStart = false;
            m_blank = false;
            const int quotes = std::min(m_quotes, kDeepest);
            const int lists = std::min(m_lists, kDeepest);
            reserve(2 * quotes + 2 * lists + 24);
            for (int q = 0; q < quotes; ++q)
                put("> ");
            for (int l = m_marker && lists > 0 ? 1 : 0; l < lists; ++l)
                put("  ");
            m_textAt = written();
            if (m_marker) {
                if (m_number > 0) {
                    put(QByteArray::number(m_number));
                    put(". ");
                } else {
                    put("- ");
                }
                m_marker = false;
            }
            m_lastQuotes = m_quotes;
        }
        if (m_tabs > 0) {
            reserve(m_tabs);
            std::memset(m_w, '\t', std::size_t(m_tabs));
            m_w += m_tabs;
            m_tabs = 0;
            m_blank = false;
        } else if (m_blank) {
            reserve(1);
            *m_w++ = ' ';
            m_blank = false;
        }
    }

    // The tag, comment or declaration at i, or a '<' that starts none; returns where the
    // text goes on.
    qsizetype markup(qsizetype i)
    {
        const char *const h = m_html.data();
        const qsizetype n = m_html.size();
        if (i + 3 < n && h[i + 1] == '!' && h[i + 2] == '-' && h[i + 3] == '-') {
            const qsizetype end = m_html.indexOf("-->", i + 4);
            return end < 0 ? n : end + 3;
        }
        const qsizetype close = m_html.indexOf('>', i + 1);
        const bool closing = i + 1 < n && h[i + 1] == '/';
        const qsizetype nameAt = i + 1 + (closing ? 1 : 0);
        if (close < 0 || nameAt >= n || !(isAsciiLetter(h[nameAt]) || h[nameAt] == '!' || h[nameAt] == '?')) {
            beforeText(); // not a tag: shown as it is
            reserve(1);
            *m_w++ = '<';
            return i + 1;
        }
        qsizetype nameEnd = nameAt;
        while (nameEnd < close && (isAsciiLetter(h[nameEnd]) || isAsciiDigit(h[nameEnd])))
            ++nameEnd;
        const Layout layout = layoutOf(h + nameAt, nameEnd - nameAt);
        const qsizetype after = close + 1;
        if (closing)
            end(layout);
        else
            start(layout);
        if (!closing && layout == Layout::Hidden)
            return endOfHidden(h + nameAt, nameEnd - nameAt, after);
        if (!closing && layout == Layout::Pre) {
            // A line break right after the start tag is not shown.
            if (after < n && h[after] == '\n')
                return after + 1;
            if (after + 1 < n && h[after] == '\r' && h[after + 1] == '\n')
                return after + 2;
        }
        return after;
    }

    // Where the hidden element's content ends: after its end tag, or at the end of the page.
    qsizetype endOfHidden(const char *name, qsizetype length, qsizetype from) const
    {
        const qsizetype n = m_html.size();
        for (qsizetype j = m_html.indexOf("</", from); j >= 0; j = m_html.indexOf("</", j + 2)) {
            const qsizetype after = j + 2 + length;
            if (after <= n && QByteArrayView(m_html.data() + j + 2, length).compare(QByteArrayView(name, length), Qt::CaseInsensitive) == 0
                && (after == n || !(isAsciiLetter(m_html[after]) || isAsciiDigit(m_html[after])))) {
                const qsizetype close = m_html.indexOf('>', after);
                return close < 0 ? n : close + 1;
            }
        }
        return n;
    }

    void start(Layout layout)
    {
        switch (layout) {
        case Layout::Inline:
        case Layout::Hidden:
            break;
        case Layout::Break:
            m_breaks = std::min(m_breaks + 1, 2);
            break;
        case Layout::Block:
            owe(1);
            break;
        case Layout::Paragraph:
            owe(2);
            break;
        case Layout::List:
        case Layout::Ordered:
            owe(m_lists == 0 ? 2 : 1);
            if (m_lists < kDeepest)
                m_levels[std::size_t(m_lists)] = {layout == Layout::Ordered, 0};
            ++m_lists;
            break;
        case Layout::Item: {
            owe(1);
            m_marker = true;
            m_number = 0;
            if (m_lists > 0 && m_lists <= kDeepest) {
                ListLevel &level = m_levels[std::size_t(m_lists - 1)];
                ++level.number;
                if (level.ordered)
                    m_number = level.number;
            }
            break;
        }
        case Layout::Quote:
            owe(2);
            ++m_quotes;
            break;
        case Layout::Pre:
            owe(2);
            ++m_pre;
            break;
        case Layout::Table:
        case Layout::Row:
            owe(1);
            m_cells = 0;
            m_tabs = 0;
            break;
        case Layout::Cell:
            if (m_cells > 0)
                ++m_tabs;
            ++m_cells;
            break;
        case Layout::Rule:
            owe(1);
            beforeText();
            reserve(kRuleWidth);
            std::memset(m_w, '-', kRuleWidth);
            m_w += kRuleWidth;
            owe(1);
            break;
        }
    }

    void end(Layout layout)
    {
        switch (layout) {
        case Layout::Inline:
        case Layout::Hidden:
        case Layout::Cell:
        case Layout::Rule:
            break;
        case Layout::Break: // "</br>" breaks the line as "<br>" does in browsers
            start(layout);
            break;
        case Layout::Block:
            owe(1);
            break;
        case Layout::Paragraph:
            owe(2);
            break;
        case Layout::List:
        case Layout::Ordered:
            if (m_lists > 0)
                --m_lists;
            owe(m_lists == 0 ? 2 : 1);
            break;
        case Layout::Item:
            owe(1);
            m_marker = false;
            break;
        case Layout::Quote:
            owe(2);
            if (m_quotes > 0)
                --m_quotes;
            break;
        case Layout::Pre:
            owe(2);
            if (m_pre > 0)
                --m_pre;
            break;
        case Layout::Table:
        case Layout::Row:
            owe(1);
            m_cells = 0;
            m_tabs = 0;
            break;
        }
    }

    QByteArrayView m_html;
    QByteArray &m_out;
    const qsizetype m_start;
    char *m_w = nullptr;
    char *m_end = nullptr;
    qsizetype m_lineAt = 0;   // where the line being written starts
    qsizetype m_textAt = 0;   // where its text starts, past quote marks and indent
    bool m_lastBlank = true;  // the line before was blank (as is the start)
    int m_breaks = 0;         // line breaks owed before the next text
    bool m_lineStart = true;  // the next text starts a line
    bool m_blank = false;     // a blank of the source is owed between words
    int m_tabs = 0;           // cells begun since the last text
    int m_cells = 0;          // cells begun in this row
    int m_quotes = 0;
    int m_lastQuotes = 0;     // the quotes around the last line written
    int m_pre = 0;
    int m_lists = 0;
    std::array<ListLevel, kDeepest> m_levels{};
    bool m_marker = false;    // an item's marker is owed
    qint64 m_number = 0;      // its number in an ordered list, 0 for a dash
};

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
    QByteArray out;
    appendPlainText(out, html);
    return out;
}

void appendPlainText(QByteArray &out, QByteArrayView html)
{
    PlainText(html, out).write();
}

}
