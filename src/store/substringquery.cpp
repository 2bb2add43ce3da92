// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/substringquery.h"

#include "store/indexwords.h"

#include <algorithm>
#include <variant>
#include <vector>

namespace {

bool isWordCharacter(QChar c)
{
    // Outside ASCII every character is, as every byte of its UTF-8 is.
    return c.unicode() >= 0x80 || IndexWords::isWordByte(char(c.unicode()));
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

std::vector<Piece> pieces(const QString &run)
{
    std::vector<Piece> found;
    qsizetype i = 0;
    while (i < run.size()) {
        while (i < run.size() && !isWordCharacter(run[i]))
            ++i;
        const qsizetype start = i;
        while (i < run.size() && isWordCharacter(run[i]))
            ++i;
        if (i == start)
            break;
        // The run's own ends are open: the text may go on with more of the word there.
        const bool openBefore = start == 0;
        const bool openAfter = i == run.size();
        const Piece::Place place = openBefore && openAfter ? Piece::Place::Within
                                   : openBefore             ? Piece::Place::Ending
                                   : openAfter              ? Piece::Place::Starting
                                                            : Piece::Place::Whole;
        found.push_back({place, run.mid(start, i - start)});
    }
    return found;
}

std::vector<FieldPieces> forCriteria(const Criteria::Expression &expression)
{
    std::vector<FieldPieces> fields;
    for (const Criteria::Condition &condition : expression.conditions) {
        const QString *value = std::get_if<QString>(&condition.value);
        if (!isIndexed(condition.operand.field) || !value)
            continue;
        std::vector<Piece> found;
        if (condition.op == Criteria::Operator::HasWord) {
            // Each word is the whole of an indexed word.
            const QByteArray utf8 = value->toUtf8();
            IndexWords::forEachSpan(utf8, [&](qsizetype start, qsizetype length) {
                found.push_back({Piece::Place::Whole, QString::fromUtf8(utf8.constData() + start, length)});
            });
        } else {
            // An "=" compares the whole text, wildcard characters included.
            const QStringList runs = condition.op == Criteria::Operator::Equal ? QStringList{*value} : literalRuns(*value);
            for (const QString &run : runs) {
                for (Piece &piece : pieces(run))
                    found.push_back(std::move(piece));
            }
        }
        if (found.empty())
            continue;
        auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const FieldPieces &entry) { return entry.field == condition.operand.field; });
        if (it == fields.end())
            it = fields.insert(fields.end(), {condition.operand.field, {}});
        for (Piece &piece : found) {
            if (std::find(it->pieces.begin(), it->pieces.end(), piece) == it->pieces.end())
                it->pieces.push_back(std::move(piece));
        }
    }
    return fields;
}

}
