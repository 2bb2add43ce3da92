// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/indexedfind.h"

#include "store/compiledcriteria.h"
#include "store/criteria.h"
#include "store/readtransaction.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/substringquery.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

namespace {

// Candidates read from the index at a time: a rare word's fit in one read, a common
// word's hits are listed long before its candidates are all read.
constexpr int kCandidateChunk = 2048;
// Finds use a handful of criteria strings at a time; an unbounded cache would only grow.
constexpr std::size_t kFindCacheLimit = 32;
// A piece held by more words than this is passed over: its query would cost more than
// the candidates it takes away (a short or common piece, which a scan finds soon anyway).
constexpr std::size_t kMostWords = 100;
// The most hits a run reads ahead: a search lists a few thousand at most, and a run's
// transaction should stay short for writers in rollback-journal mode.
constexpr std::size_t kLongestRun = 256;

IndexedFind::Result found(qint64 id)
{
    IndexedFind::Result result;
    result.outcome = Recordset::FindResult::Found;
    result.id = id;
    return result;
}

IndexedFind::Result failure()
{
    IndexedFind::Result result;
    result.outcome = Recordset::FindResult::Error;
    return result;
}

} // namespace

// The hits after `from` in order: every one up to `reach` (the last of them), or up to
// the end when toEnd; read at `version`.
struct IndexedFind::Run
{
    qint64 from = 0;
    qint64 reach = 0;
    bool toEnd = false;
    std::vector<qint64> hits;
    quint64 version = 0;
    // Only runs read in a transaction of their own are kept: a caller's may yet be rolled
    // back, which changes the records and no count.
    bool kept = false;
    std::size_t aimed = 0;  // how many hits it was to hold
    std::size_t served = 0; // finds answered from it

    bool covers(qint64 after) const { return kept && after >= from && (toEnd || after < reach); }
};

struct IndexedFind::Find
{
    std::unique_ptr<CompiledCriteria> criteria;
    std::vector<SubstringQuery::FieldPieces> pieces; // what the words of the index can be asked
    // The index query made from them with the words known at `resolvedAt` (a vocabulary
    // generation), if any piece could be asked.
    struct Lookup
    {
        const char *table = nullptr;
        QByteArray match; // empty: no word holds a piece, so no record covered matches
    };
    std::optional<Lookup> lookup;
    std::optional<quint64> resolvedAt;
    // The index's candidates after `from`, in rowid order, read with the database as it
    // was at `version`; `toEnd` when there are none after the last.
    std::vector<qint64> candidates;
    qint64 from = 0;
    bool toEnd = false;
    bool dense = false; // more than half the records after `from` are candidates
    std::optional<quint64> version;
    Run run;
    // Declared last: released before the patterns they point to.
    SqliteStatement statement; // the matches after a rowid, reading every record
    SqliteStatement confirm;   // whether one record matches
    SqliteStatement match;     // the index's next candidates
};

IndexedFind::IndexedFind(SqliteDb &db)
    : m_db(db)
    , m_candidateChunk(kCandidateChunk)
{
}

IndexedFind::~IndexedFind() = default;

void IndexedFind::setFailureHandler(FailureHandler handler)
{
    m_onFailure = std::move(handler);
}

void IndexedFind::setTable(const QString &name, const QByteArray &quoted)
{
    clear();
    m_tableName = name;
    m_table = quoted;
    m_version = {};
    m_indexDecided.reset();
}

void IndexedFind::clear()
{
    m_finds.clear();
    m_vocabulary.clear();
    m_vocabularyAt.reset();
    m_dataVersion.finalize();
    m_readStatements.finalize();
}

void IndexedFind::failed()
{
    if (m_onFailure && !m_quiet)
        m_onFailure();
}

void IndexedFind::setIndexUse(bool use)
{
    m_useIndex = use;
    // A new index after a failed lookup is tried again.
    m_indexFailed = false;
    m_indexDecided.reset();
    // Off: the next finds read the records themselves.
    for (auto &[criteria, find] : m_finds)
        find->run = {};
}

void IndexedFind::setChunk(int candidates)
{
    m_candidateChunk = std::max(1, candidates);
    m_finds.clear();
}

bool IndexedFind::indexFailed() const
{
    return m_indexFailed;
}

void IndexedFind::markIndexFailed()
{
    m_indexFailed = true;
}

