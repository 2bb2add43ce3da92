// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/conversationindex.h"

#include "store/conversationtopic.h"
#include "store/readtransaction.h"
#include "store/schemaparts.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/steppedbuild.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Changing the topic rule, the key or any text below changes what a file's store means:
// raise this so stores written with the old form are built anew rather than trusted.
constexpr int kFormat = 1;

constexpr char kKeyFunction[] = "veltra_topic_key";
// The triggers follow only what the build has covered so far.
constexpr char kCovered[] = " <= (SELECT upto FROM veltra_topic_state)";

using SchemaObject = SchemaParts::Part;

// Every part of the store, as CREATE statements; SQLite keeps these texts as given, so the
// file's copies are compared with them.
//
// Every covered record has one row in veltra_topic: a record the triggers take in gets a
// row with key 0 and a line in veltra_topic_stale, until the builder works out its key.
// Lookups pass over the rows of stale records, so their keys need not be right meanwhile.
std::vector<SchemaObject> schemaObjects()
{
    const QByteArray markStale = " INSERT OR REPLACE INTO veltra_topic(id, topic_key) VALUES (new.rowid, 0);"
                                 " INSERT OR IGNORE INTO veltra_topic_stale(id) VALUES (new.rowid);";
    const QByteArray forget = " DELETE FROM veltra_topic WHERE id = old.rowid; DELETE FROM veltra_topic_stale WHERE id = old.rowid;";
    return {
        {"veltra_topic_state", "CREATE TABLE veltra_topic_state(format INTEGER NOT NULL, upto INTEGER NOT NULL)"},
        // topic_key: ConversationIndex::keyOf the record's topic.
        {"veltra_topic", "CREATE TABLE veltra_topic(id INTEGER PRIMARY KEY, topic_key INTEGER NOT NULL)"},
        {"veltra_topic_by_key", "CREATE INDEX veltra_topic_by_key ON veltra_topic(topic_key)"},
        {"veltra_topic_stale", "CREATE TABLE veltra_topic_stale(id INTEGER PRIMARY KEY)"},
        {"veltra_topic_insert", QByteArray("CREATE TRIGGER veltra_topic_insert AFTER INSERT ON veltra WHEN new.rowid")
                                    + kCovered + " BEGIN" + markStale + " END"},
        {"veltra_topic_title", QByteArray("CREATE TRIGGER veltra_topic_title AFTER UPDATE OF messtitle ON veltra"
                                          " WHEN old.messtitle IS NOT new.messtitle AND new.rowid")
                                   + kCovered + " BEGIN" + markStale + " END"},
        {"veltra_topic_delete", QByteArray("CREATE TRIGGER veltra_topic_delete AFTER DELETE ON veltra WHEN old.rowid")
                                    + kCovered + " BEGIN" + forget + " END"},
        // A record given another rowid by hand: its old place is forgotten, its new one stale.
        {"veltra_topic_moved", QByteArray("CREATE TRIGGER veltra_topic_moved AFTER UPDATE ON veltra"
                                          " WHEN old.rowid <> new.rowid BEGIN")
                                   + forget
                                   + " INSERT OR REPLACE INTO veltra_topic(id, topic_key) SELECT new.rowid, 0 WHERE new.rowid"
                                   + kCovered + "; INSERT OR IGNORE INTO veltra_topic_stale(id) SELECT new.rowid WHERE new.rowid"
                                   + kCovered + "; END"},
    };
}

constexpr char kParts[] = "veltra_topic*";

qint64 keyOfSubject(QByteArrayView utf8)
{
    return ConversationIndex::keyOf(ConversationTopic::of(QString::fromUtf8(utf8)));
}

void keyFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    sqlite3_result_int64(context, text ? keyOfSubject(QByteArrayView(text, sqlite3_value_bytes(argv[0]))) : 0);
}

using Member = ConversationIndex::Member;

// Adds the records a statement gives (rowid, messnum, messtitle, messauthor, messdate)
// whose subjects have the topic; false when SQLite fails.
bool collect(SqliteStatement &s, const QString &topic, std::vector<Member> *members)
{
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::Row) {
        QString title = s.columnText(2);
        if (ConversationTopic::of(title) != topic)
            continue;
        members->push_back({s.columnInt64(0), qint32(s.columnInt64(1)), std::move(title), s.columnText(3), s.columnText(4)});
    }
    return step == SqliteStatement::Step::Done;
}

