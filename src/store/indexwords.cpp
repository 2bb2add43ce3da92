// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/indexwords.h"

namespace IndexWords {

namespace {

#if defined(__GNUC__)
// Sixteen bytes at a time (the compiler's vector types: SSE2 on x86-64, NEON on arm64).
using Bytes = unsigned char __attribute__((vector_size(16)));
constexpr qsizetype kLanes = 16;

// 0xff in the lanes that hold a word byte: outside ASCII, a digit or a letter.
inline Bytes wordLanes(Bytes b)
{
    const Bytes outside = Bytes(b >= 0x80);
    const Bytes digit = Bytes(Bytes(b - '0') < 10);
    const Bytes letter = Bytes(Bytes((b | 0x20) - 'a') < 26);
    return outside | digit | letter;
}

inline Bytes load(const unsigned char *p)
{
    Bytes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline qint64 laneSum(Bytes v)
{
    qint64 sum = 0;
    for (qsizetype i = 0; i < kLanes; ++i)
        sum += v[i];
    return sum;
}
#endif

} // namespace

qint64 count(QByteArrayView utf8)
{
    // Counts the starts of words (a word byte after a byte that is none, or at the start):
    // the check of an untrusted index counts every word of the archive, so each sixteen
    // bytes are looked at together, beside the sixteen one byte before them.
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const qsizetype n = utf8.size();
    qint64 words = 0;
    qsizetype i = 0;
#if defined(__GNUC__)
    if (n > kLanes) {
        words = isWordByte(char(p[0])) ? 1 : 0;
        i = 1;
        Bytes counts{};
        int rounds = 0;
        for (; i + kLanes <= n; i += kLanes) {
            // A lane is 0xff (minus one) where a word starts.
            counts -= wordLanes(load(p + i)) & ~wordLanes(load(p + i - 1));
            if (++rounds == 255) {
                words += laneSum(counts);
                counts = Bytes{};
                rounds = 0;
            }
        }
        words += laneSum(counts);
    }
#endif
    bool inWord = i > 0 && isWordByte(char(p[i - 1]));
    for (; i < n; ++i) {
        const bool w = isWordByte(char(p[i]));
        words += w && !inWord ? 1 : 0;
        inWord = w;
    }
    return words;
}

bool WordSet::insert(const std::string &word, quint64 hash)
{
    if (m_slots.empty() || 2 * (m_order.size() + 1) > m_slots.size())
        grow();
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = std::size_t(hash) & mask;; at = (at + 1) & mask) {
        Slot &s = m_slots[at];
        if (s.length == 0) {
            s = {hash, quint32(m_arena.size()), quint32(word.size())};
            m_arena += word;
            m_order.push_back(quint32(at));
            return true;
        }
        if (s.hash == hash && s.length == word.size() && std::memcmp(m_arena.data() + s.start, word.data(), word.size()) == 0)
            return false;
    }
}

void WordSet::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(1024, old.size() * 2), Slot{});
    const std::size_t mask = m_slots.size() - 1;
    for (quint32 &at : m_order) {
        const Slot s = old[at];
        std::size_t to = std::size_t(s.hash) & mask;
        while (m_slots[to].length != 0)
            to = (to + 1) & mask;
        m_slots[to] = s;
        at = quint32(to);
    }
}

}