bool IndexedFind::indexComplete()
{
    indexUsable(); // decides m_indexComplete too, an empty index over an empty table included
    return m_useIndex && !m_indexFailed && m_indexComplete;
}

IndexedFind::Find *IndexedFind::findFor(const QString &criteria, std::optional<QString> *malformed)
{
    if (const auto it = m_finds.find(criteria); it != m_finds.end())
        return it->second.get();
    QString error;
    auto compiled = CompiledCriteria::compile(criteria, &error);
    if (!compiled) {
        *malformed = error;
        return nullptr;
    }
    auto entry = std::make_unique<Find>();
    const QByteArray sql = "SELECT rowid FROM " + m_table + " WHERE rowid > ? AND " + compiled->sql()
                           + " ORDER BY rowid";
    if (const auto parsed = Criteria::parse(criteria); parsed.expression)
        entry->pieces = SubstringQuery::forCriteria(*parsed.expression);
    if (!entry->statement.prepare(m_db, sql)) {
        failed();
        return nullptr;
    }
    entry->criteria = std::move(compiled);
    if (m_finds.size() >= kFindCacheLimit)
        m_finds.clear();
    return m_finds.emplace(criteria, std::move(entry)).first->second.get();
}

qint64 IndexedFind::pragmaValue(SqliteStatement &s, const char *sql)
{
    if (!s.isPrepared() && !s.prepare(m_db, sql))
        return -1;
    ResetOnExit resetter(s);
    return s.step() == SqliteStatement::Step::Row ? s.columnInt64(0) : -1;
}

bool IndexedFind::versionChanged()
{
    // Another connection's schema change is a commit too: data_version covers it.
    const Version now{sqlite3_total_changes64(m_db.handle()), pragmaValue(m_dataVersion, "PRAGMA data_version")};
    if (now == m_version && now.data >= 0)
        return false;
    m_version = now;
    ++m_versionCounter;
    return true;
}

// The index is used for table veltra, for the records it covers, until it fails once.
// Deciding reads the schema, so it is decided again only when something changed.
bool IndexedFind::decideIndex()
{
    if (!m_useIndex || m_indexFailed || m_tableName != QLatin1String("veltra"))
        return false;
    if (m_indexDecided == m_versionCounter)
        return m_indexCovers > 0;
    m_indexDecided = m_versionCounter;
    const SearchIndex::Status status = SearchIndex::status(m_db);
    const bool usable = status.state == SearchIndex::State::Ready || status.state == SearchIndex::State::Partial;
    m_indexCovers = usable ? status.upto : 0;
    m_indexBorn = status.born;
    m_indexComplete = status.state == SearchIndex::State::Ready;
    return m_indexCovers > 0;
}

bool IndexedFind::indexUsable()
{
    if (!m_useIndex || m_indexFailed || m_tableName != QLatin1String("veltra"))
        return false;
    versionChanged();
    return decideIndex();
}

// Makes the find's index query from the words known now; false when the index cannot be
// asked anything for it (no piece narrows the records down) or its words cannot be read.
bool IndexedFind::lookUp(Find &f)
{
    if (m_vocabularyAt != m_versionCounter) {
        if (!m_vocabulary.refresh(m_db, m_indexBorn, m_ownRun)) {
            // Derived data only: finds read every record until the index is built anew.
            m_indexFailed = true;
            m_vocabulary.clear();
            return false;
        }
        if (m_ownRun)
            m_vocabularyAt = m_versionCounter;
    }
    if (f.resolvedAt == m_vocabulary.generation())
        return f.lookup.has_value();
    f.resolvedAt = m_vocabulary.generation();
    f.lookup.reset();
    f.version.reset();
    f.match.finalize();
    // The field whose pieces leave the fewest words to ask for, as long as one narrows.
    std::optional<std::pair<std::size_t, std::size_t>> best; // pieces asked (more first), words (fewer first)
    for (const SubstringQuery::FieldPieces &field : f.pieces) {
        QByteArrayList terms;
        std::size_t asked = 0;
        std::size_t words = 0;
        bool none = false;
        for (const SubstringQuery::Piece &piece : field.pieces) {
            const std::optional<QByteArrayList> held = m_vocabulary.wordsFor(field.field, piece, kMostWords);
            if (!held)
                continue;
            if (held->isEmpty()) {
                none = true;
                break;
            }
            ++asked;
            words += std::size_t(held->size());
            QByteArrayList quoted;
            for (const QByteArray &word : *held)
                quoted << '"' + word + '"';
            terms << '(' + quoted.join(" OR ") + ')';
        }
        if (none) {
            f.lookup = Find::Lookup{SearchIndex::tableFor(field.field), {}};
            return true;
        }
        if (asked == 0)
            continue;
        if (!best || asked > best->first || (asked == best->first && words < best->second)) {
            best = {asked, words};
            f.lookup = Find::Lookup{SearchIndex::tableFor(field.field), terms.join(" AND ")};
        }
    }
    return f.lookup.has_value();
}

