// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/searchindex.h"

#include "store/indexwords.h"
#include "store/schemaparts.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitevarint.h"
#include "store/steppedbuild.h"
#include "store/wordlister.h"

#include <QRandomGenerator>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// Changing any text below changes what a file must hold to count as whole: raise this so
// files written with the old form are built anew rather than trusted.
constexpr int kFormat = 3;

struct IndexedField
{
    Criteria::Field field;
    int list; // the field's number in veltra_fts_words
    const char *table;
    const char *column;
    const char *updateTrigger;
};

constexpr IndexedField kFields[] = {
    {Criteria::Field::MessAuthor, 0, "veltra_fts_author", "messauthor", "veltra_fts_update_author"},
    {Criteria::Field::MessTitle, 1, "veltra_fts_title", "messtitle", "veltra_fts_update_title"},
    {Criteria::Field::Message, 2, "veltra_fts_body", "message", "veltra_fts_update_body"},
};

// The word lister reads each field's texts from the column of its list's number.
static_assert(kFields[0].list == 0 && kFields[1].list == 1 && kFields[2].list == 2);

// What FTS5 keeps for a table of this form (its text stays in veltra).
constexpr const char *kShadowTables[] = {"_data", "_idx", "_docsize", "_config"};

constexpr char kStateTable[] = "veltra_fts_state";
// Deleted records whose words the index still holds. Taking a record's words out of the
// index costs about a millisecond, so a deletion only keeps its texts here, in the same
// transaction; the index lets go of them later in the background, many at a time. Their
// stale entries meanwhile only add candidates that no record confirms.
constexpr char kGoneTable[] = "veltra_fts_gone";
// Every word the index holds, per field, listed by the builder as it takes records in: a
// find looks up the words that hold what it seeks. Records the triggers take into the
// covered part are listed in kFreshTable until the builder has listed their words too.
constexpr char kWordsTable[] = "veltra_fts_words";
constexpr char kFreshTable[] = "veltra_fts_fresh";
// The triggers follow only what the build has taken in so far.
constexpr char kIndexed[] = " <= (SELECT upto FROM veltra_fts_state)";

QByteArray addRow(const IndexedField &f, const char *row)
{
    return QByteArray("INSERT INTO ") + f.table + "(rowid, " + f.column + ") VALUES (" + row + ".rowid, " + row
           + "." + f.column + ");";
}

// An index that stores no text is told the old text to take out.
QByteArray dropRow(const IndexedField &f)
{
    return QByteArray("INSERT INTO ") + f.table + "(" + f.table + ", rowid, " + f.column + ") VALUES ('delete', old.rowid, old."
           + f.column + ");";
}

// The index lets go of the words of gone records: those of `where`, a condition on id.
QByteArray dropGone(const IndexedField &f, const QByteArray &where)
{
    return QByteArray("INSERT INTO ") + f.table + "(" + f.table + ", rowid, " + f.column + ") SELECT 'delete', id, "
           + f.column + " FROM " + kGoneTable + " WHERE " + where + ";";
}

using SchemaObject = SchemaParts::Part;

