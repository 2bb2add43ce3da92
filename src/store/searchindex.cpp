// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/searchindex.h"

#include "store/indexwords.h"
#include "store/schemaparts.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitevarint.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
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
constexpr int kBusyPauseMs = 5;
constexpr int kBusyLimitMs = 60000;

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

// The two sizes verify() compares, for SQL: the words of a value as the tokenizer reads
// it (its text form), and the count a docsize row records.
void wordCountFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const char *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    sqlite3_result_int64(context, IndexWords::count(QByteArrayView(text, text ? sqlite3_value_bytes(argv[0]) : 0)));
}

void recordedSizeFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const char *blob = static_cast<const char *>(sqlite3_value_blob(argv[0]));
    sqlite3_result_int64(context,
                         SearchIndex::recordedSize(QByteArrayView(blob, blob ? sqlite3_value_bytes(argv[0]) : 0)).value_or(-1));
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

// Lists the words of the records a build step takes in, on a thread and a read-only
// connection of its own, while the step writes the index: listing looks up every word of
// every message, a third of a build's work, and on two cores costs no time this way. The
// step holds the write lock from before the listing starts until after it ends, so both
// read the same records.
class WordLister
{
public:
    explicit WordLister(const QString &databasePath)
        : m_thread([this, databasePath] { work(databasePath); })
    {
    }

    ~WordLister()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    WordLister(const WordLister &) = delete;
    WordLister &operator=(const WordLister &) = delete;

    // Starts listing the texts (author, subject, body) of the rows `sql` selects, with
    // ?1 and ?2 bound to from and to.
    void start(const QByteArray &sql, qint64 from, qint64 to)
    {
        {
            std::lock_guard lock(m_mutex);
            m_job = Job{sql, from, to};
            m_done.reset();
        }
        m_changed.notify_all();
    }

    // Waits for the listing and stores the words met for the first time in `db`'s list;
    // false on failure, the reason in `db`.
    bool finish(SqliteDb &db)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done.has_value(); });
        const Result result = std::move(*m_done);
        m_done.reset();
        lock.unlock();
        if (!result.error.isEmpty()) {
            db.setError(result.error, SQLITE_ERROR);
            return false;
        }
        if (result.words.empty())
            return true;
        if (!m_insert.isPrepared()
            && !m_insert.prepare(db, QByteArray("INSERT OR IGNORE INTO ") + kWordsTable + "(field, word) VALUES (?1, ?2)"))
            return false;
        for (const auto &[list, word] : result.words) {
            ResetOnExit resetter(m_insert);
            if (!m_insert.bindInt64(1, list) || !m_insert.bindText(2, word) || m_insert.step() != SqliteStatement::Step::Done)
                return false;
        }
        return true;
    }

