// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/querybuilder.h"

#include "base/vbnumber.h"
#include "store/substringquery.h"

namespace QueryBuilder {

namespace {

struct FieldTexts
{
    QString opening;
    QString joining;
};

FieldTexts textsFor(SearchField field, Wildcard mode)
{
    QString operand = QStringLiteral("mid(messtitle,8)");
    if (field == SearchField::Author)
        operand = QStringLiteral("messauthor");
    else if (field == SearchField::Body)
        operand = QStringLiteral("message");
    const QString test = operand + (mode == Wildcard::WholeWords ? QStringLiteral(" hasword '") : QStringLiteral(" like '"));
    return {test, QStringLiteral("' and ") + test};
}

int clauseCount(const TermWords &words)
{
    for (int i = 3; i > 0; --i) {
        if (words.lengths[std::size_t(i)] > 0)
            return i + 1;
    }
    return 1;
}

}

bool isValidTerm(const QString &term)
{
    for (const QChar c : term) {
        if (c != u' ')
            return true;
    }
    return false;
}

NumberTerm numberTerm(const QString &term)
{
    NumberTerm result;
    if (!term.startsWith(u'#'))
        return result;
    result.isNumberTerm = true;
    const auto n = VbNumber::roundToInt32(VbNumber::leadingNumber(QStringView(term).mid(1)));
    if (n && *n >= 1)
        result.number = n;
    return result;
}

TermWords splitTerm(const QString &term)
{
    TermWords result;
    QString text = term;
    if (text.contains(u'"')) {
        text.remove(u'"');
        text.replace(u'\'', QStringLiteral("''"));
        result.words[0] = text;
    } else {
        text.replace(u'\'', QStringLiteral("''"));
        for (std::size_t i = 0; i < 3; ++i) {
            const qsizetype blank = text.indexOf(u' ');
            if (blank < 0) {
                result.words[i] = text;
                text.clear();
            } else {
                result.words[i] = text.left(blank);
                text.remove(0, blank + 1);
            }
        }
        result.words[3] = text;
    }
    for (std::size_t i = 0; i < 4; ++i)
        result.lengths[i] = result.words[i].size();
    return result;
}

TermWords decorate(TermWords words, Wildcard mode)
{
    for (QString &w : words.words) {
        switch (mode) {
        case Wildcard::Bracket:
            w = u'*' + w + u'*';
            break;
        case Wildcard::Append:
            w += u'*';
            break;
        case Wildcard::Preface:
            w.prepend(u'*');
            break;
        case Wildcard::None:
        case Wildcard::WholeWords:
            break;
        }
        w.replace(u'&', QStringLiteral("&amp;"));
    }
    return words;
}

QString criteria(const TermWords &words, SearchField field, qint32 searchMsgNum, Wildcard mode)
{
    if (searchMsgNum > 0)
        return QStringLiteral("messnum like '") + QString::number(searchMsgNum) + u'\'';
    const FieldTexts texts = textsFor(field, mode);
    QString result = texts.opening + words.words[0];
    const int k = clauseCount(words);
    for (int i = 1; i < k; ++i)
        result += texts.joining + words.words[std::size_t(i)];
    return result + u'\'';
}

Query build(const QString &term, Wildcard mode, SearchField field)
{
    Query query;
    QString text = term;
    const NumberTerm number = numberTerm(term);
    if (number.isNumberTerm) {
        if (!number.number) {
            query.refused = true;
            return query;
        }
        query.searchMsgNum = *number.number;
        text.clear();
    }
    query.criteria = criteria(decorate(splitTerm(text), mode), field, query.searchMsgNum, mode);
    return query;
}

}

namespace QueryBuilder {

QStringList hitTexts(const TermWords &words)
{
    QStringList texts;
    for (const QString &word : words.words) {
        const QString plain = QString(word).replace(QStringLiteral("''"), QStringLiteral("'"));
        for (const QString &run : SubstringQuery::literalRuns(plain)) {
            if (!run.trimmed().isEmpty() && !texts.contains(run, Qt::CaseInsensitive))
                texts << run;
        }
    }
    return texts;
}

}
