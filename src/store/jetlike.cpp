#include "jetlike.h"

#include <QChar>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Byte = unsigned char;

// A byte that does not start valid UTF-8 counts as one character of its own, numbered
// above the Unicode range so that it equals no pattern character.
constexpr char32_t kInvalidBase = 0x110000;
constexpr char32_t kLastCodePoint = 0x10FFFF;
// No character above this has a case mapping.
constexpr char32_t kLastCased = 0x1FFFF;

constexpr char32_t asciiLower(char32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

constexpr std::array<Byte, 256> makeLowerTable()
{
    std::array<Byte, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
        table[i] = Byte(asciiLower(i));
    return table;
}
constexpr std::array<Byte, 256> kLower = makeLowerTable();

// Simple Unicode case folding, except that nothing outside ASCII folds into ASCII (the
// Kelvin sign stays apart from "k"): that is what lets ASCII pattern text be compared
// byte-wise against UTF-8.
char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return asciiLower(c);
    if (c > kLastCased)
        return c;
    const char32_t folded = QChar::toCaseFolded(c);
    return folded < 0x80 ? c : folded;
}

// For each folded non-ASCII character, the other characters that fold to it.
const std::unordered_map<char32_t, std::vector<char32_t>> &foldGroups()
{
    static const auto groups = [] {
        std::unordered_map<char32_t, std::vector<char32_t>> map;
        for (char32_t c = 0x80; c <= kLastCased; ++c) {
            const char32_t folded = foldCase(c);
            if (folded != c)
                map[folded].push_back(c);
        }
        return map;
    }();
    return groups;
}

// Every character that compares equal to c, c included.
std::vector<char32_t> caseVariants(char32_t c)
{
    const char32_t folded = foldCase(c);
    std::vector<char32_t> variants{folded};
    if (folded < 0x80) {
        if (folded >= 'a' && folded <= 'z')
            variants.push_back(folded - ('a' - 'A'));
    } else {
        const auto &groups = foldGroups();
        if (const auto it = groups.find(folded); it != groups.end())
            variants.insert(variants.end(), it->second.begin(), it->second.end());
    }
    return variants;
}

Byte firstUtf8Byte(char32_t c)
{
    if (c < 0x80)
        return Byte(c);
    if (c < 0x800)
        return Byte(0xC0 | (c >> 6));
    if (c < 0x10000)
        return Byte(0xE0 | (c >> 12));
    return Byte(0xF0 | (c >> 18));
}

// Decodes one character at p (p < end). Malformed or truncated sequences give one
// invalid character per byte; only continuation bytes are ever taken into a sequence, so
// every byte that is not a continuation byte starts a character.
inline char32_t decode(const Byte *p, const Byte *end, int *length)
{
    const Byte b = *p;
    if (b < 0x80) {
        *length = 1;
        return b;
    }
    int n = 0;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        c = b & 0x07;
    }
    if (n == 0 || end - p < n) {
        *length = 1;
        return kInvalidBase + b;
    }
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            *length = 1;
            return kInvalidBase + b;
        }
        c = (c << 6) | (p[i] & 0x3F);
    }
    *length = n;
    return c;
}

// The start of the character that ends at e, not going below lo.
inline const Byte *stepBack(const Byte *lo, const Byte *e, const Byte *end)
{
    if ((e[-1] & 0xC0) != 0x80)
        return e - 1;
    for (int k = 2; k <= 4 && e - k >= lo; ++k) {
        const Byte *q = e - k;
        if ((*q & 0xC0) == 0x80)
            continue;
        int length = 0;
        decode(q, end, &length);
        return length == k ? q : e - 1;
    }
    return e - 1;
}

// How often a byte turns up in message bodies (HTML mail), roughly; the rarest byte of a
// literal is the one searched for.
int byteFrequency(Byte b)
{
    static constexpr char kLetters[] = "etaoinsrhldcumfpgwybvkxjqz"; // most frequent first
    b = kLower[b];
    if (b == ' ')
        return 100;
    if (const char *at = std::strchr(kLetters, b); at && b != 0)
        return 90 - int(at - kLetters) * 3;
    if (b == '<' || b == '>' || b == '/' || b == '=' || b == '"' || b == '.' || b == ',')
        return 60;
    if (b >= '0' && b <= '9')
        return 30;
    return 10;
}

