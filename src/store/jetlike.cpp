// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/jetlike.h"

#include "store/indexwords.h"

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

// Whether an overlong sequence starts at q (E0 80..9F, F0 80..8F): the decoder reads it as
// a character that has a shorter encoding, so there only decoding can tell what it equals.
bool overlongAt(const Byte *q, const Byte *end)
{
    return q + 1 < end && (*q == 0xE0 || *q == 0xF0) && q[1] >= 0x80 && q[1] < (*q == 0xE0 ? 0xA0 : 0x90);
}

bool hasOverlong(const Byte *p, const Byte *end)
{
    for (; p < end; ++p) {
        if (overlongAt(p, end))
            return true;
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
// equal to it. The general matcher compares ASCII-only words byte-wise as well; for other
// words a miss is final unless it came about at an overlong sequence, where the decoder
// may read a character the bytes do not show: then the general matcher decides.
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
        q.makeProbes();
        return q;
    }

    // Nothing when only the general matcher can tell.
    std::optional<bool> match(const Byte *text, const Byte *end) const
    {
        const std::size_t size = std::size_t(end - text);
        if (m_ascii) {
            switch (m_form) {
            case Exact:
                return size == m_lower.size() && asciiAt(text);
            case Prefix:
                return size >= m_lower.size() && asciiAt(text);
            case Suffix:
                return size >= m_lower.size() && asciiAt(end - m_lower.size());
            case Contains:
                return contains(text, end, nullptr);
            case None:
                break;
            }
            return std::nullopt;
        }
        bool hit = false;
        bool unsure = false;
        switch (m_form) {
        case Exact:
        case Prefix: {
            const Byte *stuck = nullptr;
            const Byte *e = unitsAt(text, end, &stuck);
            hit = m_form == Exact ? e == end : e != nullptr;
            unsure = !e && overlongAt(stuck, end);
            break;
        }
        case Suffix:
            // Stepping back over as many characters reads no more than four bytes each.
            hit = unitsEndAt(text, end);
            unsure = !hit && hasOverlong(end - std::min(size, 4 * m_units.size()), end);
            break;
        case Contains:
            hit = contains(text, end, &unsure);
            break;
        case None:
            return std::nullopt;
        }
        if (!hit && unsure)
            return std::nullopt;
        return hit;
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

    // Where the word matched at p ends, or null with *stuck where a character did not
    // match. Up to there the decoder reads the same characters; at *stuck it reads the same
    // one too unless an overlong sequence starts there.
    const Byte *unitsAt(const Byte *p, const Byte *end, const Byte **stuck) const
    {
        for (const Unit &u : m_units) {
            *stuck = p;
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

    // The bytes a match has `offset` bytes after its start: one of `bytes`.
    struct Probe
    {
        std::size_t offset = 0;
        std::vector<Byte> bytes;
    };

    static std::vector<Byte> bytesOf(const Unit &u, bool last)
    {
        std::vector<Byte> bytes;
        if (u.ascii) {
            bytes.push_back(u.lower);
            if (u.lower >= 'a' && u.lower <= 'z')
                bytes.push_back(Byte(u.lower - ('a' - 'A')));
        }
        for (const std::string &f : u.forms) {
            const Byte b = Byte(last ? f.back() : f.front());
            if (std::find(bytes.begin(), bytes.end(), b) == bytes.end())
                bytes.push_back(b);
        }
        return bytes;
    }

    // The word's first byte, and its last where every form of each character is as long
    // as the others (so the word's length in bytes is fixed); at most four bytes each,
    // for the vector compare.
    void makeProbes()
    {
        if (m_units.empty())
            return;
        bool fixed = true;
        for (const Unit &u : m_units) {
            const std::size_t shortest = u.ascii ? 1 : std::min_element(u.forms.begin(), u.forms.end(), [](const auto &x, const auto &y) {
                                                           return x.size() < y.size();
                                                       })->size();
            fixed = fixed && (u.ascii || std::all_of(u.forms.begin(), u.forms.end(), [&](const std::string &f) {
                                  return f.size() == shortest;
                              }));
            m_shortest += shortest;
        }
        m_probes.push_back(Probe{0, bytesOf(m_units.front(), false)});
        for (const Byte b : m_probes.front().bytes)
            m_first.set(b);
        if (fixed && m_shortest > 1)
            m_probes.push_back(Probe{m_shortest - 1, bytesOf(m_units.back(), true)});
        if (std::any_of(m_probes.begin(), m_probes.end(), [](const Probe &p) { return p.bytes.size() > 4; }))
            m_probes.clear();
    }

    // *unsure is set when the decoder might read a match where the bytes have none.
    bool wordAt(const Byte *p, const Byte *end, bool *unsure) const
    {
        if (m_ascii)
            return asciiAt(p);
        const Byte *stuck = nullptr;
        if (unitsAt(p, end, &stuck))
            return true;
        *unsure = *unsure || overlongAt(stuck, end);
        return false;
    }

    // A match starts only at a byte the first unit can start with, never a continuation
    // byte, so each such byte is a character's start for the decoder too. Sixteen places
    // are tried at a time: those holding the word's first byte (and its last at the end)
    // are checked whole.
    bool contains(const Byte *text, const Byte *end, bool *unsure) const
    {
        const std::size_t size = std::size_t(end - text);
        if (size < m_shortest)
            return false;
        const std::size_t lastStart = size - m_shortest;
        std::size_t i = 0;
        const bool hasLast = m_probes.size() > 1;
        static const std::vector<Byte> none;
        const std::vector<Byte> &firstBytes = m_probes.empty() ? none : m_probes.front().bytes;
        if (firstBytes.size() == 1 || (firstBytes.size() == 2 && firstBytes[0] >= 0x80 && firstBytes[1] >= 0x80)) {
            // One byte, or two lead bytes (rare in most text): the library's scan for a byte
            // is the fastest way to the places worth a look.
            const Byte *limit = text + lastStart + 1;
            const auto next = [limit](Byte b, const Byte *from) {
                const void *hit = std::memchr(from, b, std::size_t(limit - from));
                return hit ? static_cast<const Byte *>(hit) : limit;
            };
            const Byte *a = next(firstBytes[0], text);
            const Byte *b = firstBytes.size() == 2 ? next(firstBytes[1], text) : limit;
            for (;;) {
                const Byte *p = std::min(a, b);
                if (p == limit)
                    return false;
                if (wordAt(p, end, unsure))
                    return true;
                (p == a ? a : b) = next(*p, p + 1);
            }
        }
#if defined(__SSE2__)
        if (!m_probes.empty()) {
            // Two or four bytes compared, unused places repeating the first; an ASCII letter
            // is one compare with its case bit set.
            struct Compare
            {
                std::size_t offset = 0;
                bool four = false;
                __m128i byte[4] = {};
                __m128i caseBit = _mm_setzero_si128();

                explicit Compare(const Probe &p)
                    : offset(p.offset)
                    , four(p.bytes.size() > 2)
                {
                    const bool letter = p.bytes.size() == 2 && (p.bytes[0] ^ p.bytes[1]) == 0x20 && p.bytes[0] >= 'a'
                                        && p.bytes[0] <= 'z';
                    if (letter)
                        caseBit = _mm_set1_epi8(0x20);
                    for (std::size_t k = 0; k < 4; ++k)
                        byte[k] = _mm_set1_epi8(char(k < p.bytes.size() && !letter ? p.bytes[k] : p.bytes[0]));
                }
                __m128i at(const Byte *p) const
                {
                    const __m128i block = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + offset)), caseBit);
                    const __m128i two = _mm_or_si128(_mm_cmpeq_epi8(block, byte[0]), _mm_cmpeq_epi8(block, byte[1]));
                    if (!four)
                        return two;
                    return _mm_or_si128(two, _mm_or_si128(_mm_cmpeq_epi8(block, byte[2]), _mm_cmpeq_epi8(block, byte[3])));
                }
            };
            const Compare first(m_probes.front());
            const Compare last(m_probes.back());
            const std::size_t reach = last.offset;
            for (; i + reach + 16 <= size && i <= lastStart; i += 16) {
                __m128i both = first.at(text + i);
                if (hasLast)
                    both = _mm_and_si128(both, last.at(text + i));
                for (unsigned mask = unsigned(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
                    const std::size_t start = i + unsigned(__builtin_ctz(mask));
                    if (start <= lastStart && wordAt(text + start, end, unsure))
                        return true;
                }
            }
        }
#endif
        for (; i <= lastStart; ++i) {
            if (m_first.test(text[i]) && wordAt(text + i, end, unsure))
                return true;
        }
        return false;
    }

    Form m_form = None;
    bool m_ascii = true; // every unit ASCII: m_lower is the word
    std::string m_lower;
    std::vector<Unit> m_units;
    std::size_t m_shortest = 0; // bytes of the word's shortest form
    std::vector<Probe> m_probes;
    std::bitset<256> m_first; // the bytes a match can start with
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

std::unique_ptr<JetLike> JetLike::wholeWords(const QString &words)
{
    std::unique_ptr<JetLike> form = literal(QString());
    form->m_wholeWords = true;
    const QByteArray utf8 = words.toUtf8();
    IndexWords::forEachSpan(utf8, [&](qsizetype start, qsizetype length) {
        form->m_words.push_back(literal(QString::fromUtf8(utf8.constData() + start, length)));
    });
    return form;
}

bool JetLike::matchesWords(const char *utf8, std::size_t size) const
{
    if (m_words.empty())
        return false;
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    IndexWords::forEachSpan(QByteArrayView(utf8 ? utf8 : "", qsizetype(size)),
                            [&](qsizetype start, qsizetype length) { spans.emplace_back(start, length); });
    for (std::size_t first = 0; first + m_words.size() <= spans.size(); ++first) {
        std::size_t k = 0;
        while (k < m_words.size()
               && m_words[k]->matches(utf8 + spans[first + k].first, std::size_t(spans[first + k].second)))
            ++k;
        if (k == m_words.size())
            return true;
    }
    return false;
}

bool JetLike::matches(const char *utf8, std::size_t size) const
{
    if (m_wholeWords)
        return matchesWords(utf8, size);
    const auto *text = reinterpret_cast<const Byte *>(utf8 ? utf8 : "");
    return m_program->match(text, text + size);
}

bool JetLike::matchesGenerally(const char *utf8, std::size_t size) const
{
    if (m_wholeWords)
        return matchesWords(utf8, size);
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
    if (m_wholeWords || !m_program->onlyLiteral)
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