constexpr char kMemberColumns[] = "v.rowid, v.messnum, v.messtitle, v.messauthor, v.messdate";

// The store's part of a lookup: covered records by key, stale and later ones by their
// subjects. Stale records have key 0 until the builder comes to them, so the first part
// passes over them.
bool lookUp(SqliteDb &db, qint64 upto, const QString &topic, std::vector<Member> *members)
{
    SqliteStatement byKey;
    SqliteStatement stale;
    SqliteStatement later;
    return byKey.prepare(db, QByteArray("SELECT ") + kMemberColumns + " FROM veltra_topic t JOIN veltra v ON v.rowid = t.id"
                                  " WHERE t.topic_key = ?1 AND t.id <= ?2", false)
           && byKey.bindInt64(1, ConversationIndex::keyOf(topic)) && byKey.bindInt64(2, upto)
           && collect(byKey, topic, members)
           && stale.prepare(db, QByteArray("SELECT ") + kMemberColumns
                                    + " FROM veltra_topic_stale s JOIN veltra v ON v.rowid = s.id", false)
           && collect(stale, topic, members)
           && later.prepare(db, QByteArray("SELECT ") + kMemberColumns + " FROM veltra v WHERE v.rowid > ?1", false)
           && later.bindInt64(1, upto) && collect(later, topic, members);
}

} // namespace

namespace ConversationIndex {

qint64 keyOf(QStringView topic)
{
    if (topic.isEmpty())
        return 0;
    // 64-bit FNV-1a over the UTF-16 units, kept to 63 bits so SQLite holds it as it is.
    quint64 hash = 14695981039346656037ULL;
    for (const QChar c : topic) {
        hash ^= c.unicode();
        hash *= 1099511628211ULL;
    }
    const qint64 key = qint64(hash >> 1);
    return key == 0 ? 1 : key;
}

Status status(SqliteDb &db)
{
    const Status broken{State::Broken, 0};
    const std::vector<SchemaObject> expected = schemaObjects();
    const std::optional<SchemaParts::Found> found = SchemaParts::find(db, kParts, expected);
    if (!found)
        return broken;
    if (!found->any)
        return {State::Absent, 0};
    if (found->foreign || found->whole != expected.size())
        return broken;
    SqliteStatement state;
    if (!state.prepare(db, "SELECT format, upto, (SELECT coalesce(max(rowid), 0) FROM veltra) FROM veltra_topic_state", false)
        || state.step() != SqliteStatement::Step::Row)
        return broken;
    const qint64 format = state.columnInt64(0);
    const qint64 upto = state.columnInt64(1);
    const qint64 last = state.columnInt64(2);
    if (state.step() != SqliteStatement::Step::Done || format != kFormat)
        return broken;
    return {upto >= last ? State::Ready : State::Partial, upto};
}

bool remove(SqliteDb &db)
{
    // The triggers first: they name the tables.
    const std::optional<SchemaParts::Names> parts = SchemaParts::names(db, kParts);
    return parts && SchemaParts::drop(db, parts->triggers, "TRIGGER") && SchemaParts::drop(db, parts->tables, "TABLE");
}

bool create(SqliteDb &db)
{
    if (!remove(db))
        return false;
    for (const SchemaObject &o : schemaObjects()) {
        if (!db.exec(o.sql.constData()))
            return false;
    }
    // Covering nothing: rowids may be 0 or below as well, when written by hand.
    return db.exec(QByteArray("INSERT INTO veltra_topic_state(format, upto) VALUES (" + QByteArray::number(kFormat) + ", "
                              + QByteArray::number(std::numeric_limits<qint64>::min()) + ")")
                       .constData());
}

bool disarm(SqliteDb &db)
{
    const std::optional<SchemaParts::Names> parts = SchemaParts::names(db, kParts);
    return parts && SchemaParts::drop(db, parts->triggers, "TRIGGER");
}

qint64 backlog(SqliteDb &db)
{
    const ReadTransaction transaction(db);
    qint64 n = 0;
    if (!transaction.isActive())
        return -1;
    switch (status(db).state) {
    case State::Absent:
    case State::Broken:
        return SteppedBuild::count(db, "SELECT count(*) FROM veltra", &n) ? n + 1 : -1;
    case State::Partial:
    case State::Ready:
        break;
    }
    return SteppedBuild::count(db, "SELECT (SELECT count(*) FROM veltra WHERE rowid > (SELECT upto FROM veltra_topic_state))"
                       " + (SELECT count(*) FROM veltra_topic_stale)", &n)
               ? n
               : -1;
}

std::vector<Member> members(SqliteDb &db, const QString &messtitle, QString *error)
{
    if (error)
        error->clear();
    std::vector<Member> found;
    const QString topic = ConversationTopic::of(messtitle);
    if (topic.isEmpty())
        return found;
    const ReadTransaction transaction(db);
    bool ok = transaction.isActive();
    if (ok) {
        const Status s = status(db);
        const bool usable = s.state == State::Partial || s.state == State::Ready;
        ok = usable && lookUp(db, s.upto, topic, &found);
        if (!ok) {
            // Without the store (or through a damaged one) every subject is read.
            found.clear();
            SqliteStatement all;
            ok = all.prepare(db, QByteArray("SELECT ") + kMemberColumns + " FROM veltra v", false)
                 && collect(all, topic, &found);
        }
    }
    if (!ok) {
        if (error)
            *error = db.lastError();
        found.clear();
        return found;
    }
    std::sort(found.begin(), found.end(), [](const Member &a, const Member &b) {
        return std::pair(a.messnum, a.rowid) < std::pair(b.messnum, b.rowid);
    });
    return found;
}

} // namespace ConversationIndex