// Whether the text holds a sequence the decoder reads as a character that also has a
// shorter encoding (E0 80..9F .., F0 80..8F ..): there the same character has other bytes,
// so only decoding can tell what it equals.
bool hasOverlong(const Byte *p, const Byte *end)
{
    for (const auto &[lead, limit] : {std::pair<Byte, Byte>{0xE0, 0xA0}, std::pair<Byte, Byte>{0xF0, 0x90}}) {
        for (const Byte *q = p; q < end; ++q) {
            q = static_cast<const Byte *>(std::memchr(q, lead, std::size_t(end - q)));
            if (!q)
                break;
            if (q + 1 < end && q[1] >= 0x80 && q[1] < limit)
                return true;
        }
    }
    return false;
}

std::string utf8(char32_t c)
{
    std::string s;
    if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
    } else {
        s += char(0xF0 | (c >> 18));
        s += char(0x80 | ((c >> 12) & 0x3F));
        s += char(0x80 | ((c >> 6) & 0x3F));
    }
    s += char(0x80 | (c & 0x3F));
    return s;
}

// The patterns a search builds, "*word*", "word*", "*word" and "word" (and "="), matched on
// the stored bytes without decoding them. The word's case is folded once: an ASCII letter
// is compared as its two bytes, any other character as the UTF-8 bytes of each character
// equal to it. A miss is final unless the word has a non-ASCII character and the text an
// overlong sequence (see hasOverlong); then the general matcher decides. Ascii-only words
// the general matcher compares byte-wise as well, so they never need it.
class QuickMatch
{
public:
    enum Form : unsigned char { None, Exact, Prefix, Suffix, Contains };

    // Nothing when a character of the word equals no character at all.
    static std::optional<QuickMatch> make(Form form, const std::u32string &folded)
    {
        QuickMatch q;
        q.m_form = form;
        for (const char32_t c : folded) {
            Unit unit;
            if (c < 0x80) {
                unit.lower = Byte(c);
                q.m_lower.push_back(char(c));
            } else {
                q.m_ascii = false;
                unit.ascii = false;
                if (foldCase(c) == c)
                    unit.forms.push_back(utf8(c));
                if (const auto it = foldGroups().find(c); it != foldGroups().end()) {
                    for (const char32_t v : it->second)
                        unit.forms.push_back(utf8(v));
                }
                if (unit.forms.empty())
                    return std::nullopt;
            }
            q.m_units.push_back(std::move(unit));
        }
        if (!q.m_units.empty()) {
            const Unit &head = q.m_units.front();
            if (head.ascii) {
                q.m_first.set(head.lower);
                q.m_first.set(Byte(head.lower >= 'a' && head.lower <= 'z' ? head.lower - ('a' - 'A') : head.lower));
            } else {
                for (const std::string &f : head.forms)
                    q.m_first.set(Byte(f[0]));
            }
        }
        return q;
    }

    // Nothing when only the general matcher can tell.
    std::optional<bool> match(const Byte *text, const Byte *end) const
    {
        bool hit = false;
        switch (m_form) {
        case Exact:
            hit = m_ascii ? std::size_t(end - text) == m_lower.size() && asciiAt(text) : unitsAt(text, end) == end;
            break;
        case Prefix:
            hit = m_ascii ? std::size_t(end - text) >= m_lower.size() && asciiAt(text) : unitsAt(text, end) != nullptr;
            break;
        case Suffix:
            hit = m_ascii ? std::size_t(end - text) >= m_lower.size() && asciiAt(end - m_lower.size())
                          : unitsEndAt(text, end);
            break;
        case Contains:
            hit = m_ascii ? containsAscii(text, end) : containsUnits(text, end);
            break;
        case None:
            return std::nullopt;
        }
        if (hit || m_ascii || !hasOverlong(text, end))
            return hit;
        return std::nullopt;
    }

private:
    struct Unit
    {
        bool ascii = true;
        Byte lower = 0;                 // ASCII: the byte, lowercase
        std::vector<std::string> forms; // otherwise: every character equal to it, as UTF-8
    };

