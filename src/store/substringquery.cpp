#include "substringquery.h"

#include <algorithm>
#include <variant>
#include <vector>

namespace {

constexpr qsizetype kTrigram = 3;

bool isPlainAscii(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() < 0x7f;
}

// The index splits a text into its three-character pieces; a run is looked up as all of
// its pieces, since an index without positions cannot check that they are adjacent.
void addTrigrams(const QString &run, QStringList *trigrams)
{
    qsizetype start = 0;
    while (start < run.size()) {
        qsizetype end = start;
        while (end < run.size() && isPlainAscii(run[end]))
            ++end;
        for (qsizetype i = start; i + kTrigram <= end; ++i) {
            const QString piece = run.mid(i, kTrigram).toLower();
            if (!trigrams->contains(piece))
                trigrams->append(piece);
        }
        start = end + 1;
    }
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

bool isIndexed(Criteria::Field field)
{
    return field == Criteria::Field::MessAuthor || field == Criteria::Field::MessTitle
           || field == Criteria::Field::Message;
}

}

namespace SubstringQuery {

QStringList literalRuns(const QString &pattern)
{
    QStringList runs;
    QString run;
    const auto endRun = [&] {
        if (!run.isEmpty())
            runs << run;
        run.clear();
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'*' || c == u'?' || c == u'#') {
            endRun();
            continue;
        }
        if (c != u'[') {
            run += c;
            continue;
        }
        // A set: "]" right after "[" belongs to it, as in "[]]".
        const qsizetype close = pattern.indexOf(u']', i + 2);
        if (close < 0) {
            endRun();
            break;
        }
        const QString inside = pattern.mid(i + 1, close - i - 1);
        if (inside.size() == 1 && inside != QLatin1String("!") && inside != QLatin1String("-"))
            run += inside[0];
        else
            endRun();
        i = close;
    }
    endRun();
    return runs;
}

std::optional<Lookup> forCriteria(const Criteria::Expression &expression)
{
    // Per field, in the order the fields first appear.
    std::vector<std::pair<Criteria::Field, QStringList>> fields;
    for (const Criteria::Condition &condition : expression.conditions) {
        const QString *value = std::get_if<QString>(&condition.value);
        if (!isIndexed(condition.operand.field) || !value)
            continue;
        auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const auto &entry) { return entry.first == condition.operand.field; });
        if (it == fields.end())
            it = fields.insert(fields.end(), {condition.operand.field, {}});
        // An "=" compares the whole text, wildcard characters included.
        const QStringList runs = condition.op == Criteria::Operator::Equal ? QStringList{*value} : literalRuns(*value);
        for (const QString &run : runs)
            addTrigrams(run, &it->second);
    }
    const auto best = std::max_element(fields.begin(), fields.end(), [](const auto &a, const auto &b) {
        return a.second.size() < b.second.size();
    });
    if (best == fields.end() || best->second.isEmpty())
        return std::nullopt;
    QStringList terms;
    for (const QString &trigram : std::as_const(best->second))
        terms << quoted(trigram);
    return Lookup{best->first, terms.join(QStringLiteral(" AND "))};
}

}