namespace {

using Status = ConversationIndex::Status;
using State = ConversationIndex::State;

// Keeps the store there when every covered record has its row, and makes it anew
// otherwise, saying why in `detail`; false on failure.
bool keepOrMakeAnew(SteppedBuild &build, Status status, QString *detail)
{
    SqliteDb &db = build.db();
    if (status.state == State::Partial || status.state == State::Ready) {
        // Records written around the triggers (with them dropped by hand) leave the counts apart.
        qint64 covered = 0;
        qint64 rows = 0;
        if (!SteppedBuild::count(db, "SELECT count(*) FROM veltra WHERE rowid <= ?1", &covered, {status.upto})
            || !SteppedBuild::count(db, "SELECT count(*) FROM veltra_topic", &rows))
            return false;
        if (rows != covered) {
            *detail = QStringLiteral("The conversation store held %1 of the %2 messages it should; it is built anew.")
                          .arg(rows)
                          .arg(covered);
            status.state = State::Broken;
        }
    }
    if (status.state == State::Broken && detail->isEmpty())
        *detail = QStringLiteral("The conversation store was incomplete or from another version; it is built anew.");
    if (status.state != State::Absent && status.state != State::Broken)
        return true;
    return build.inTransaction([&db] { return ConversationIndex::create(db); });
}

// Works out the keys of up to `size` records, stale ones first (they are the user's own
// recent writes), then those after the covered part; `taken` says how many.
SteppedBuild::Step takeStep(SteppedBuild &build, qint64 size, qint64 *taken)
{
    SqliteDb &db = build.db();
    // Read again inside the transaction: another copy of the program may be building too.
    const Status status = ConversationIndex::status(db);
    if (status.state != State::Partial && status.state != State::Ready) {
        db.setError(QStringLiteral("The conversation store was changed while it was being built."), SQLITE_ERROR);
        return SteppedBuild::Step::Failed;
    }
    qint64 staleEnd = 0;
    qint64 staleCount = 0;
    {
        SqliteStatement s;
        if (!s.prepare(db, "SELECT coalesce(max(id), 0), count(*) FROM (SELECT id FROM veltra_topic_stale ORDER BY id"
                           " LIMIT ?1)", false)
            || !s.bindInt64(1, size) || s.step() != SqliteStatement::Step::Row)
            return SteppedBuild::Step::Failed;
        staleEnd = s.columnInt64(0);
        staleCount = s.columnInt64(1);
    }
    *taken = 0;
    if (staleCount > 0) {
        if (!SteppedBuild::exec(db, "INSERT OR REPLACE INTO veltra_topic(id, topic_key) SELECT v.rowid,"
                                    " veltra_topic_key(v.messtitle) FROM veltra_topic_stale s JOIN veltra v ON v.rowid = s.id"
                                    " WHERE s.id <= ?1", {staleEnd})
            || !SteppedBuild::exec(db, "DELETE FROM veltra_topic WHERE id IN (SELECT s.id FROM veltra_topic_stale s"
                                       " WHERE s.id <= ?1 AND NOT EXISTS (SELECT 1 FROM veltra v WHERE v.rowid = s.id))",
                                   {staleEnd})
            || !SteppedBuild::exec(db, "DELETE FROM veltra_topic_stale WHERE id <= ?1", {staleEnd}))
            return SteppedBuild::Step::Failed;
        *taken = staleCount;
    }
    if (*taken < size && status.state == State::Partial) {
        std::optional<qint64> high;
        if (!build.stepEnd(status.upto, size - *taken, &high))
            return SteppedBuild::Step::Failed;
        if (high) {
            if (!SteppedBuild::exec(db, "INSERT OR REPLACE INTO veltra_topic(id, topic_key) SELECT rowid,"
                                        " veltra_topic_key(messtitle) FROM veltra WHERE rowid > ?1 AND rowid <= ?2",
                                    {status.upto, *high}))
                return SteppedBuild::Step::Failed;
            *taken += sqlite3_changes(db.handle());
            if (!SteppedBuild::exec(db, "UPDATE veltra_topic_state SET upto = ?1", {*high}))
                return SteppedBuild::Step::Failed;
        }
    }
    return *taken == 0 ? SteppedBuild::Step::Finished : SteppedBuild::Step::Taken;
}

} // namespace

