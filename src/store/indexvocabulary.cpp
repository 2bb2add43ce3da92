// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/indexvocabulary.h"

#include "store/indexwords.h"
#include "store/jetlike.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"

namespace {

QString patternFor(const SubstringQuery::Piece &piece)
{
    // A piece holds only word characters, none of them a wildcard of the like's.
    switch (piece.place) {
    case SubstringQuery::Piece::Place::Within:
        return QLatin1Char('*') + piece.text + QLatin1Char('*');
    case SubstringQuery::Piece::Place::Ending:
        return QLatin1Char('*') + piece.text;
    case SubstringQuery::Piece::Place::Starting:
        return piece.text + QLatin1Char('*');
    case SubstringQuery::Piece::Place::Whole:
        break;
    }
    return piece.text;
}

}

void IndexVocabulary::clear()
{
    for (IndexWords::WordSet &list : m_lists)
        list = {};
    m_born = -1;
    m_lastWord = 0;
    m_lastFresh = 0;
    ++m_generation;
    m_words.finalize();
    m_fresh.finalize();
}

void IndexVocabulary::addText(int list, QByteArrayView utf8)
{
    m_lists[std::size_t(list)].addText(utf8, [this](QByteArrayView) { ++m_generation; });
}

bool IndexVocabulary::refresh(SqliteDb &db, qint64 born, bool settled)
{
    if (born != m_born) {
        clear();
        m_born = born;
    }
    if (!m_words.isPrepared()
        && !m_words.prepare(db, "SELECT id, field, word FROM veltra_fts_words WHERE id > ?1 ORDER BY id"))
        return false;
    {
        ResetOnExit resetter(m_words);
        if (!m_words.bindInt64(1, m_lastWord))
            return false;
        SqliteStatement::Step step;
        while ((step = m_words.step()) == SqliteStatement::Step::Row) {
            m_lastWord = m_words.columnInt64(0);
            const qint64 list = m_words.columnInt64(1);
            if (list >= 0 && list < qint64(m_lists.size()))
                addText(int(list), m_words.columnBytes(2));
        }
        if (step != SqliteStatement::Step::Done)
            return false;
    }
    // Records written into the covered part since the builder last listed words: a handful
    // after an update stored messages between others, none most of the time.
    if (!m_fresh.isPrepared()
        && !m_fresh.prepare(db, "SELECT f.seq, v.messauthor, v.messtitle, v.message FROM veltra_fts_fresh f"
                                " LEFT JOIN veltra v ON v.rowid = f.id WHERE f.seq > ?1 ORDER BY f.seq"))
        return false;
    ResetOnExit resetter(m_fresh);
    if (!m_fresh.bindInt64(1, m_lastFresh))
        return false;
    SqliteStatement::Step step;
    while ((step = m_fresh.step()) == SqliteStatement::Step::Row) {
        if (settled)
            m_lastFresh = m_fresh.columnInt64(0);
        for (int list = 0; list < int(m_lists.size()); ++list)
            addText(list, m_fresh.columnBytes(1 + list));
    }
    return step == SqliteStatement::Step::Done;
}

std::optional<QByteArrayList> IndexVocabulary::wordsFor(Criteria::Field field, const SubstringQuery::Piece &piece,
                                                        std::size_t most) const
{
    const int list = SearchIndex::listOf(field);
    const auto pattern = JetLike::compile(patternFor(piece));
    if (list < 0 || !pattern)
        return std::nullopt;
    QByteArrayList found;
    const IndexWords::WordSet &words = m_lists[std::size_t(list)];
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArrayView word = words.word(i);
        // A word cut at the index's limit may have held the piece in the part cut off.
        if (word.size() >= IndexWords::kLongest || pattern->matches(word.data(), std::size_t(word.size()))) {
            if (std::size_t(found.size()) >= most)
                return std::nullopt;
            found << word.toByteArray();
        }
    }
    return found;
}
