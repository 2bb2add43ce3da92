// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/conversationtopic.h"

#include <array>
#include <utility>

namespace {

// Reply and forward prefixes of the mail programs the club's members use, compared
// without regard to letter case: English, German (Antwort) and Scandinavian (svar).
constexpr std::array<QStringView, 5> kPrefixes = {u"re", u"fwd", u"fw", u"aw", u"sv"};
// A list's tag is a short name; anything longer in brackets is part of the subject.
constexpr qsizetype kLongestTag = 32;
// "Re[12]:" counts the replies; nobody writes more digits than this.
constexpr qsizetype kMostDigits = 4;

bool isBlank(QChar c)
{
    return c.isSpace();
}

// The length of a list tag at `at` ("[vclub]"), or 0 when there is none.
qsizetype tagAt(QStringView s, qsizetype at)
{
    if (s[at] != u'[')
        return 0;
    const qsizetype end = std::min(s.size(), at + kLongestTag + 2);
    for (qsizetype i = at + 1; i < end; ++i) {
        const QChar c = s[i];
        if (c == u']')
            return i - at + 1;
        if (c == u'[' || c == u'\n' || c == u'\r')
            return 0;
    }
    return 0;
}

// The length of a prefix at `at` up to and with its colon ("Re:", "FW :", "Re[2]:",
// "Re(2):"), or 0 when there is none. A word that only begins with a prefix's letters
// ("Recall", "Research: x") is not one.
qsizetype prefixAt(QStringView s, qsizetype at)
{
    qsizetype i = at;
    while (i < s.size() && i - at < 3 && s[i].isLetter())
        ++i;
    const QStringView word = s.sliced(at, i - at);
    if (word.isEmpty() || (i < s.size() && s[i].isLetter()))
        return 0;
    bool known = false;
    for (const QStringView prefix : kPrefixes)
        known = known || word.compare(prefix, Qt::CaseInsensitive) == 0;
    if (!known)
        return 0;
    if (i < s.size() && (s[i] == u'[' || s[i] == u'(')) {
        const QChar close = s[i] == u'[' ? u']' : u')';
        const qsizetype first = ++i;
        while (i < s.size() && i - first < kMostDigits && s[i].isDigit())
            ++i;
        if (i == first || i >= s.size() || s[i] != close)
            return 0;
        ++i;
    }
    // A blank before the colon, as some programs write "Re :"; only the blanks of one line.
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    if (i >= s.size() || s[i] != u':')
        return 0;
    return i + 1 - at;
}

} // namespace

namespace ConversationTopic {

QString of(QStringView subject)
{
    // Each step either takes off what it looked at or ends the loop, so no character is
    // looked at more than twice.
    qsizetype at = 0;
    for (;;) {
        while (at < subject.size() && isBlank(subject[at]))
            ++at;
        if (at == subject.size())
            return {};
        qsizetype taken = tagAt(subject, at);
        if (taken == 0)
            taken = prefixAt(subject, at);
        if (taken == 0)
            break;
        at += taken;
    }
    QString folded;
    folded.reserve(subject.size() - at);
    bool blank = false;
    for (qsizetype i = at; i < subject.size(); ++i) {
        const QChar c = subject[i];
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !folded.isEmpty())
            folded += u' ';
        blank = false;
        folded += c;
    }
    return std::move(folded).toCaseFolded();
}

}
