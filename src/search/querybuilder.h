// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Turns what the user typed into the search box into the criteria string of a find over
// table veltra. The steps are separate because the search reads the wildcard mode and the
// search field at different moments; build() runs them all with fixed settings.
namespace QueryBuilder {

// WholeWords: each word must stand in the field as a whole word (criteria "hasword").
enum class Wildcard { Bracket, Append, Preface, None, WholeWords };
enum class SearchField { Subject, Author, Body };

// Up to four words cut from a term, and their lengths before any decoration.
struct TermWords
{
    std::array<QString, 4> words;
    std::array<qsizetype, 4> lengths{};
};

// What a term beginning with "#" asks for.
struct NumberTerm
{
    bool isNumberTerm = false;
    // Absent when the number is below 1 or does not fit in 32 bits: no message has it.
    std::optional<qint32> number;
};

// Only the blank counts as empty space; a tab is an ordinary character.
bool isValidTerm(const QString &term);

NumberTerm numberTerm(const QString &term);

// Apostrophes doubled; cut at single blanks into three words and the rest, or one phrase
// without its double quotes when the term holds a double quote anywhere.
TermWords splitTerm(const QString &term);

// The wildcard decoration of every word, empty ones included, then "&" as "&amp;", the
// form in which the stored texts hold an ampersand. The lengths stay those of the split.
TermWords decorate(TermWords words, Wildcard mode);

// The clauses for the field, as many as the last non-empty word needs (at least one),
// or the message-number form whenever searchMsgNum is positive.
QString criteria(const TermWords &words, SearchField field, qint32 searchMsgNum, Wildcard mode = Wildcard::Bracket);

// The plain texts a hit of these words holds, for showing them in the page: each word's
// literal runs (see SubstringQuery::literalRuns), apostrophes single again, runs of
// blanks left out, each text once whatever its letter case.
QStringList hitTexts(const TermWords &words);

struct Query
{
    QString criteria;
    qint32 searchMsgNum = 0;
    bool refused = false; // a "#" term whose number no message can have; criteria is empty
};

Query build(const QString &term, Wildcard mode, SearchField field);

}
