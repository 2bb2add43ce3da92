// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

// How the search index splits a text into words, byte for byte as SQLite FTS5's "ascii"
// tokenizer does: a word is a run of ASCII letters and digits and of bytes outside ASCII;
// every other byte separates words; ASCII letters are folded to lower case, nothing else.
// The index's own lists of words are made here, so they hold exactly the index's terms.
namespace IndexWords {

// FTS5 keeps only this many bytes of a longer word; a word this long may be cut.
constexpr qsizetype kLongest = 32768;

constexpr bool isWordByteValue(unsigned char b)
{
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// Looked up rather than compared: every byte of every message passes here in a build.
inline constexpr auto kWordBytes = [] {
    std::array<bool, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[std::size_t(b)] = isWordByteValue(static_cast<unsigned char>(b));
    return table;
}();

inline bool isWordByte(char c)
{
    return kWordBytes[static_cast<unsigned char>(c)];
}

inline char folded(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Calls f(start, length) for each word of a UTF-8 text (a NUL is a separator like any
// other), the length cut as the index keeps the word.
template<typename F>
void forEachSpan(QByteArrayView utf8, F &&f)
{
    const char *p = utf8.data();
    const qsizetype n = utf8.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && !isWordByte(p[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && isWordByte(p[i]))
            ++i;
        if (i == start)
            break;
        f(start, std::min(i - start, kLongest));
    }
}

// Calls f(word) for each word of a UTF-8 text, folded and cut as the index keeps it.
template<typename F>
void forEach(QByteArrayView utf8, F &&f)
{
    QByteArray word;
    forEachSpan(utf8, [&](qsizetype start, qsizetype length) {
        word.resize(length);
        std::transform(utf8.data() + start, utf8.data() + start + length, word.data(), folded);
        f(word);
    });
}

// How many words the index takes from a text: the size it records for it.
qint64 count(QByteArrayView utf8);

// The distinct words of many texts, in the order first met. Listing the words of a whole
// archive looks up every word of every message, nearly all of them known already, so the
// lookup folds, hashes and compares in place.
class WordSet final
{
public:
    // Adds the words of a text; calls f(word) for each one not in the set before.
    template<typename F>
    void addText(QByteArrayView utf8, F &&f)
    {
        forEachSpan(utf8, [&](qsizetype start, qsizetype length) {
            m_word.resize(std::size_t(length));
            quint64 hash = kHashStart;
            for (qsizetype k = 0; k < length; ++k) {
                const char c = folded(utf8[start + k]);
                m_word[std::size_t(k)] = c;
                hash = (hash ^ static_cast<unsigned char>(c)) * kHashPrime;
            }
            if (insert(m_word, hash))
                f(QByteArrayView(m_word.data(), length));
        });
    }
    void addText(QByteArrayView utf8)
    {
        addText(utf8, [](QByteArrayView) {});
    }

    qsizetype size() const { return qsizetype(m_order.size()); }
    QByteArrayView word(qsizetype i) const
    {
        const Slot &s = m_slots[m_order[std::size_t(i)]];
        return QByteArrayView(m_arena.data() + s.start, qsizetype(s.length));
    }

private:
    static constexpr quint64 kHashStart = 14695981039346656037ull; // FNV-1a
    static constexpr quint64 kHashPrime = 1099511628211ull;
    struct Slot
    {
        quint64 hash = 0;
        quint32 start = 0;
        quint32 length = 0; // 0: empty; a word is never empty
    };
    // True when the word was not there and is now.
    bool insert(const std::string &word, quint64 hash);
    void grow();

    std::vector<Slot> m_slots;
    std::vector<quint32> m_order; // slot numbers in the order the words came
    std::string m_arena;
    std::string m_word;
};

}
