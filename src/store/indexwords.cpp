// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/indexwords.h"

namespace IndexWords {

qint64 count(QByteArrayView utf8)
{
    // Counts the starts of words in one pass: the check at every opening counts every word
    // of the archive, several times faster this way than by walking the words.
    qint64 words = 0;
    bool inWord = false;
    for (const char c : utf8) {
        const bool w = isWordByte(c);
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
