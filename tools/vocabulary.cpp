// SPDX-License-Identifier: GPL-3.0-or-later
#include "vocabulary.h"

#include "mailtext.h"
#include "splitmix64.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// Made-up words stand for the names, jargon and misspellings that make up most of a real
// vocabulary. They come from a seed of their own, so every archive has the same ones.
constexpr quint64 kMadeUpSeed = 0x766f636162756c61ULL;
constexpr qsizetype kMaxMadeUpLength = 11;

constexpr std::array<const char16_t *, 45> kOnsets = {
    u"", u"b", u"br", u"bl", u"c", u"ch", u"cl", u"cr", u"d", u"dr", u"f", u"fl", u"fr", u"g", u"gl",
    u"gr", u"h", u"j", u"k", u"l", u"m", u"n", u"p", u"pl", u"pr", u"qu", u"r", u"s", u"sc", u"sh",
    u"sk", u"sl", u"sm", u"sn", u"sp", u"st", u"str", u"sw", u"t", u"th", u"tr", u"v", u"w", u"wh", u"z",
};
constexpr std::array<const char16_t *, 13> kVowels = {
    u"a", u"e", u"i", u"o", u"u", u"ai", u"ea", u"ee", u"ie", u"oa", u"oo", u"ou", u"y",
};
constexpr std::array<const char16_t *, 20> kCodas = {
    u"", u"", u"", u"", u"n", u"r", u"s", u"l", u"t", u"m", u"nd", u"nt", u"rk", u"st", u"ck", u"ng",
    u"x", u"rn", u"lt", u"ph",
};

template <std::size_t N>
const char16_t *pick(SplitMix64 &rng, const std::array<const char16_t *, N> &items)
{
    return items[rng.below(quint32(N))];
}

QString madeUpWord(SplitMix64 &rng)
{
    QString word;
    const int syllables = rng.chance(3000) ? 3 : 2;
    for (int i = 0; i < syllables; ++i) {
        word += QStringView(pick(rng, kOnsets));
        word += QStringView(pick(rng, kVowels));
        word += QStringView(pick(rng, kCodas));
    }
    return word;
}

} // namespace

QStringList Vocabulary::shippedWords()
{
    QFile file(QStringLiteral(":/realtext-words.txt"));
    QStringList words;
    if (!file.open(QIODevice::ReadOnly))
        return words;
    QSet<QString> seen;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith('#'))
            continue;
        for (const QString &word : QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts)) {
            const QString w = word.trimmed();
            if (!w.isEmpty() && !seen.contains(w)) {
                seen.insert(w);
                words << w;
            }
        }
    }
    return words;
}

std::shared_ptr<const Vocabulary> Vocabulary::fromWordList(int size)
{
    std::shared_ptr<Vocabulary> v(new Vocabulary);
    QStringList words = shippedWords();
    v->m_listWords = int(std::min<qsizetype>(words.size(), size));
    v->finish(std::move(words), size, kDefaultExponent);
    v->m_description = QStringLiteral("%1 words: %2 from the shipped list, %3 made up")
                           .arg(v->size())
                           .arg(v->m_listWords)
                           .arg(v->m_madeUpWords);
    return v;
}

std::shared_ptr<const Vocabulary> Vocabulary::fromMail(const QString &folder, QString *error, int size)
{
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.mbox"), QStringLiteral("*.eml")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    QHash<QString, qint64> counts;
    int texts = 0;
    for (const QString &path : std::as_const(files)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QString &text : MailText::plainTexts(file.readAll())) {
            MailText::countWords(text, counts);
            ++texts;
        }
    }
    if (counts.isEmpty()) {
        *error = QStringLiteral("no mail with text to take words from under %1").arg(QDir::toNativeSeparators(folder));
        return nullptr;
    }
    std::vector<std::pair<qint64, QString>> ranked;
    ranked.reserve(counts.size());
    for (auto c = counts.cbegin(); c != counts.cend(); ++c)
        ranked.emplace_back(c.value(), c.key());
    // Ties in name order, so that the ranks do not depend on the hash's order.
    std::sort(ranked.begin(), ranked.end(),
              [](const auto &a, const auto &b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });

    std::shared_ptr<Vocabulary> v(new Vocabulary);
    QStringList words;
    QSet<QString> seen;
    for (const auto &entry : ranked) {
        if (words.size() >= size)
            break;
        words << entry.second;
        seen.insert(entry.second);
    }
    v->m_mailWords = int(words.size());
    for (const QString &word : shippedWords()) {
        if (words.size() >= size)
            break;
        if (!seen.contains(word)) {
            words << word;
            ++v->m_listWords;
        }
    }
    v->finish(std::move(words), size, kDefaultExponent);
    v->m_description = QStringLiteral("%1 words: %2 from %3 text parts of mail in %4 files under %5, %6 from the "
                                      "shipped list, %7 made up")
                           .arg(v->size())
                           .arg(v->m_mailWords)
                           .arg(texts)
                           .arg(files.size())
                           .arg(QDir::toNativeSeparators(folder))
                           .arg(v->m_listWords)
                           .arg(v->m_madeUpWords);
    return v;
}

void Vocabulary::finish(QStringList words, int size, double exponent)
{
    if (words.size() > size)
        words.resize(size);
    QSet<QString> seen(words.cbegin(), words.cend());
    SplitMix64 rng(kMadeUpSeed);
    while (words.size() < size) {
        QString word = madeUpWord(rng);
        if (word.size() < 4 || word.size() > kMaxMadeUpLength || seen.contains(word))
            continue;
        seen.insert(word);
        words << std::move(word);
        ++m_madeUpWords;
    }
    m_words = std::move(words);

    std::vector<double> weights(m_words.size());
    double total = 0;
    for (qsizetype r = 0; r < m_words.size(); ++r) {
        weights[r] = 1.0 / std::pow(double(r + 1), exponent);
        total += weights[r];
    }
    m_cumulative.resize(m_words.size());
    constexpr double kRange = 18446744073709551616.0; // 2^64
    double sum = 0;
    for (qsizetype r = 0; r < m_words.size(); ++r) {
        sum += weights[r];
        const double scaled = sum / total * kRange;
        m_cumulative[r] = scaled >= kRange ? std::numeric_limits<quint64>::max() : quint64(scaled);
    }
    m_cumulative.back() = std::numeric_limits<quint64>::max();
}

int Vocabulary::size() const
{
    return int(m_words.size());
}

const QString &Vocabulary::word(int rank) const
{
    return m_words[rank];
}

int Vocabulary::draw(SplitMix64 &rng) const
{
    const quint64 ticket = rng.next();
    const auto it = std::lower_bound(m_cumulative.begin(), m_cumulative.end(), ticket);
    return int(std::min<std::ptrdiff_t>(it - m_cumulative.begin(), m_cumulative.size() - 1));
}

int Vocabulary::mailWords() const
{
    return m_mailWords;
}

int Vocabulary::listWords() const
{
    return m_listWords;
}

int Vocabulary::madeUpWords() const
{
    return m_madeUpWords;
}

QString Vocabulary::description() const
{
    return m_description;
}