private:
    struct Job
    {
        QByteArray sql;
        qint64 from = 0;
        qint64 to = 0;
    };
    struct Result
    {
        QString error;
        std::vector<std::pair<int, QByteArray>> words;
    };

    void work(const QString &databasePath)
    {
        WorkerConnection::yieldToWindow();
        SqliteDb db;
        bool loaded = false;
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_job.has_value(); });
                if (m_stop)
                    return;
                job = std::move(*m_job);
                m_job.reset();
            }
            Result result;
            if (!loaded) {
                loaded = db.open(databasePath, SQLITE_OPEN_READONLY) && load(db);
                if (loaded)
                    sqlite3_busy_timeout(db.handle(), kBusyLimitMs);
            }
            if (!loaded || !list(db, job, &result.words))
                result.error = db.lastError().isEmpty() ? QStringLiteral("The words of the messages could not be listed.")
                                                        : db.lastError();
            {
                std::lock_guard lock(m_mutex);
                m_done = std::move(result);
            }
            m_changed.notify_all();
        }
    }

    bool load(SqliteDb &db)
    {
        SqliteStatement s;
        if (!s.prepare(db, QByteArray("SELECT field, word FROM ") + kWordsTable, false))
            return false;
        SqliteStatement::Step step;
        while ((step = s.step()) == SqliteStatement::Step::Row) {
            const qint64 list = s.columnInt64(0);
            if (list >= 0 && list < qint64(m_known.size()))
                m_known[std::size_t(list)].addText(s.columnBytes(1));
        }
        return step == SqliteStatement::Step::Done;
    }

    bool list(SqliteDb &db, const Job &job, std::vector<std::pair<int, QByteArray>> *words)
    {
        SqliteStatement read;
        if (!read.prepare(db, job.sql, false) || !read.bindInt64(1, job.from) || !read.bindInt64(2, job.to))
            return false;
        SqliteStatement::Step step;
        while ((step = read.step()) == SqliteStatement::Step::Row) {
            for (const IndexedField &f : kFields) {
                m_known[std::size_t(f.list)].addText(read.columnBytes(f.list), [&](QByteArrayView word) {
                    words->emplace_back(f.list, word.toByteArray());
                });
            }
        }
        return step == SqliteStatement::Step::Done;
    }

    std::array<IndexWords::WordSet, std::size(kFields)> m_known; // the lister thread's only
    SqliteStatement m_insert;                                    // the builder's only
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_job;
    std::optional<Result> m_done;
    bool m_stop = false;
    std::thread m_thread; // last: started once the rest is there
};

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
    if (!db.check(sqlite3_create_function_v2(db.handle(), "veltra_word_count", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                             nullptr, wordCountFunction, nullptr, nullptr, nullptr),
                  "create function")
        || !db.check(sqlite3_create_function_v2(db.handle(), "veltra_recorded_size", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                nullptr, recordedSizeFunction, nullptr, nullptr, nullptr),
                     "create function"))
        return failed();
    for (const IndexedField &f : kFields) {
        // Every record covered has its size in the table, as large as its text is now.
        SqliteStatement sizes;
        if (!sizes.prepare(db, QByteArray("SELECT count(*) FROM veltra v LEFT JOIN ") + f.table
                                   + "_docsize d ON d.id = v.rowid WHERE v.rowid <= ?1 AND (d.id IS NULL"
                                     " OR veltra_recorded_size(d.sz) <> veltra_word_count(v." + f.column + "))",
                           false)
            || !sizes.bindInt64(1, upto) || sizes.step() != SqliteStatement::Step::Row)
            return failed();
        if (const qint64 wrong = sizes.columnInt64(0); wrong > 0)
            return QStringLiteral("The search index is out of step with the %1 of %2 messages; it is built anew.")
                .arg(QLatin1String(f.column))
                .arg(wrong);

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
    SqliteDb db;
    if (!db.open(databasePath, SQLITE_OPEN_READWRITE)) {
        report.detail = db.lastError();
        return report;
    }
    // The window's connection may be writing: wait for it, but give up at once when called off.
    const WorkerConnection::Attachment attached(*shared, db.handle(), kBusyPauseMs, kBusyLimitMs);

    // What every step below ends with when it fails.
    const auto failed = [&] {
        const bool stopped = shared->cancelled();
        report.outcome = stopped ? Outcome::Stopped : Outcome::Failed;
        report.detail = stopped ? QString() : db.lastError();
        if (db.inTransaction())
            db.exec("ROLLBACK");
        return report;
    };
    // In write-ahead-log mode the window's reads go on while a step is written.
    db.exec("PRAGMA synchronous = NORMAL");
    // Each step's commit merges the index's newest segments, reading back the pages the
    // last steps wrote: kept in this connection's cache, a build takes a quarter less time.
    db.exec("PRAGMA cache_size = -65536");
    const auto count = [&](const QByteArray &sql, qint64 *n) {
        SqliteStatement s;
        if (!s.prepare(db, sql, false) || s.step() != SqliteStatement::Step::Row)
            return false;
        *n = s.columnInt64(0);
        return true;
    };
    const auto anew = [&] {
        return db.exec("BEGIN IMMEDIATE") && SearchIndex::create(db) && db.exec("COMMIT");
    };

    SearchIndex::Status status = SearchIndex::status(db);
    if (shared->cancelled())
        return failed();
    if (task == Task::Remove) {
        if (status.state != SearchIndex::State::Absent
            && !(db.exec("BEGIN IMMEDIATE") && SearchIndex::remove(db) && db.exec("COMMIT")))
            return failed();
        report.outcome = Outcome::Removed;
        return report;
    }

    if (task == Task::Rebuild) {
        report.detail = QStringLiteral("The search index failed a lookup; it is built anew.");
        status.state = SearchIndex::State::Broken;
    }
    qint64 total = 0;
    if (!count("SELECT count(*) FROM veltra", &total))
        return failed();
    if (status.state == SearchIndex::State::Ready || status.state == SearchIndex::State::Partial) {
        // Records written around the triggers (by hand, or by a program without them)
        // leave the index out of step: its counts then differ from the table's.
        // Deleted records the index has not let go of yet are still among its rows.
        qint64 after = 0;
        const qint64 gone = SearchIndex::goneCount(db);
        if (gone < 0 || !count("SELECT count(*) FROM veltra WHERE rowid > " + QByteArray::number(status.upto), &after))
            return failed();
        for (const IndexedField &f : kFields) {
            qint64 n = 0;
            if (!count(QByteArray("SELECT count(*) FROM ") + f.table + "_docsize", &n))
                return failed();
            if (n != total - after + gone) {
                report.detail = QStringLiteral("The search index held %1 of the %2 messages it should; it is built anew.")
                                    .arg(n)
                                    .arg(total - after + gone);
                status.state = SearchIndex::State::Broken;
                break;
            }
        }
    }
    const bool kept = status.state == SearchIndex::State::Ready || status.state == SearchIndex::State::Partial;
    if (task == Task::Verify && kept) {
        const std::optional<QString> wrong = SearchIndex::verify(db, status.upto);
        if (shared->cancelled())
            return failed();
        if (wrong) {
            report.detail = *wrong;
            status.state = SearchIndex::State::Broken;
        }
    }
    if (status.state == SearchIndex::State::Broken && report.detail.isEmpty())
        report.detail = QStringLiteral("The search index was incomplete or from another version; it is built anew.");
    if (status.state != SearchIndex::State::Partial && status.state != SearchIndex::State::Ready && !anew())
        return failed();
    if (usable && task != Task::Build)
        usable();

    qint64 done = 0;
    if (!count("SELECT count(*) FROM veltra_fts_body_docsize", &done))
        return failed();
    if (progress)
        progress(done, std::max(total, done));

    const auto nextStep = [&](qint64 step, const QElapsedTimer &clock, int aimMs) {
        return BackgroundJob::nextStep(step, clock, aimMs, 50000, settings.pauseMs);
    };
    WordLister words(databasePath);
    qint64 step = std::max(1, settings.firstStep);
    for (;;) {
        if (shared->cancelled())
            return failed();
        QElapsedTimer clock;
        clock.start();
        if (!db.exec("BEGIN IMMEDIATE"))
            return failed();
        // Read again inside the transaction: another copy of the program may be building too.
        status = SearchIndex::status(db);
        if (status.state == SearchIndex::State::Ready)
            break;
        if (status.state != SearchIndex::State::Partial) {
            db.setError(QStringLiteral("The search index was changed while it was being built."), SQLITE_ERROR);
            return failed();
        }
        SqliteStatement end;
        if (!end.prepare(db, "SELECT coalesce((SELECT rowid FROM veltra WHERE rowid > ?1 ORDER BY rowid LIMIT 1 OFFSET ?2),"
                             " (SELECT max(rowid) FROM veltra WHERE rowid > ?1))", false)
            || !end.bindInt64(1, status.upto) || !end.bindInt64(2, step - 1) || end.step() != SqliteStatement::Step::Row)
            return failed();
        if (end.columnIsNull(0))
            break; // a record deleted meanwhile: nothing is left after all
        const qint64 high = end.columnInt64(0);
        end.finalize();
        const qint64 added = takeIn(db, words, status.upto, high);
        if (added < 0)
            return failed();
        SqliteStatement mark;
        if (!mark.prepare(db, "UPDATE veltra_fts_state SET upto = ?1", false) || !mark.bindInt64(1, high)
            || mark.step() != SqliteStatement::Step::Done)
            return failed();
        mark.finalize();
        if (!db.exec("COMMIT"))
            return failed();
        done += added;
        report.indexed += added;
        if (progress)
            progress(done, std::max(total, done));
        step = nextStep(step, clock, settings.stepMs);
    }
    if (!db.exec("COMMIT"))
        return failed();
    if (progress)
        progress(std::max(total, done), std::max(total, done));

    // Then the words of deleted records go, and those of records written into the covered
    // part are listed, in shorter steps: this follows the user's own deletions and edits,
    // and the writes that come next should not wait long.
    step = std::max(1, settings.firstStep);
    for (;;) {
        if (shared->cancelled())
            return failed();
        QElapsedTimer clock;
        clock.start();
        if (!db.exec("BEGIN IMMEDIATE"))
            return failed();
        const qint64 letGo = SearchIndex::letGoOfGone(db, step);
        const qint64 listed = letGo < 0 ? -1 : listFresh(db, words, step);
        if (listed < 0 || !db.exec("COMMIT"))
            return failed();
        if (letGo == 0 && listed == 0)
            break;
        report.letGo += letGo;
        step = nextStep(step, clock, std::min(settings.stepMs, settings.upkeepStepMs));
    }
    report.outcome = Outcome::Ready;
    return report;
}