// Every part of the index, as CREATE statements; SQLite keeps these texts as given, so
// the file's copies are compared with them.
std::vector<SchemaObject> schemaObjects()
{
    std::vector<SchemaObject> objects;
    objects.push_back({kStateTable, "CREATE TABLE veltra_fts_state(format INTEGER NOT NULL, upto INTEGER NOT NULL,"
                                    " born INTEGER NOT NULL)"});
    objects.push_back({kGoneTable, "CREATE TABLE veltra_fts_gone(id INTEGER PRIMARY KEY, messauthor, messtitle, message)"});
    objects.push_back({kWordsTable, "CREATE TABLE veltra_fts_words(id INTEGER PRIMARY KEY, field INTEGER NOT NULL,"
                                    " word TEXT NOT NULL, UNIQUE (field, word))"});
    // Numbers never used again, so a reader can go on from the last it saw.
    objects.push_back({kFreshTable, "CREATE TABLE veltra_fts_fresh(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                                    " id INTEGER NOT NULL)"});
    const QByteArray fresh = QByteArray(" INSERT INTO ") + kFreshTable + "(id) VALUES (new.rowid);";
    // A record stored under the rowid of a gone one: the old words go first, or they would
    // be taken out of the new record's entries later.
    QByteArray inserts;
    for (const IndexedField &f : kFields)
        inserts += ' ' + dropGone(f, "id = new.rowid");
    inserts += QByteArray(" DELETE FROM ") + kGoneTable + " WHERE id = new.rowid;" + fresh;
    const QByteArray deletes = QByteArray(" INSERT INTO ") + kGoneTable
                               + "(id, messauthor, messtitle, message) VALUES (old.rowid, old.messauthor, old.messtitle,"
                                 " old.message);";
    for (const IndexedField &f : kFields) {
        objects.push_back({f.table, QByteArray("CREATE VIRTUAL TABLE ") + f.table + " USING fts5(" + f.column
                                        + ", content='veltra', tokenize='ascii', detail=none)"});
        inserts += ' ' + addRow(f, "new");
    }
    objects.push_back({"veltra_fts_insert", QByteArray("CREATE TRIGGER veltra_fts_insert AFTER INSERT ON veltra WHEN new.rowid")
                                                + kIndexed + " BEGIN" + inserts + " END"});
    objects.push_back({"veltra_fts_delete", QByteArray("CREATE TRIGGER veltra_fts_delete AFTER DELETE ON veltra WHEN old.rowid")
                                                + kIndexed + " BEGIN" + deletes + " END"});
    for (const IndexedField &f : kFields) {
        objects.push_back({f.updateTrigger, QByteArray("CREATE TRIGGER ") + f.updateTrigger + " AFTER UPDATE OF " + f.column
                                                + " ON veltra WHEN old.rowid = new.rowid AND old.rowid" + kIndexed
                                                + " BEGIN " + dropRow(f) + ' ' + addRow(f, "new") + fresh + " END"});
    }
    // A record given another rowid by hand cannot be followed: the index is built anew.
    objects.push_back({"veltra_fts_moved", "CREATE TRIGGER veltra_fts_moved AFTER UPDATE ON veltra WHEN old.rowid <> new.rowid"
                                           " BEGIN UPDATE veltra_fts_state SET upto = -1; END"});
    return objects;
}

constexpr char kParts[] = "veltra_fts_*";

// An FTS table whose shadow tables were dropped by hand cannot be opened, so cannot be
// dropped either: its line in the schema is taken out instead (it owns no pages of its
// own), and its remaining shadow tables go with the other tables.
bool dropIndexTables(SqliteDb &db, const QList<QByteArray> &names)
{
    for (const QByteArray &name : names) {
        if (db.exec(QByteArray("DROP TABLE IF EXISTS " + SchemaParts::quoted(name)).constData()))
            continue;
        SqliteStatement unlist;
        if (!db.exec("PRAGMA writable_schema = ON"))
            return false;
        const bool removed = unlist.prepare(db, "DELETE FROM sqlite_schema WHERE type = 'table' AND name = ?1", false)
                             && unlist.bindText(1, name) && unlist.step() == SqliteStatement::Step::Done;
        unlist.finalize();
        if (!db.exec("PRAGMA writable_schema = RESET") || !removed)
            return false;
    }
    return true;
}

// The first word of a text as a phrase for MATCH; empty when it has none.
QByteArray firstWord(QByteArrayView utf8)
{
    QByteArray phrase;
    IndexWords::forEach(utf8, [&](const QByteArray &word) {
        if (phrase.isEmpty())
            phrase = '"' + word + '"';
    });
    return phrase;
}

// Takes the records after `from` up to `to` into the index and lists their words; how
// many, or -1 on failure.
qint64 takeIn(SqliteDb &db, WordLister &words, qint64 from, qint64 to)
{
    words.start("SELECT messauthor, messtitle, message FROM veltra WHERE rowid > ?1 AND rowid <= ?2", from, to);
    qint64 taken = 0;
    bool ok = true;
    for (const IndexedField &f : kFields) {
        SqliteStatement insert;
        ok = ok
             && insert.prepare(db, QByteArray("INSERT INTO ") + f.table + "(rowid, " + f.column + ") SELECT rowid, "
                                       + f.column + " FROM veltra WHERE rowid > ?1 AND rowid <= ?2", false)
             && insert.bindInt64(1, from) && insert.bindInt64(2, to) && insert.step() == SqliteStatement::Step::Done;
        taken = sqlite3_changes(db.handle());
    }
    // Waited for even after a failure: the lister must be done before the lock goes.
    const bool listed = words.finish(db);
    return ok && listed ? taken : -1;
}

// Lists the words of up to `limit` records the triggers took into the covered part;
// how many, or -1 on failure.
qint64 listFresh(SqliteDb &db, WordLister &words, qint64 limit)
{
    SqliteStatement last;
    if (!last.prepare(db, QByteArray("SELECT max(seq), count(*) FROM (SELECT seq FROM ") + kFreshTable
                              + " ORDER BY seq LIMIT ?1)", false)
        || !last.bindInt64(1, limit) || last.step() != SqliteStatement::Step::Row)
        return -1;
    const qint64 count = last.columnInt64(1);
    const qint64 upTo = last.columnInt64(0);
    last.finalize();
    if (count == 0)
        return 0;
    words.start(QByteArray("SELECT v.messauthor, v.messtitle, v.message FROM ") + kFreshTable
                    + " f LEFT JOIN veltra v ON v.rowid = f.id WHERE f.seq > ?1 AND f.seq <= ?2",
                0, upTo);
    if (!words.finish(db)
        || !db.exec((QByteArray("DELETE FROM ") + kFreshTable + " WHERE seq <= " + QByteArray::number(upTo)).constData()))
        return -1;
    return count;
}

constexpr int kSampledRecords = 16;

} // namespace