    bool asciiAt(const Byte *p) const
    {
        for (std::size_t i = 0; i < m_lower.size(); ++i) {
            if (kLower[p[i]] != Byte(m_lower[i]))
                return false;
        }
        return true;
    }

    // Where the word matched at p ends, or null.
    const Byte *unitsAt(const Byte *p, const Byte *end) const
    {
        for (const Unit &u : m_units) {
            if (p >= end)
                return nullptr;
            if (u.ascii) {
                if (kLower[*p] != u.lower)
                    return nullptr;
                ++p;
                continue;
            }
            const auto form = std::find_if(u.forms.begin(), u.forms.end(), [&](const std::string &f) {
                return std::size_t(end - p) >= f.size() && std::memcmp(p, f.data(), f.size()) == 0;
            });
            if (form == u.forms.end())
                return nullptr;
            p += form->size();
        }
        return p;
    }

    // UTF-8 is suffix-free as well, so the word matches backwards from the end in one way only.
    bool unitsEndAt(const Byte *text, const Byte *end) const
    {
        const Byte *e = end;
        for (auto u = m_units.rbegin(); u != m_units.rend(); ++u) {
            if (e <= text)
                return false;
            if (u->ascii) {
                if (kLower[e[-1]] != u->lower)
                    return false;
                --e;
                continue;
            }
            const auto form = std::find_if(u->forms.begin(), u->forms.end(), [&](const std::string &f) {
                return std::size_t(e - text) >= f.size() && std::memcmp(e - f.size(), f.data(), f.size()) == 0;
            });
            if (form == u->forms.end())
                return false;
            e -= form->size();
        }
        return true;
    }

    // A match starts only at a byte the first unit can start with, never a continuation
    // byte, so each such byte is a character's start for the decoder too.
    bool containsUnits(const Byte *text, const Byte *end) const
    {
        for (const Byte *p = text; p < end; ++p) {
            if (m_first.test(*p) && unitsAt(p, end))
                return true;
        }
        return false;
    }

    // Sixteen places at a time: those where the word's first and last bytes both match
    // (an ASCII letter either case: the 0x20 bit is all that case changes) are checked whole.
    bool containsAscii(const Byte *text, const Byte *end) const
    {
        const std::size_t n = m_lower.size();
        const std::size_t size = std::size_t(end - text);
        if (size < n)
            return false;
        const Byte first = Byte(m_lower.front());
        const Byte last = Byte(m_lower.back());
        std::size_t i = 0;
#if defined(__SSE2__)
        const auto caseBit = [](Byte b) { return char(b >= 'a' && b <= 'z' ? 0x20 : 0); };
        const __m128i firstByte = _mm_set1_epi8(char(first));
        const __m128i lastByte = _mm_set1_epi8(char(last));
        const __m128i firstCase = _mm_set1_epi8(caseBit(first));
        const __m128i lastCase = _mm_set1_epi8(caseBit(last));
        for (; i + n - 1 + 16 <= size; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i + n - 1));
            const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstCase), firstByte),
                                               _mm_cmpeq_epi8(_mm_or_si128(b, lastCase), lastByte));
            for (unsigned mask = unsigned(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
                if (asciiAt(text + i + unsigned(__builtin_ctz(mask))))
                    return true;
            }
        }
#endif
        for (; i + n <= size; ++i) {
            if (kLower[text[i]] == first && asciiAt(text + i))
                return true;
        }
        return false;
    }

    Form m_form = None;
    bool m_ascii = true; // every unit ASCII: m_lower is the word
    std::string m_lower;
    std::vector<Unit> m_units;
    std::bitset<256> m_first;
};

} // namespace

