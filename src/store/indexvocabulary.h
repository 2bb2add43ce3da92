// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/criteria.h"
#include "store/indexwords.h"
#include "store/sqlitestatement.h"
#include "store/substringquery.h"

#include <QByteArray>
#include <QByteArrayList>

#include <array>
#include <optional>

class SqliteDb;

// The search index's words, as one connection knows them: those the builder listed in
// veltra_fts_words, and those of the records written into the covered part since then
// (veltra_fts_fresh) that it has not listed yet. The list only grows: a word whose records
// were all deleted stays and only adds a query term that finds nothing.
class IndexVocabulary final
{
public:
    // Reads what was added since the last call, in the caller's read transaction; the words
    // of an index made anew (another `born`) are read from the start. Unless `settled`, the
    // transaction may yet be rolled back, and the records it wrote are read again next time
    // (a rolled-back row's number is given again). False when SQLite fails.
    bool refresh(SqliteDb &db, qint64 born, bool settled);
    // Changes whenever words were added.
    quint64 generation() const { return m_generation; }
    void clear();

    // The field's words that hold the piece in its place, compared as the criteria's like
    // compares (case folded); nullopt when more than `most` do.
    std::optional<QByteArrayList> wordsFor(Criteria::Field field, const SubstringQuery::Piece &piece,
                                           std::size_t most) const;

    // Adds the words of a text to a field's list (the list's number, SearchIndex::listOf).
    void addText(int list, QByteArrayView utf8);

private:
    std::array<IndexWords::WordSet, 3> m_lists;
    qint64 m_born = -1;
    qint64 m_lastWord = 0;
    qint64 m_lastFresh = 0;
    quint64 m_generation = 0;
    SqliteStatement m_words;
    SqliteStatement m_fresh;
};