namespace SearchIndex {

int listOf(Criteria::Field field)
{
    for (const IndexedField &f : kFields) {
        if (f.field == field)
            return f.list;
    }
    return -1;
}

std::optional<qint64> recordedSize(QByteArrayView docsize)
{
    qsizetype at = 0;
    const std::optional<quint64> size = readSqliteVarint(docsize, &at);
    return size ? std::optional<qint64>(qint64(*size)) : std::nullopt;
}

std::optional<QString> verify(SqliteDb &db, qint64 upto)
{
    const auto failed = [&] { return std::optional<QString>(db.lastError()); };
    // Every record covered has its size in each table, as large as its text is now. One
    // walk over the records in rowid order, beside each table's sizes in the same order:
    // the texts are read once (not once a field), and no size is looked up by rowid.
    // Sizes of records deleted since (their words not let go of yet) are passed over.
    constexpr std::size_t kCount = std::size(kFields);
    SqliteStatement texts;
    SqliteStatement sizes[kCount];
    if (!texts.prepare(db, "SELECT rowid, messauthor, messtitle, message FROM veltra WHERE rowid <= ?1 ORDER BY rowid", false)
        || !texts.bindInt64(1, upto))
        return failed();
    static_assert(kFields[0].list == 0 && kFields[1].list == 1 && kFields[2].list == 2);
    bool more[kCount];
    for (std::size_t f = 0; f < kCount; ++f) {
        if (!sizes[f].prepare(db, QByteArray("SELECT id, sz FROM ") + kFields[f].table + "_docsize WHERE id <= ?1 ORDER BY id",
                              false)
            || !sizes[f].bindInt64(1, upto))
            return failed();
        const SqliteStatement::Step step = sizes[f].step();
        if (step == SqliteStatement::Step::Error)
            return failed();
        more[f] = step == SqliteStatement::Step::Row;
    }
    qint64 wrong[kCount] = {};
    for (;;) {
        const SqliteStatement::Step step = texts.step();
        if (step == SqliteStatement::Step::Error)
            return failed();
        if (step == SqliteStatement::Step::Done)
            break;
        const qint64 rowid = texts.columnInt64(0);
        for (std::size_t f = 0; f < kCount; ++f) {
            while (more[f] && sizes[f].columnInt64(0) < rowid) {
                const SqliteStatement::Step next = sizes[f].step();
                if (next == SqliteStatement::Step::Error)
                    return failed();
                more[f] = next == SqliteStatement::Step::Row;
            }
            // The column's text form, as the tokenizer reads it (NULL: no words).
            if (!more[f] || sizes[f].columnInt64(0) != rowid
                || recordedSize(sizes[f].columnBlob(1)).value_or(-1) != IndexWords::count(texts.columnBytes(int(f) + 1)))
                ++wrong[f];
        }
    }
    for (std::size_t f = 0; f < kCount; ++f) {
        if (wrong[f] > 0)
            return QStringLiteral("The search index is out of step with the %1 of %2 messages; it is built anew.")
                .arg(QLatin1String(kFields[f].column))
                .arg(wrong[f]);
    }
    texts.finalize();
    for (SqliteStatement &s : sizes)
        s.finalize();

    for (const IndexedField &f : kFields) {
        // Records spread over those covered are each found by a lookup of their own text.
        SqliteStatement sample;
        SqliteStatement lookup;
        if (!sample.prepare(db, QByteArray("SELECT rowid, ") + f.column + " FROM veltra WHERE rowid >= ?1 AND rowid <= ?2"
                                    " ORDER BY rowid LIMIT 1", false)
            || !lookup.prepare(db, QByteArray("SELECT count(*) FROM ") + f.table + " WHERE " + f.table
                                       + " MATCH ?1 AND rowid = ?2", false))
            return failed();
        for (int i = 0; i <= kSampledRecords; ++i) {
            sample.reset();
            if (!sample.bindInt64(1, upto * i / kSampledRecords) || !sample.bindInt64(2, upto))
                return failed();
            const SqliteStatement::Step step = sample.step();
            if (step == SqliteStatement::Step::Error)
                return failed();
            if (step == SqliteStatement::Step::Done)
                break;
            const qint64 rowid = sample.columnInt64(0);
            const QByteArray phrase = firstWord(sample.columnBytes(1));
            if (phrase.isEmpty())
                continue;
            lookup.reset();
            if (!lookup.bindText(1, phrase) || !lookup.bindInt64(2, rowid) || lookup.step() != SqliteStatement::Step::Row)
                return failed();
            if (lookup.columnInt64(0) != 1)
                return QStringLiteral("The search index does not find record %1 by its %2; it is built anew.")
                    .arg(rowid)
                    .arg(QLatin1String(f.column));
        }
    }
    return std::nullopt;
}

const char *tableFor(Criteria::Field field)
{
    for (const IndexedField &f : kFields) {
        if (f.field == field)
            return f.table;
    }
    return nullptr;
}

Status status(SqliteDb &db)
{
    Status broken{State::Broken, 0};
    // The FTS tables' own shadow tables belong to them, and must all be there.
    const auto shadow = [](const QByteArray &name) {
        bool is = false;
        for (const IndexedField &f : kFields) {
            for (const char *suffix : kShadowTables)
                is |= name == QByteArray(f.table) + suffix;
        }
        return is;
    };
    const std::vector<SchemaObject> expected = schemaObjects();
    const std::optional<SchemaParts::Found> found = SchemaParts::find(db, kParts, expected, shadow);
    if (!found)
        return broken;
    if (!found->any)
        return {State::Absent, 0};
    if (found->foreign || found->whole != expected.size()
        || found->owned != std::size(kFields) * std::size(kShadowTables))
        return broken;
    SqliteStatement state;
    if (!state.prepare(db, "SELECT format, upto, born FROM veltra_fts_state", false))
        return broken;
    if (state.step() != SqliteStatement::Step::Row)
        return broken;
    const qint64 format = state.columnInt64(0);
    const qint64 upto = state.columnInt64(1);
    const qint64 born = state.columnInt64(2);
    if (state.step() != SqliteStatement::Step::Done || format != kFormat || upto < 0)
        return broken;
    SqliteStatement last;
    if (!last.prepare(db, "SELECT coalesce(max(rowid), 0) FROM veltra", false) || last.step() != SqliteStatement::Step::Row)
        return broken;
    return {upto >= last.columnInt64(0) ? State::Ready : State::Partial, upto, born};
}

bool remove(SqliteDb &db)
{
    // Triggers first, then the FTS tables (which take their own shadow tables with them),
    // then any other table.
    const std::optional<SchemaParts::Names> parts = SchemaParts::names(db, kParts);
    return parts && SchemaParts::drop(db, parts->triggers, "TRIGGER") && dropIndexTables(db, parts->virtualTables)
           && SchemaParts::drop(db, parts->tables, "TABLE");
}

bool create(SqliteDb &db)
{
    if (!remove(db))
        return false;
    for (const SchemaObject &o : schemaObjects()) {
        if (!db.exec(o.sql.constData()))
            return false;
    }
    // Tells readers that kept the words of an earlier index to read them anew.
    const qint64 born = qint64(QRandomGenerator::global()->generate64() >> 1);
    return db.exec(QByteArray("INSERT INTO veltra_fts_state(format, upto, born) VALUES (" + QByteArray::number(kFormat)
                              + ", 0, " + QByteArray::number(born) + ")")
                       .constData());
}

bool disarm(SqliteDb &db)
{
    const std::optional<SchemaParts::Names> parts = SchemaParts::names(db, kParts);
    return parts && SchemaParts::drop(db, parts->triggers, "TRIGGER");
}

qint64 goneCount(SqliteDb &db)
{
    SqliteStatement s;
    if (!s.prepare(db, QByteArray("SELECT count(*) FROM ") + kGoneTable, false) || s.step() != SqliteStatement::Step::Row)
        return -1;
    return s.columnInt64(0);
}

qint64 backlog(SqliteDb &db)
{
    SqliteStatement s;
    if (!s.prepare(db, QByteArray("SELECT (SELECT count(*) FROM ") + kGoneTable + ") + (SELECT count(*) FROM "
                              + kFreshTable + ")", false)
        || s.step() != SqliteStatement::Step::Row)
        return -1;
    return s.columnInt64(0);
}

qint64 letGoOfGone(SqliteDb &db, qint64 limit)
{
    SqliteStatement last;
    if (!last.prepare(db, QByteArray("SELECT max(id), count(*) FROM (SELECT id FROM ") + kGoneTable
                              + " ORDER BY id LIMIT ?1)", false)
        || !last.bindInt64(1, limit) || last.step() != SqliteStatement::Step::Row)
        return -1;
    const qint64 count = last.columnInt64(1);
    if (count == 0)
        return 0;
    const QByteArray where = "id <= " + QByteArray::number(last.columnInt64(0));
    last.finalize();
    for (const IndexedField &f : kFields) {
        if (!db.exec(dropGone(f, where).constData()))
            return -1;
    }
    if (!db.exec((QByteArray("DELETE FROM ") + kGoneTable + " WHERE " + where).constData()))
        return -1;
    return count;
}

} // namespace SearchIndex