struct JetLike::Program
{
    struct CharSet
    {
        bool negated = false;
        std::bitset<128> ascii; // the whole answer, negation included, for ASCII text
        std::vector<char32_t> singles; // folded
        std::vector<std::pair<char32_t, char32_t>> ranges;

        bool contains(char32_t c) const
        {
            const char32_t folded = foldCase(c);
            if (std::find(singles.begin(), singles.end(), folded) != singles.end())
                return true;
            if (ranges.empty())
                return false;
            for (const char32_t v : caseVariants(c)) {
                for (const auto &[lo, hi] : ranges) {
                    if (v >= lo && v <= hi)
                        return true;
                }
            }
            return false;
        }
        void finish()
        {
            for (char32_t c = 0; c < 128; ++c)
                ascii[c] = contains(c) != negated;
        }
        bool matches(char32_t c) const
        {
            return c < 128 ? ascii[c] : contains(c) != negated;
        }
    };

    struct Token
    {
        enum Kind : unsigned char { Literal, Any, Digit, Set };
        Kind kind = Literal;
        char32_t c = 0; // Literal: folded; Set: index into sets
    };

    struct Segment
    {
        std::vector<Token> tokens;
        // Every token an ASCII literal: matched byte by byte against `lower`.
        bool ascii = false;
        std::string lower;
        std::size_t anchor = 0; // offset of the byte searched for
        Byte anchorA = 0;
        Byte anchorB = 0;
        // Otherwise, when the first token is a literal or a digit: the bytes a match can start with.
        bool scanFirst = false;
        std::bitset<256> first;
        int firstCount = 0; // when 1 or 2, scanned for with memchr
        Byte firstA = 0;
        Byte firstB = 0;
    };

    std::vector<Segment> segments; // split at "*"; empty inner ones dropped
    std::optional<QuickMatch> quick;
    bool star = false;
    std::vector<CharSet> sets;
    bool onlyLiteral = true;
    QString literal;

    void addToken(std::vector<Token> *tokens, Token::Kind kind, char32_t c)
    {
        tokens->push_back(Token{kind, c});
    }

