// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/criteria.h"

#include <QString>
#include <QStringList>

#include <vector>

// What the word index of the message texts (SQLite FTS5 with the "ascii" tokenizer, see
// indexwords.h; one index for each text field, holding only which records hold each word)
// can be asked for a find's criteria. The answer is only a set of candidates: every record
// the criteria match is among them, and each candidate must still be confirmed.
//
// A literal run of a pattern is cut into its words, each placed by what the run has around
// it: a word the run goes on past on both sides is the whole of an indexed word; at the
// run's ends the indexed word may go on, so it only ends or starts with the piece, or,
// for a run of one word, holds it anywhere. A record the criteria match holds, for each
// piece, an indexed word of that place. Letters match as the criteria's like folds them,
// so the words themselves are compared by the like matcher.
namespace SubstringQuery {

// The runs of literal characters of a like pattern, in order: the text between "*", "?",
// "#" and sets, a one-character set such as "[*]" counting as that character.
QStringList literalRuns(const QString &pattern);

struct Piece
{
    enum class Place {
        Within,   // anywhere in a word
        Ending,   // at the end of a word
        Starting, // at the start of a word
        Whole     // the whole word
    };
    Place place = Place::Within;
    QString text;
    bool operator==(const Piece &) const = default;
};

// The pieces of one run; none when it has no word character.
std::vector<Piece> pieces(const QString &run);

struct FieldPieces
{
    Criteria::Field field = Criteria::Field::Message;
    std::vector<Piece> pieces; // every one must be held by the field's words
};

// Per indexed field the criteria test, in the order the fields first appear, the pieces
// of all its conditions (every condition must hold). Empty when no condition gives a word
// (a number, a date, punctuation or a wholly wildcard pattern): every record must be read.
std::vector<FieldPieces> forCriteria(const Criteria::Expression &expression);

}