namespace {

using Builder = SearchIndexBuilder;
using SearchIndex::State;

bool keptState(const SearchIndex::Status &status)
{
    return status.state == State::Ready || status.state == State::Partial;
}

// Looks at the index there as `task` asks (of `total` records in all), and marks it
// Broken, saying why in `detail`, when it is to be built anew; false on failure.
bool judge(SteppedBuild &build, Builder::Task task, qint64 total, SearchIndex::Status *status, QString *detail)
{
    SqliteDb &db = build.db();
    if (keptState(*status)) {
        // Records written around the triggers (by hand, or by a program without them)
        // leave the index out of step: its counts then differ from the table's.
        // Deleted records the index has not let go of yet are still among its rows.
        qint64 after = 0;
        const qint64 gone = SearchIndex::goneCount(db);
        if (gone < 0 || !SteppedBuild::count(db, "SELECT count(*) FROM veltra WHERE rowid > ?1", &after, {status->upto}))
            return false;
        for (const IndexedField &f : kFields) {
            qint64 n = 0;
            if (!SteppedBuild::count(db, QByteArray("SELECT count(*) FROM ") + f.table + "_docsize", &n))
                return false;
            if (n != total - after + gone) {
                *detail = QStringLiteral("The search index held %1 of the %2 messages it should; it is built anew.")
                              .arg(n)
                              .arg(total - after + gone);
                status->state = State::Broken;
                break;
            }
        }
    }
    if (task == Builder::Task::Verify && keptState(*status)) {
        const std::optional<QString> wrong = SearchIndex::verify(db, status->upto);
        if (build.cancelled())
            return false;
        if (wrong) {
            *detail = *wrong;
            status->state = State::Broken;
        }
    }
    if (status->state == State::Broken && detail->isEmpty())
        *detail = QStringLiteral("The search index was incomplete or from another version; it is built anew.");
    return true;
}

// Takes up to `size` records after the covered part into the index; `added` says how many.
SteppedBuild::Step takeInStep(SteppedBuild &build, WordLister &words, qint64 size, qint64 *added)
{
    SqliteDb &db = build.db();
    // Read again inside the transaction: another copy of the program may be building too.
    const SearchIndex::Status status = SearchIndex::status(db);
    if (status.state == State::Ready)
        return SteppedBuild::Step::Finished;
    if (status.state != State::Partial) {
        db.setError(QStringLiteral("The search index was changed while it was being built."), SQLITE_ERROR);
        return SteppedBuild::Step::Failed;
    }
    std::optional<qint64> high;
    if (!build.stepEnd(status.upto, size, &high))
        return SteppedBuild::Step::Failed;
    if (!high)
        return SteppedBuild::Step::Finished; // a record deleted meanwhile: nothing is left after all
    *added = takeIn(db, words, status.upto, *high);
    if (*added < 0 || !SteppedBuild::exec(db, "UPDATE veltra_fts_state SET upto = ?1", {*high}))
        return SteppedBuild::Step::Failed;
    return SteppedBuild::Step::Taken;
}

// Takes the records after the covered part in, from `done` of `total`; false on failure.
bool takeInAll(SteppedBuild &build, WordLister &words, const Builder::Settings &settings, qint64 total, qint64 done,
               const Builder::ProgressHandler &progress, Builder::Report *report)
{
    qint64 added = 0;
    const bool built = build.runSteps(
        {settings.firstStep, settings.stepMs, 50000, settings.pauseMs},
        [&](qint64 size) { return takeInStep(build, words, size, &added); },
        [&] {
            done += added;
            report->indexed += added;
            if (progress)
                progress(done, std::max(total, done));
        });
    if (built && progress)
        progress(std::max(total, done), std::max(total, done));
    return built;
}

// Lets go of the words of deleted records, and lists those of records written into the
// covered part, in shorter steps: this follows the user's own deletions and edits, and
// the writes that come next should not wait long. False on failure.
bool keepUp(SteppedBuild &build, WordLister &words, const Builder::Settings &settings, Builder::Report *report)
{
    SqliteDb &db = build.db();
    qint64 letGo = 0;
    return build.runSteps(
        {settings.firstStep, std::min(settings.stepMs, settings.upkeepStepMs), 50000, settings.pauseMs},
        [&](qint64 size) {
            letGo = SearchIndex::letGoOfGone(db, size);
            const qint64 listed = letGo < 0 ? -1 : listFresh(db, words, size);
            if (listed < 0)
                return SteppedBuild::Step::Failed;
            return letGo == 0 && listed == 0 ? SteppedBuild::Step::Finished : SteppedBuild::Step::Taken;
        },
        [&] { report->letGo += letGo; });
}

} // namespace