    void finish(std::vector<std::vector<Token>> parts)
    {
        star = parts.size() > 1;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const bool inner = i > 0 && i + 1 < parts.size();
            if (inner && parts[i].empty())
                continue;
            segments.push_back(makeSegment(std::move(parts[i])));
        }
        findQuickForm();
    }

    void findQuickForm()
    {
        const auto empty = [this](std::size_t i) { return segments[i].tokens.empty(); };
        QuickMatch::Form form = QuickMatch::None;
        std::size_t word = 0;
        if (!star) {
            form = QuickMatch::Exact;
        } else if (segments.size() == 3 && empty(0) && empty(2)) {
            form = QuickMatch::Contains;
            word = 1;
        } else if (segments.size() == 2 && !empty(0) && empty(1)) {
            form = QuickMatch::Prefix;
        } else if (segments.size() == 2 && empty(0) && !empty(1)) {
            form = QuickMatch::Suffix;
            word = 1;
        } else {
            return;
        }
        std::u32string folded;
        for (const Token &t : segments[word].tokens) {
            if (t.kind != Token::Literal)
                return;
            folded.push_back(t.c);
        }
        quick = QuickMatch::make(form, folded);
    }

    Segment makeSegment(std::vector<Token> tokens) const
    {
        Segment s;
        s.tokens = std::move(tokens);
        if (s.tokens.empty())
            return s;
        s.ascii = std::all_of(s.tokens.begin(), s.tokens.end(), [](const Token &t) {
            return t.kind == Token::Literal && t.c < 0x80;
        });
        if (s.ascii) {
            for (const Token &t : s.tokens)
                s.lower.push_back(char(t.c));
            int best = 1000;
            for (std::size_t i = 0; i < s.lower.size(); ++i) {
                const int f = byteFrequency(Byte(s.lower[i]));
                if (f < best) {
                    best = f;
                    s.anchor = i;
                }
            }
            s.anchorA = Byte(s.lower[s.anchor]);
            s.anchorB = (s.anchorA >= 'a' && s.anchorA <= 'z') ? Byte(s.anchorA - ('a' - 'A')) : s.anchorA;
            return s;
        }
        const Token &head = s.tokens.front();
        if (head.kind == Token::Literal) {
            for (const char32_t v : caseVariants(head.c))
                s.first.set(firstUtf8Byte(v));
            s.scanFirst = true;
        } else if (head.kind == Token::Digit) {
            for (Byte d = '0'; d <= '9'; ++d)
                s.first.set(d);
            s.scanFirst = true;
        }
        if (s.scanFirst && s.first.count() <= 2) {
            for (int b = 0; b < 256; ++b) {
                if (s.first.test(std::size_t(b)))
                    (s.firstCount++ == 0 ? s.firstA : s.firstB) = Byte(b);
            }
        }
        return s;
    }

    // Where a match of s that starts at p ends, or null.
    const Byte *matchAt(const Segment &s, const Byte *p, const Byte *end) const
    {
        if (s.ascii) {
            const std::size_t n = s.lower.size();
            if (std::size_t(end - p) < n)
                return nullptr;
            for (std::size_t i = 0; i < n; ++i) {
                if (kLower[p[i]] != Byte(s.lower[i]))
                    return nullptr;
            }
            return p + n;
        }
        for (const Token &t : s.tokens) {
            if (p >= end)
                return nullptr;
            int length = 1;
            const char32_t c = *p < 0x80 ? char32_t(*p) : decode(p, end, &length);
            switch (t.kind) {
            case Token::Literal:
                if ((t.c < 0x80 ? asciiLower(c) : foldCase(c)) != t.c)
                    return nullptr;
                break;
            case Token::Any:
                break;
            case Token::Digit:
                if (c < '0' || c > '9')
                    return nullptr;
                break;
            case Token::Set:
                if (!sets[t.c].matches(c))
                    return nullptr;
                break;
            }
            p += length;
        }
        return p;
    }

    // The leftmost match of the inner (never empty) segment s that starts at or after from
    // and ends by limit. Taking the leftmost one is safe because each segment matches a
    // fixed number of characters.
    bool find(const Segment &s, const Byte *from, const Byte *limit, const Byte **matchEnd) const
    {
        if (s.ascii) {
            const std::size_t n = s.lower.size();
            if (from > limit || std::size_t(limit - from) < n)
                return false;
            const Byte *scan = from + s.anchor;
            const Byte *scanEnd = limit - n + s.anchor + 1; // past the last possible anchor
            auto next = [&](Byte b, const Byte *at) {
                const void *hit = std::memchr(at, b, std::size_t(scanEnd - at));
                return hit ? static_cast<const Byte *>(hit) : scanEnd;
            };
            const Byte *nextA = next(s.anchorA, scan);
            const Byte *nextB = s.anchorA == s.anchorB ? scanEnd : next(s.anchorB, scan);
            while (true) {
                const Byte *q = std::min(nextA, nextB);
                if (q >= scanEnd)
                    return false;
                if (const Byte *e = matchAt(s, q - s.anchor, limit)) {
                    *matchEnd = e;
                    return true;
                }
                if (q == nextA)
                    nextA = next(s.anchorA, q + 1);
                if (q == nextB)
                    nextB = next(s.anchorB, q + 1);
            }
        }
        auto next = [limit](Byte b, const Byte *at) {
            const void *hit = std::memchr(at, b, std::size_t(limit - at));
            return hit ? static_cast<const Byte *>(hit) : limit;
        };
        const Byte *p = from;
        const Byte *nextA = s.firstCount == 2 ? next(s.firstA, p) : nullptr;
        const Byte *nextB = s.firstCount == 2 ? next(s.firstB, p) : nullptr;
        while (p < limit) {
            if (s.firstCount == 1) {
                p = next(s.firstA, p);
                if (p == limit)
                    return false;
            } else if (s.firstCount == 2) {
                if (nextA < p)
                    nextA = next(s.firstA, p);
                if (nextB < p)
                    nextB = next(s.firstB, p);
                p = std::min(nextA, nextB);
                if (p == limit)
                    return false;
            } else if (s.scanFirst) {
                while (p < limit && !s.first.test(*p))
                    ++p;
                if (p == limit)
                    return false;
            }
            if (const Byte *e = matchAt(s, p, limit)) {
                *matchEnd = e;
                return true;
            }
            int length = 1;
            // A scanned-for byte is never a continuation byte, so one byte on is safe too.
            if (!s.scanFirst && *p >= 0x80)
                decode(p, limit, &length);
            p += length;
        }
        return false;
    }

    bool match(const Byte *text, const Byte *end) const
    {
        if (quick) {
            if (const std::optional<bool> quickly = quick->match(text, end))
                return *quickly;
        }
        return matchGeneral(text, end);
    }

    bool matchGeneral(const Byte *text, const Byte *end) const
    {
        if (!star)
            return matchAt(segments.front(), text, end) == end;
        const Byte *p = text;
        const Segment &head = segments.front();
        if (!head.tokens.empty()) {
            p = matchAt(head, p, end);
            if (!p)
                return false;
        }
        const Segment &tail = segments.back();
        const Byte *limit = end;
        if (!tail.tokens.empty()) {
            const Byte *q = end;
            if (tail.ascii) {
                if (std::size_t(end - p) < tail.lower.size())
                    return false;
                q = end - tail.lower.size();
            } else {
                for (std::size_t i = 0; i < tail.tokens.size(); ++i) {
                    if (q <= p)
                        return false;
                    q = stepBack(p, q, end);
                }
            }
            if (matchAt(tail, q, end) != end)
                return false;
            limit = q;
        }
        for (std::size_t i = 1; i + 1 < segments.size(); ++i) {
            const Byte *e = nullptr;
            if (!find(segments[i], p, limit, &e))
                return false;
            p = e;
        }
        return true;
    }
};

