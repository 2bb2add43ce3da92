#include "indexedfind.h"

#include "compiledcriteria.h"
#include "criteria.h"
#include "searchindex.h"
#include "sqlitedb.h"
#include "substringquery.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

namespace {

// Candidates read from the index at a time: a rare word's fit in one read, a common
// word's hits are listed long before its candidates are all read.
constexpr int kCandidateChunk = 2048;
// Finds use a handful of criteria strings at a time; an unbounded cache would only grow.
constexpr std::size_t kFindCacheLimit = 32;

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

struct IndexedFind::Find
{
    std::unique_ptr<CompiledCriteria> criteria;
    std::optional<SubstringQuery::Lookup> lookup; // what the index can be asked, if anything
    // The index's candidates after `from`, in rowid order, read with the database as it
    // was at `version`; `toEnd` when there are none after the last.
    std::vector<qint64> candidates;
    qint64 from = 0;
    bool toEnd = false;
    bool dense = false; // more than half the records after `from` are candidates
    std::optional<quint64> version;
    // Declared last: released before the patterns they point to.
    SqliteStatement statement; // the next match after a rowid, reading every record
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
    m_indexVersion = {};
}

void IndexedFind::clear()
{
    m_finds.clear();
    m_dataVersion.finalize();
}

void IndexedFind::failed()
{
    if (m_onFailure)
        m_onFailure();
}

void IndexedFind::setIndexUse(bool use)
{
    m_useIndex = use;
    // A new index after a failed lookup is tried again.
    m_indexFailed = false;
    m_indexVersion = {};
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
                           + " ORDER BY rowid LIMIT 1";
    if (const auto parsed = Criteria::parse(criteria); parsed.expression)
        entry->lookup = SubstringQuery::forCriteria(*parsed.expression);
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

// The index is used for table veltra, for the records it covers, until it fails once.
// Deciding reads the schema, so it is decided again only when something changed.
bool IndexedFind::indexUsable()
{
    if (!m_useIndex || m_indexFailed || m_tableName != QLatin1String("veltra"))
        return false;
    // Another connection's schema change is a commit too: data_version covers it.
    const Version now{sqlite3_total_changes64(m_db.handle()), pragmaValue(m_dataVersion, "PRAGMA data_version")};
    if (now == m_indexVersion)
        return m_indexCovers > 0;
    m_indexVersion = now;
    ++m_versionCounter;
    const SearchIndex::Status status = SearchIndex::status(m_db);
    const bool usable = status.state == SearchIndex::State::Ready || status.state == SearchIndex::State::Partial;
    m_indexCovers = usable ? status.upto : 0;
    m_indexComplete = status.state == SearchIndex::State::Ready;
    return m_indexCovers > 0;
}

// Reads the index's next candidates after `after`. False when the index fails.
bool IndexedFind::readCandidates(Find &f, qint64 after)
{
    if (!f.match.isPrepared()) {
        const char *table = SearchIndex::tableFor(f.lookup->field);
        const QByteArray sql = QByteArray("SELECT rowid FROM ") + table + " WHERE " + table
                               + " MATCH ?1 AND rowid > ?2 AND rowid <= ?3 ORDER BY rowid LIMIT ?4";
        if (!f.match.prepare(m_db, sql))
            return false;
    }
    ResetOnExit resetter(f.match);
    f.candidates.clear();
    f.version.reset();
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

// The first match after `after` among the index's candidates, each confirmed by the
// criteria as the scan would. Nothing when the index fails or holds no match: the caller
// reads the records from `*scanFrom` on, those past the index's reach.
std::optional<IndexedFind::Result> IndexedFind::findThroughIndex(Find &f, qint64 after, qint64 *scanFrom)
{
    *scanFrom = std::max(after, m_indexCovers);
    if (after >= m_indexCovers)
        return std::nullopt;
    if (!f.confirm.isPrepared()
        && !f.confirm.prepare(m_db, "SELECT rowid FROM " + m_table + " WHERE rowid = ? AND " + f.criteria->sql())) {
        failed();
        return failure();
    }
    for (;;) {
        const bool covered = f.version == m_versionCounter && after >= f.from
                             && (f.toEnd || (!f.candidates.empty() && after < f.candidates.back()));
        if (!covered && !readCandidates(f, after)) {
            // Derived data only: a damaged index is left for the next build to replace.
            m_indexFailed = true;
            *scanFrom = after;
            return std::nullopt;
        }
        if (f.dense) {
            *scanFrom = after;
            return std::nullopt;
        }
        for (auto it = std::upper_bound(f.candidates.begin(), f.candidates.end(), after); it != f.candidates.end();
             ++it) {
            std::optional<qint64> hit;
            if (!firstRow(f, f.confirm, *it, &hit))
                return failure();
            if (hit)
                return found(*hit);
        }
        if (f.toEnd)
            return std::nullopt;
        after = f.candidates.back();
    }
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

IndexedFind::Result IndexedFind::next(const QString &criteria, qint64 after)
{
    std::optional<QString> malformed;
    Find *f = findFor(criteria, &malformed);
    if (!f) {
        Result result = failure();
        result.malformed = malformed;
        return result;
    }
    if (f->lookup && indexUsable()) {
        if (std::optional<Result> throughIndex = findThroughIndex(*f, after, &after))
            return *throughIndex;
    }
    std::optional<qint64> hit;
    if (!firstRow(*f, f->statement, after, &hit))
        return failure();
    if (hit)
        return found(*hit);
    return {};
}