SearchIndexBuilder::SearchIndexBuilder(QObject *parent)
    : QObject(parent)
    , m_job(this)
{
}

SearchIndexBuilder::~SearchIndexBuilder() = default;

bool SearchIndexBuilder::isRunning() const
{
    return m_job.isRunning();
}

bool SearchIndexBuilder::start(const QString &databasePath, Task task, const Settings &settings)
{
    return m_job.start([this, databasePath, task, settings](const BackgroundJob::Context &job) -> std::function<void()> {
        const Report report = run(
            databasePath, task, settings, job.throttled([this](qint64 done, qint64 total) { emit progress(done, total); }),
            [this, &job] { job.post([this] { emit usable(); }); }, &job.shared());
        return [this, report] { emit finished(report.outcome, report.detail); };
    });
}

bool SearchIndexBuilder::start(const QString &databasePath, Task task)
{
    return start(databasePath, task, Settings());
}

SearchIndexBuilder::Report SearchIndexBuilder::run(const QString &databasePath, Task task)
{
    return run(databasePath, task, Settings());
}

SearchIndexBuilder::Report SearchIndexBuilder::run(const QString &databasePath, Task task, const Settings &settings,
                                                   const ProgressHandler &progress, const UsableHandler &usable)
{
    WorkerConnection shared;
    return run(databasePath, task, settings, progress, usable, &shared);
}