ConversationIndexBuilder::ConversationIndexBuilder(QObject *parent)
    : QObject(parent)
    , m_job(this)
{
}

ConversationIndexBuilder::~ConversationIndexBuilder() = default;

bool ConversationIndexBuilder::isRunning() const
{
    return m_job.isRunning();
}

bool ConversationIndexBuilder::start(const QString &databasePath, const Settings &settings)
{
    return m_job.start([this, databasePath, settings](const BackgroundJob::Context &job) -> std::function<void()> {
        const Report report = run(databasePath, settings,
                                  job.throttled([this](qint64 done, qint64 total) { emit progress(done, total); }), &job.shared());
        return [this, report] { emit finished(report.outcome, report.detail); };
    });
}

bool ConversationIndexBuilder::start(const QString &databasePath)
{
    return start(databasePath, Settings());
}

ConversationIndexBuilder::Report ConversationIndexBuilder::run(const QString &databasePath)
{
    return run(databasePath, Settings());
}

ConversationIndexBuilder::Report ConversationIndexBuilder::run(const QString &databasePath, const Settings &settings,
                                                               const ProgressHandler &progress)
{
    WorkerConnection shared;
    return run(databasePath, settings, progress, &shared);
}

ConversationIndexBuilder::Report ConversationIndexBuilder::run(const QString &databasePath, const Settings &settings,
                                                               const ProgressHandler &progress, WorkerConnection *shared)
{
    Report report;
    SteppedBuild build(*shared);
    if (!build.open(databasePath)) {
        report.detail = build.db().lastError();
        return report;
    }
    SqliteDb &db = build.db();
    if (db.isReadOnly()) {
        report.detail = QStringLiteral("The message database cannot be written, so its conversations are not stored.");
        return report;
    }
    if (!db.check(sqlite3_create_function_v2(db.handle(), kKeyFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                             keyFunction, nullptr, nullptr, nullptr),
                  "create function"))
        return build.failed(report);

    const Status status = ConversationIndex::status(db);
    qint64 total = 0;
    if (build.cancelled() || !SteppedBuild::count(db, "SELECT count(*) FROM veltra", &total)
        || !keepOrMakeAnew(build, status, &report.detail))
        return build.failed(report);
    const qint64 pending = ConversationIndex::backlog(db);
    if (pending < 0)
        return build.failed(report);
    qint64 done = std::max<qint64>(0, total - pending);
    if (progress)
        progress(done, std::max(total, done));

    qint64 taken = 0;
    const bool built = build.runSteps(
        {settings.firstStep, settings.stepMs, 100000, settings.pauseMs},
        [&](qint64 size) { return takeStep(build, size, &taken); },
        [&] {
            done += taken;
            report.computed += taken;
            if (progress)
                progress(std::min(done, total), total);
        });
    if (!built)
        return build.failed(report);
    if (progress)
        progress(total, total);
    report.outcome = Outcome::Ready;
    return report;
}