// Reads the index's next candidates after `after`. False when the index fails.
bool IndexedFind::readCandidates(Find &f, qint64 after)
{
    f.candidates.clear();
    f.version.reset();
    if (f.lookup->match.isEmpty()) {
        f.from = after;
        f.toEnd = true;
        f.dense = false;
        f.version = m_versionCounter;
        return true;
    }
    if (!f.match.isPrepared()) {
        const char *table = f.lookup->table;
        const QByteArray sql = QByteArray("SELECT rowid FROM ") + table + " WHERE " + table
                               + " MATCH ?1 AND rowid > ?2 AND rowid <= ?3 ORDER BY rowid LIMIT ?4";
        if (!f.match.prepare(m_db, sql))
            return false;
    }
    ResetOnExit resetter(f.match);
    if (!f.match.bindText(1, f.lookup->match) || !f.match.bindInt64(2, after) || !f.match.bindInt64(3, m_indexCovers)
        || !f.match.bindInt64(4, m_candidateChunk))
        return false;
    SqliteStatement::Step step;
    while ((step = f.match.step()) == SqliteStatement::Step::Row)
        f.candidates.push_back(f.match.columnInt64(0));
    if (step != SqliteStatement::Step::Done)
        return false;
    f.from = after;
    f.toEnd = f.candidates.size() < std::size_t(m_candidateChunk);
    // A word in nearly every record (a common one, or a short run of letters) is found
    // sooner by reading the records in turn than by looking each candidate up.
    f.dense = !f.toEnd && f.candidates.back() - std::max<qint64>(after, 0) < 2 * qint64(m_candidateChunk);
    f.version = m_versionCounter;
    return true;
}

// Appends the matches after `after` among the index's candidates, each confirmed by the
// criteria as the scan would, until there are `want`. End: the caller reads the records
// from `*scanFrom` on (those past the index's reach, or all when the index fails or a
// common word is read sooner in turn).
IndexedFind::Collected IndexedFind::collectThroughIndex(Find &f, qint64 after, std::size_t want,
                                                        std::vector<qint64> *hits, qint64 *scanFrom)
{
    *scanFrom = std::max(after, m_indexCovers);
    if (after >= m_indexCovers)
        return Collected::End;
    if (!f.confirm.isPrepared()
        && !f.confirm.prepare(m_db, "SELECT rowid FROM " + m_table + " WHERE rowid = ? AND " + f.criteria->sql())) {
        failed();
        return Collected::Failed;
    }
    for (;;) {
        const bool covered = f.version == m_versionCounter && after >= f.from
                             && (f.toEnd || (!f.candidates.empty() && after < f.candidates.back()));
        if (!covered && !readCandidates(f, after)) {
            if (!hits->empty())
                return Collected::Stopped;
            // Derived data only: a damaged index is left for the next build to replace.
            m_indexFailed = true;
            *scanFrom = after;
            return Collected::End;
        }
        if (f.dense) {
            *scanFrom = after;
            return Collected::End;
        }
        for (auto it = std::upper_bound(f.candidates.begin(), f.candidates.end(), after); it != f.candidates.end();
             ++it) {
            std::optional<qint64> hit;
            if (!firstRow(f, f.confirm, *it, &hit))
                return Collected::Failed;
            if (hit) {
                hits->push_back(*hit);
                m_quiet = true;
                if (hits->size() >= want)
                    return Collected::Enough;
            }
        }
        if (f.toEnd)
            return Collected::End;
        after = f.candidates.back();
    }
}