JetLike::JetLike(std::unique_ptr<Program> program)
    : m_program(std::move(program))
{
}

JetLike::~JetLike() = default;

std::unique_ptr<JetLike> JetLike::compile(const QString &pattern, QString *error)
{
    using Token = Program::Token;
    auto program = std::make_unique<Program>();
    const std::u32string chars = pattern.toStdU32String();
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Invalid pattern string: ") + why;
        return std::unique_ptr<JetLike>();
    };

    std::vector<std::vector<Token>> parts(1);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        auto &tokens = parts.back();
        switch (c) {
        case '*':
            program->onlyLiteral = false;
            parts.emplace_back();
            break;
        case '?':
            program->onlyLiteral = false;
            program->addToken(&tokens, Token::Any, 0);
            break;
        case '#':
            program->onlyLiteral = false;
            program->addToken(&tokens, Token::Digit, 0);
            break;
        case '[': {
            program->onlyLiteral = false;
            const std::size_t close = chars.find(U']', i + 1);
            if (close == std::u32string::npos)
                return fail(QStringLiteral("\"[\" without a closing \"]\""));
            const std::u32string body = chars.substr(i + 1, close - i - 1);
            i = close;
            if (body.empty())
                break; // "[]" matches the empty string
            Program::CharSet set;
            std::size_t k = 0;
            // A lone "!" is the character itself; it negates only a list that follows it.
            if (body.size() > 1 && body[0] == '!') {
                set.negated = true;
                k = 1;
            }
            for (; k < body.size(); ++k) {
                if (k + 2 < body.size() && body[k + 1] == '-') {
                    const char32_t lo = body[k];
                    const char32_t hi = body[k + 2];
                    if (lo > hi)
                        return fail(QStringLiteral("descending range \"%1-%2\"")
                                        .arg(QString::fromUcs4(&lo, 1), QString::fromUcs4(&hi, 1)));
                    set.ranges.emplace_back(lo, hi);
                    k += 2;
                } else {
                    set.singles.push_back(foldCase(body[k]));
                }
            }
            if (!set.negated && set.ranges.empty() && set.singles.size() == 1) {
                program->addToken(&tokens, Token::Literal, set.singles.front());
                break;
            }
            set.finish();
            program->sets.push_back(std::move(set));
            program->addToken(&tokens, Token::Set, char32_t(program->sets.size() - 1));
            break;
        }
        default:
            program->addToken(&tokens, Token::Literal, foldCase(c));
            program->literal.append(QString::fromUcs4(&c, 1));
            break;
        }
    }
    program->finish(std::move(parts));
    return std::unique_ptr<JetLike>(new JetLike(std::move(program)));
}

