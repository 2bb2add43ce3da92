// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchterms.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace SearchTerms {

namespace {

constexpr qint64 kRareLow = 100;
constexpr qint64 kRareHigh = 1500;
constexpr qint64 kMediumLow = 2000;
constexpr qint64 kMediumHigh = 5000;
constexpr qint64 kSubjectAim = 1000;
constexpr qint64 kSubjectLeast = 50;
constexpr int kLead = 7; // "[vclb] ", which subject searches pass over
constexpr int kTried = 12; // candidates counted in full for each kind

bool isLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isOther(char c)
{
    return static_cast<unsigned char>(c) >= 0x80;
}

// A word stands alone: not a piece of a longer word with letters outside ASCII.
bool standsAlone(const char *data, qsizetype size, qsizetype start, qsizetype end)
{
    return !(start > 0 && isOther(data[start - 1])) && !(end < size && isOther(data[end]));
}

struct Seen
{
    qint64 lines = 0;
    qint64 lastLine = -1;
};

// Lines holding each word (a run of 3 or more ASCII letters standing alone).
std::unordered_map<std::string_view, Seen> wordLines(const QByteArray &lowered)
{
    std::unordered_map<std::string_view, Seen> words;
    words.reserve(1 << 18);
    const char *d = lowered.constData();
    const qsizetype n = lowered.size();
    qint64 line = 0;
    qsizetype i = 0;
    while (i < n) {
        if (d[i] == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (!isLetter(d[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < n && isLetter(d[i]))
            ++i;
        if (i - start < 3 || !standsAlone(d, n, start, i))
            continue;
        Seen &seen = words[std::string_view(d + start, std::size_t(i - start))];
        if (seen.lastLine != line) {
            seen.lastLine = line;
            ++seen.lines;
        }
    }
    return words;
}

// Subjects holding each pair of words of 4 letters or more with one blank between.
std::unordered_map<std::string, Seen> pairLines(const QByteArray &lowered)
{
    std::unordered_map<std::string, Seen> pairs;
    const char *d = lowered.constData();
    const qsizetype n = lowered.size();
    qint64 line = 0;
    qsizetype lineStart = 0;
    while (lineStart < n) {
        const char *newline = static_cast<const char *>(std::memchr(d + lineStart, '\n', std::size_t(n - lineStart)));
        const qsizetype lineEnd = newline ? newline - d : n;
        std::string_view previous;
        qsizetype previousEnd = -2;
        qsizetype i = std::min(lineStart + kLead, lineEnd);
        while (i < lineEnd) {
            if (!isLetter(d[i])) {
                ++i;
                continue;
            }
            const qsizetype start = i;
            while (i < lineEnd && isLetter(d[i]))
                ++i;
            if (i - start < 4 || !standsAlone(d, n, start, i)) {
                previousEnd = -2;
                continue;
            }
            const std::string_view word(d + start, std::size_t(i - start));
            if (previousEnd == start - 1 && d[previousEnd] == ' ') {
                Seen &seen = pairs[std::string(previous) + ' ' + std::string(word)];
                if (seen.lastLine != line) {
                    seen.lastLine = line;
                    ++seen.lines;
                }
            }
            previous = word;
            previousEnd = i;
        }
        ++line;
        lineStart = lineEnd + 1;
    }
    return pairs;
}

double distance(qint64 count, double aim)
{
    return std::abs(std::log(double(std::max<qint64>(count, 1)) / aim));
}

// Of the words whose own lines fall in [low, high], those nearest the middle (on a log
// scale), the one whose lines counted as substrings (as a search counts them) still fall
// in the range.
std::optional<Term> pickInRange(const std::unordered_map<std::string_view, Seen> &words, const QByteArray &lowered,
                                qint64 low, qint64 high)
{
    const double aim = std::sqrt(double(low) * double(high));
    std::vector<std::pair<double, std::string_view>> candidates;
    for (const auto &[word, seen] : words) {
        if (word.size() >= 5 && word.size() <= 12 && seen.lines >= low && seen.lines <= high)
            candidates.emplace_back(distance(seen.lines, aim), word);
    }
    std::sort(candidates.begin(), candidates.end());
    for (std::size_t i = 0; i < candidates.size() && i < std::size_t(kTried); ++i) {
        const QString text = QString::fromLatin1(candidates[i].second.data(), qsizetype(candidates[i].second.size()));
        const qint64 hits = lineHits(lowered, {text});
        if (hits >= low && hits <= high)
            return Term{text, hits};
    }
    return std::nullopt;
}

QString cachePath(const QString &database)
{
    const QFileInfo info(database);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-terms.txt"));
}

std::optional<Picked> readCache(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Picked picked;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        const Term term{QString::fromUtf8(fields[1]), fields[2].toLongLong()};
        if (fields[0] == "rare")
            picked.rare = term;
        else if (fields[0] == "medium")
            picked.medium = term;
        else if (fields[0] == "common")
            picked.common = term;
        else if (fields[0] == "subject")
            picked.subject = term;
    }
    if (picked.rare.text.isEmpty() || picked.medium.text.isEmpty() || picked.common.text.isEmpty()
        || picked.subject.text.isEmpty())
        return std::nullopt;
    return picked;
}

} // namespace

QByteArray loadLowered(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    char *d = bytes.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (d[i] >= 'A' && d[i] <= 'Z')
            d[i] = char(d[i] + ('a' - 'A'));
    }
    return bytes;
}

qint64 lineHits(const QByteArray &lowered, const QStringList &words, int from)
{
    if (words.isEmpty())
        return 0;
    std::vector<QByteArray> needles;
    for (const QString &word : words)
        needles.push_back(word.toUtf8().toLower());
    const char *d = lowered.constData();
    const qsizetype n = lowered.size();
    qint64 hits = 0;
    qsizetype pos = 0;
    while (pos < n) {
        const void *found = memmem(d + pos, std::size_t(n - pos), needles[0].constData(), std::size_t(needles[0].size()));
        if (!found)
            break;
        const qsizetype at = static_cast<const char *>(found) - d;
        const void *before = memrchr(d, '\n', std::size_t(at));
        const qsizetype lineStart = before ? static_cast<const char *>(before) - d + 1 : 0;
        const void *after = std::memchr(d + at, '\n', std::size_t(n - at));
        const qsizetype lineEnd = after ? static_cast<const char *>(after) - d : n;
        const qsizetype searchFrom = std::min(lineStart + from, lineEnd);
        bool all = true;
        for (const QByteArray &needle : needles) {
            all = all && memmem(d + searchFrom, std::size_t(lineEnd - searchFrom), needle.constData(), std::size_t(needle.size()));
        }
        hits += all;
        pos = lineEnd + 1;
    }
    return hits;
}

std::optional<Picked> pick(const QString &database, const QString &bodyDump, const QString &subjectDump)
{
    const QString cache = cachePath(database);
    if (auto cached = readCache(cache))
        return cached;
    std::printf("picking the search terms by how many messages hold them ...\n");
    std::fflush(stdout);
    Picked picked;
    {
        const QByteArray bodies = loadLowered(bodyDump);
        if (bodies.isEmpty())
            return std::nullopt;
        const auto words = wordLines(bodies);
        const auto rare = pickInRange(words, bodies, kRareLow, kRareHigh);
        const auto medium = pickInRange(words, bodies, kMediumLow, kMediumHigh);
        if (!rare || !medium) {
            std::fprintf(stderr, "no %s word found in range\n", rare ? "medium" : "rare");
            return std::nullopt;
        }
        picked.rare = *rare;
        picked.medium = *medium;
        const auto common = std::max_element(words.begin(), words.end(), [](const auto &a, const auto &b) {
            return a.second.lines != b.second.lines ? a.second.lines < b.second.lines : a.first > b.first;
        });
        if (common == words.end())
            return std::nullopt;
        picked.common.text = QString::fromLatin1(common->first.data(), qsizetype(common->first.size()));
        picked.common.hits = lineHits(bodies, {picked.common.text});
    }
    {
        const QByteArray subjects = loadLowered(subjectDump);
        const auto pairs = pairLines(subjects);
        std::vector<std::pair<double, std::string>> candidates;
        for (const auto &[pair, seen] : pairs) {
            if (seen.lines >= kSubjectLeast)
                candidates.emplace_back(distance(seen.lines, double(kSubjectAim)), pair);
        }
        if (candidates.empty()) {
            std::fprintf(stderr, "no two-word subject phrase found\n");
            return std::nullopt;
        }
        const auto best = std::min_element(candidates.begin(), candidates.end());
        picked.subject.text = QString::fromStdString(best->second);
        picked.subject.hits = lineHits(subjects, picked.subject.text.split(u' '), kLead);
    }
    QFile file(cache);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (const auto &[name, term] : {std::pair{"rare", &picked.rare}, std::pair{"medium", &picked.medium},
                                         std::pair{"common", &picked.common}, std::pair{"subject", &picked.subject}})
            file.write(QByteArray(name) + '\t' + term->text.toUtf8() + '\t' + QByteArray::number(term->hits) + '\n');
    }
    return picked;
}

}