// Appends the matches after `after`, reading every record, until there are `want`.
IndexedFind::Collected IndexedFind::collectByScan(Find &f, qint64 after, std::size_t want, std::vector<qint64> *hits)
{
    ResetOnExit resetter(f.statement);
    if (!f.statement.bindInt64(1, after) || !f.criteria->bind(f.statement, 2)) {
        failed();
        return Collected::Failed;
    }
    while (hits->size() < want) {
        switch (f.statement.step()) {
        case SqliteStatement::Step::Row:
            hits->push_back(f.statement.columnInt64(0));
            m_quiet = true;
            break;
        case SqliteStatement::Step::Done:
            return Collected::End;
        case SqliteStatement::Step::Error:
            failed();
            return Collected::Failed;
        }
    }
    return Collected::Enough;
}

// The next `want` hits after `after`, as that many finds one after another would find them.
IndexedFind::Collected IndexedFind::readRun(Find &f, qint64 after, std::size_t want, std::vector<qint64> *hits)
{
    Collected collected = Collected::End;
    if (!f.pieces.empty() && decideIndex() && lookUp(f))
        collected = collectThroughIndex(f, after, want, hits, &after);
    if (collected == Collected::End)
        collected = collectByScan(f, after, want, hits);
    // A failure after a hit is met again by the find that goes on from there.
    return collected == Collected::Failed && !hits->empty() ? Collected::Stopped : collected;
}

// Runs one of a find's statements with the criteria bound: the next match after a rowid
// (the scan), or whether the record of that rowid matches (a candidate's confirmation).
// *row is the rowid it yields, if any; false when it fails.
bool IndexedFind::firstRow(Find &f, SqliteStatement &s, qint64 rowid, std::optional<qint64> *row)
{
    ResetOnExit resetter(s);
    if (s.bindInt64(1, rowid) && f.criteria->bind(s, 2)) {
        switch (s.step()) {
        case SqliteStatement::Step::Row:
            *row = s.columnInt64(0);
            return true;
        case SqliteStatement::Step::Done:
            row->reset();
            return true;
        case SqliteStatement::Step::Error:
            break;
        }
    }
    failed();
    return false;
}

std::optional<IndexedFind::IndexQuery> IndexedFind::indexQuery(const QString &criteria)
{
    std::optional<QString> malformed;
    Find *f = findFor(criteria, &malformed);
    if (!f)
        return std::nullopt;
    ReadTransaction read(m_db, &m_readStatements);
    m_ownRun = read.isOwn();
    versionChanged();
    std::optional<IndexQuery> query;
    if (!f->pieces.empty() && decideIndex() && lookUp(*f))
        query = IndexQuery{f->lookup->table, f->lookup->match};
    return query;
}

IndexedFind::Result IndexedFind::next(const QString &criteria, qint64 after)
{
    std::optional<QString> malformed;
    Find *f = findFor(criteria, &malformed);
    if (!f) {
        Result result = failure();
        result.malformed = malformed;
        return result;
    }
    Run &run = f->run;
    const auto answer = [&run](qint64 from) {
        ++run.served;
        const auto it = std::upper_bound(run.hits.begin(), run.hits.end(), from);
        return it == run.hits.end() ? Result{} : found(*it);
    };
    // One look at the version a find: it is what tells a write by another connection.
    bool looked = false;
    if (run.covers(after)) {
        looked = true;
        // Compared with the run's own version: another caller may have seen the change first.
        versionChanged();
        if (run.version == m_versionCounter)
            return answer(after);
    }

    // The version is read inside the run's transaction, or before it: a commit in between
    // makes the run newer than its version says, which only outdates it sooner.
    ReadTransaction read(m_db, &m_readStatements);
    m_ownRun = read.isOwn();
    const bool own = m_ownRun;
    if (!looked)
        versionChanged();
    std::size_t want = 1;
    if (own && run.kept && after >= run.from && (run.toEnd || after <= run.reach)) {
        // Going on from the last run: twice as far when it ran out, as far as it served
        // when a change cut it short.
        want = run.version == m_versionCounter ? std::min(2 * run.aimed, kLongestRun) : std::max<std::size_t>(1, run.served);
    }
    Run fresh;
    fresh.from = after;
    fresh.aimed = want;
    fresh.version = m_versionCounter;
    fresh.kept = own;
    const Collected collected = readRun(*f, after, want, &fresh.hits);
    m_quiet = false;
    read.end();
    if (collected == Collected::Failed) {
        run = {};
        return failure();
    }
    fresh.toEnd = collected == Collected::End;
    fresh.reach = fresh.hits.empty() ? after : fresh.hits.back();
    run = std::move(fresh);
    return answer(after);
}
