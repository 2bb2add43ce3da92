#pragma once

#include "criteria.h"

#include <QString>
#include <QStringList>

#include <optional>

// What a substring index of the message texts (SQLite FTS5, trigram tokenizer, one index
// for each text field, holding only which records have a trigram) can be asked for a
// find's criteria. Its answer is only a set of candidates: every record the criteria
// match is among them, and each candidate must still be confirmed by the criteria.
//
// Only runs of plain ASCII characters are looked up. Letters outside ASCII fold in the
// index by rules of their own, and the criteria's like never equates them with ASCII
// ones, so leaving them out keeps the candidates a superset whatever the folding.
namespace SubstringQuery {

// The runs of literal characters of a like pattern, in order: the text between "*", "?",
// "#" and sets, a one-character set such as "[*]" counting as that character.
QStringList literalRuns(const QString &pattern);

// One field's index and the FTS5 query to ask it.
struct Lookup
{
    Criteria::Field field = Criteria::Field::Message;
    QString match;
};

// The lookup for the criteria: the field whose conditions give the most trigrams, all of
// them ANDed (every condition must hold, so one field's candidates are enough). Nothing
// when no condition gives a run of three ASCII characters (a number, a date, a short or
// wholly wildcard word): every record must be read instead.
std::optional<Lookup> forCriteria(const Criteria::Expression &expression);

}