SearchIndexBuilder::Report SearchIndexBuilder::run(const QString &databasePath, Task task, const Settings &settings,
                                                   const ProgressHandler &progress, const UsableHandler &usable,
                                                   WorkerConnection *shared)
{
    Report report;
    SteppedBuild build(*shared);
    if (!build.open(databasePath)) {
        report.detail = build.db().lastError();
        return report;
    }
    SqliteDb &db = build.db();
    // Each step's commit merges the index's newest segments, reading back the pages the
    // last steps wrote: kept in this connection's cache, a build takes a quarter less time.
    db.exec("PRAGMA cache_size = -65536");

    SearchIndex::Status status = SearchIndex::status(db);
    if (build.cancelled())
        return build.failed(report);
    if (task == Task::Remove) {
        if (status.state != State::Absent && !build.inTransaction([&db] { return SearchIndex::remove(db); }))
            return build.failed(report);
        report.outcome = Outcome::Removed;
        return report;
    }
    if (task == Task::Rebuild) {
        report.detail = QStringLiteral("The search index failed a lookup; it is built anew.");
        status.state = State::Broken;
    }
    qint64 total = 0;
    if (!SteppedBuild::count(db, "SELECT count(*) FROM veltra", &total) || !judge(build, task, total, &status, &report.detail))
        return build.failed(report);
    if (!keptState(status) && !build.inTransaction([&db] { return SearchIndex::create(db); }))
        return build.failed(report);
    if (usable && task != Task::Build)
        usable();

    qint64 done = 0;
    if (!SteppedBuild::count(db, "SELECT count(*) FROM veltra_fts_body_docsize", &done))
        return build.failed(report);
    if (progress)
        progress(done, std::max(total, done));
    WordLister words(databasePath, kWordsTable, int(std::size(kFields)));
    if (!takeInAll(build, words, settings, total, done, progress, &report) || !keepUp(build, words, settings, &report))
        return build.failed(report);
    report.outcome = Outcome::Ready;
    return report;
}
