// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Search terms for bench_search picked by how many messages hold them, and the counts a
// search of them can be checked against: what ripgrep counts, and how many candidates the
// substring index gives before each is confirmed.
namespace SearchTerms {

struct Term
{
    QString text;
    qint64 hits = -1; // lines of the dump (messages) holding it, any ASCII case
};

struct Picked
{
    Term rare;    // 100 to 1,500 bodies
    Term medium;  // 2,000 to 5,000 bodies
    Term common;  // the word in the most bodies
    Term subject; // two words next to each other in subjects, about 1,000 subjects
};

// Picks the terms from the dumps of a database's bodies and subjects (one message a line),
// or reads those picked by an earlier run from "<database>-terms.txt" beside it.
std::optional<Picked> pick(const QString &database, const QString &bodyDump, const QString &subjectDump);

// A dump read whole, its ASCII letters lowercased.
QByteArray loadLowered(const QString &path);
// The lines holding every word (ASCII case ignored), from column `from` of each line on:
// what "rg -c -i" counts for a single word, and what a subject search (past the lead)
// finds for several.
qint64 lineHits(const QByteArray &lowered, const QStringList &words, int from = 0);


}
