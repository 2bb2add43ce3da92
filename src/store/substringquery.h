#pragma once

#include "criteria.h"

#include <QString>
#include <QStringList>

// What a substring index of the message texts (SQLite FTS5, trigram tokenizer, an index
// that knows the column of each trigram) can be asked for a find's criteria. Its answer
// is only a set of candidates: every record the criteria match is among them, and each
// candidate must still be confirmed by the criteria themselves.
//
// Only runs of plain ASCII characters are looked up. Letters outside ASCII fold in the
// index by rules of their own, and the criteria's like never equates them with ASCII
// ones, so leaving them out keeps the candidates a superset whatever the folding.
namespace SubstringQuery {

// The runs of literal characters of a like pattern, in order: the text between "*", "?",
// "#" and sets, a one-character set such as "[*]" counting as that character.
QStringList literalRuns(const QString &pattern);

// The FTS5 query for the criteria; empty when they give no run of three ASCII characters
// to look up (a number, a date, a short or wholly wildcard word), and every record must
// be read instead.
QString forCriteria(const Criteria::Expression &expression);

}