std::unique_ptr<JetLike> JetLike::literal(const QString &text)
{
    auto program = std::make_unique<Program>();
    std::vector<Program::Token> tokens;
    for (const char32_t c : text.toStdU32String())
        program->addToken(&tokens, Program::Token::Literal, foldCase(c));
    program->literal = text;
    std::vector<std::vector<Program::Token>> parts;
    parts.push_back(std::move(tokens));
    program->finish(std::move(parts));
    return std::unique_ptr<JetLike>(new JetLike(std::move(program)));
}

bool JetLike::matches(const char *utf8, std::size_t size) const
{
    const auto *text = reinterpret_cast<const Byte *>(utf8 ? utf8 : "");
    return m_program->match(text, text + size);
}

bool JetLike::matchesGenerally(const char *utf8, std::size_t size) const
{
    const auto *text = reinterpret_cast<const Byte *>(utf8 ? utf8 : "");
    return m_program->matchGeneral(text, text + size);
}

bool JetLike::matches(const QString &text) const
{
    const QByteArray utf8 = text.toUtf8();
    return matches(utf8.constData(), std::size_t(utf8.size()));
}

std::optional<QString> JetLike::literalText() const
{
    if (!m_program->onlyLiteral)
        return std::nullopt;
    return m_program->literal;
}

namespace {

void deletePattern(void *pattern)
{
    delete static_cast<JetLike *>(pattern);
}

void sqlJetLike(sqlite3_context *context, int, sqlite3_value **argv)
{
    // A bound pattern object reads as NULL to SQL, so it is looked for before the NULL test.
    const auto *bound = static_cast<const JetLike *>(sqlite3_value_pointer(argv[0], JetLike::kPointerType));
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || (!bound && sqlite3_value_type(argv[0]) == SQLITE_NULL)) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int size = sqlite3_value_bytes(argv[1]);
    if (!text) {
        // An empty blob has no text pointer; anything else is out of memory.
        if (size != 0) {
            sqlite3_result_error_nomem(context);
            return;
        }
        text = "";
    }

    if (bound) {
        sqlite3_result_int(context, bound->matches(text, std::size_t(size)) ? 1 : 0);
        return;
    }
    if (const auto *cached = static_cast<const JetLike *>(sqlite3_get_auxdata(context, 0))) {
        sqlite3_result_int(context, cached->matches(text, std::size_t(size)) ? 1 : 0);
        return;
    }
    const auto *patternText = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int patternSize = sqlite3_value_bytes(argv[0]);
    QString error;
    std::unique_ptr<JetLike> compiled = JetLike::compile(QString::fromUtf8(patternText, patternSize), &error);
    if (!compiled) {
        const QByteArray message = error.toUtf8();
        sqlite3_result_error(context, message.constData(), int(message.size()));
        return;
    }
    sqlite3_result_int(context, compiled->matches(text, std::size_t(size)) ? 1 : 0);
    // SQLite may free the pattern before this call returns, so it is handed over last.
    sqlite3_set_auxdata(context, 0, compiled.release(), deletePattern);
}

} // namespace

bool JetLike::registerSqlFunction(sqlite3 *db, QString *error)
{
    const int rc = sqlite3_create_function_v2(db, kSqlFunction, 2,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                              nullptr, sqlJetLike, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = QStringLiteral("Cannot register the like function: ") + QString::fromUtf8(sqlite3_errstr(rc));
        return false;
    }
    return true;
}
