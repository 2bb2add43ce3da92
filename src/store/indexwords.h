#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstring>

// How the search index splits a text into words, byte for byte as SQLite FTS5's "ascii"
// tokenizer does: a word is a run of ASCII letters and digits and of bytes outside ASCII;
// every other byte separates words; ASCII letters are folded to lower case, nothing else.
// The index's own lists of words are made here, so they hold exactly the index's terms.
namespace IndexWords {

// FTS5 keeps only this many bytes of a longer word; a word this long may be cut.
constexpr qsizetype kLongest = 32768;

inline bool isWordByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// Calls f(word) for each word of a UTF-8 text (a NUL is a separator like any other), the
// word folded and cut as the index keeps it.
template<typename F>
void forEach(QByteArrayView utf8, F &&f)
{
    QByteArray word;
    qsizetype i = 0;
    const qsizetype n = utf8.size();
    while (i < n) {
        while (i < n && !isWordByte(utf8[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && isWordByte(utf8[i]))
            ++i;
        if (i == start)
            break;
        word.resize(std::min(i - start, kLongest));
        std::memcpy(word.data(), utf8.data() + start, std::size_t(word.size()));
        for (char &c : word) {
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        }
        f(word);
    }
}

// How many words the index takes from a text: the size it records for it.
qint64 count(QByteArrayView utf8);

}
