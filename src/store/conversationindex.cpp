// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/conversationindex.h"

#include "store/conversationtopic.h"
#include "store/schemaparts.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QElapsedTimer>

#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>

namespace {

// Changing the topic rule, the key or any text below changes what a file's store means:
// raise this so stores written with the old form are built anew rather than trusted.
constexpr int kFormat = 1;

constexpr char kKeyFunction[] = "veltra_topic_key";
// The triggers follow only what the build has covered so far.
constexpr char kCovered[] = " <= (SELECT upto FROM veltra_topic_state)";
constexpr int kBusyPauseMs = 5;
constexpr int kBusyLimitMs = 60000;

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

bool countOf(SqliteDb &db, const QByteArray &sql, qint64 *n, std::optional<qint64> bound = std::nullopt)
{
    SqliteStatement s;
    if (!s.prepare(db, sql, false) || (bound && !s.bindInt64(1, *bound)) || s.step() != SqliteStatement::Step::Row)
        return false;
    *n = s.columnInt64(0);
    return true;
}

qint64 keyOfSubject(QByteArrayView utf8)
{
    return ConversationIndex::keyOf(ConversationTopic::of(QString::fromUtf8(utf8)));
}

void keyFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    sqlite3_result_int64(context, text ? keyOfSubject(QByteArrayView(text, sqlite3_value_bytes(argv[0]))) : 0);
}

// Opens a read transaction unless the caller has one, and ends the one it opened.
class ReadTransaction final
{
public:
    explicit ReadTransaction(SqliteDb &db)
        : m_db(db)
        , m_own(!db.inTransaction())
    {
        m_ok = !m_own || db.exec("BEGIN");
    }
    ~ReadTransaction()
    {
        if (m_own && m_db.inTransaction()) {
            const QString reason = m_db.lastError();
            const int code = m_db.lastCode();
            m_db.exec("COMMIT");
            m_db.setError(reason, code);
        }
    }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;
    bool isActive() const { return m_ok; }

private:
    SqliteDb &m_db;
    bool m_own;
    bool m_ok;
};

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
        return countOf(db, "SELECT count(*) FROM veltra", &n) ? n + 1 : -1;
    case State::Partial:
    case State::Ready:
        break;
    }
    return countOf(db, "SELECT (SELECT count(*) FROM veltra WHERE rowid > (SELECT upto FROM veltra_topic_state))"
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
    SqliteDb db;
    if (!db.open(databasePath, SQLITE_OPEN_READWRITE)) {
        report.detail = db.lastError();
        return report;
    }
    if (db.isReadOnly()) {
        report.detail = QStringLiteral("The message database cannot be written, so its conversations are not stored.");
        return report;
    }
    // The window's connection may be writing: wait for it, but give up at once when called off.
    const WorkerConnection::Attachment attached(*shared, db.handle(), kBusyPauseMs, kBusyLimitMs);
    const auto failed = [&] {
        const bool stopped = shared->cancelled();
        report.outcome = stopped ? Outcome::Stopped : Outcome::Failed;
        report.detail = stopped ? QString() : db.lastError();
        if (db.inTransaction())
            db.exec("ROLLBACK");
        return report;
    };
    if (!db.check(sqlite3_create_function_v2(db.handle(), kKeyFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                             keyFunction, nullptr, nullptr, nullptr),
                  "create function"))
        return failed();
    // In write-ahead-log mode the window's reads go on while a step is written.
    db.exec("PRAGMA synchronous = NORMAL");

    ConversationIndex::Status status = ConversationIndex::status(db);
    qint64 total = 0;
    if (shared->cancelled() || !countOf(db, "SELECT count(*) FROM veltra", &total))
        return failed();
    if (status.state == ConversationIndex::State::Partial || status.state == ConversationIndex::State::Ready) {
        // Every covered record has its row; records written around the triggers (with them
        // dropped by hand) leave the counts apart.
        qint64 covered = 0;
        qint64 rows = 0;
        if (!countOf(db, "SELECT count(*) FROM veltra WHERE rowid <= ?1", &covered, status.upto)
            || !countOf(db, "SELECT count(*) FROM veltra_topic", &rows))
            return failed();
        if (rows != covered) {
            report.detail = QStringLiteral("The conversation store held %1 of the %2 messages it should; it is built anew.")
                                .arg(rows)
                                .arg(covered);
            status.state = ConversationIndex::State::Broken;
        }
    }
    if (status.state == ConversationIndex::State::Broken && report.detail.isEmpty())
        report.detail = QStringLiteral("The conversation store was incomplete or from another version; it is built anew.");
    if ((status.state == ConversationIndex::State::Absent || status.state == ConversationIndex::State::Broken)
        && !(db.exec("BEGIN IMMEDIATE") && ConversationIndex::create(db) && db.exec("COMMIT")))
        return failed();

    qint64 pending = ConversationIndex::backlog(db);
    if (pending < 0)
        return failed();
    qint64 done = std::max<qint64>(0, total - pending);
    if (progress)
        progress(done, std::max(total, done));

    qint64 step = std::max(1, settings.firstStep);
    const auto exec = [&](const QByteArray &sql, std::initializer_list<qint64> values) {
        SqliteStatement s;
        bool ok = s.prepare(db, sql, false);
        int index = 0;
        for (const qint64 value : values)
            ok = ok && s.bindInt64(++index, value);
        return ok && s.step() == SqliteStatement::Step::Done;
    };
    for (;;) {
        if (shared->cancelled())
            return failed();
        QElapsedTimer clock;
        clock.start();
        if (!db.exec("BEGIN IMMEDIATE"))
            return failed();
        // Read again inside the transaction: another copy of the program may be building too.
        status = ConversationIndex::status(db);
        if (status.state != ConversationIndex::State::Partial && status.state != ConversationIndex::State::Ready) {
            db.setError(QStringLiteral("The conversation store was changed while it was being built."), SQLITE_ERROR);
            return failed();
        }
        // Stale records first: they are the user's own recent writes.
        qint64 staleEnd = 0;
        qint64 staleCount = 0;
        {
            SqliteStatement s;
            if (!s.prepare(db, "SELECT coalesce(max(id), 0), count(*) FROM (SELECT id FROM veltra_topic_stale ORDER BY id"
                               " LIMIT ?1)", false)
                || !s.bindInt64(1, step) || s.step() != SqliteStatement::Step::Row)
                return failed();
            staleEnd = s.columnInt64(0);
            staleCount = s.columnInt64(1);
        }
        qint64 taken = 0;
        if (staleCount > 0) {
            if (!exec("INSERT OR REPLACE INTO veltra_topic(id, topic_key) SELECT v.rowid, veltra_topic_key(v.messtitle)"
                      " FROM veltra_topic_stale s JOIN veltra v ON v.rowid = s.id WHERE s.id <= ?1", {staleEnd})
                || !exec("DELETE FROM veltra_topic WHERE id IN (SELECT s.id FROM veltra_topic_stale s WHERE s.id <= ?1"
                         " AND NOT EXISTS (SELECT 1 FROM veltra v WHERE v.rowid = s.id))", {staleEnd})
                || !exec("DELETE FROM veltra_topic_stale WHERE id <= ?1", {staleEnd}))
                return failed();
            taken = staleCount;
        }
        if (taken < step && status.state == ConversationIndex::State::Partial) {
            SqliteStatement end;
            if (!end.prepare(db, "SELECT coalesce((SELECT rowid FROM veltra WHERE rowid > ?1 ORDER BY rowid LIMIT 1 OFFSET ?2),"
                                 " (SELECT max(rowid) FROM veltra WHERE rowid > ?1))", false)
                || !end.bindInt64(1, status.upto) || !end.bindInt64(2, step - taken - 1)
                || end.step() != SqliteStatement::Step::Row)
                return failed();
            if (!end.columnIsNull(0)) {
                const qint64 high = end.columnInt64(0);
                end.finalize();
                if (!exec("INSERT OR REPLACE INTO veltra_topic(id, topic_key) SELECT rowid, veltra_topic_key(messtitle)"
                          " FROM veltra WHERE rowid > ?1 AND rowid <= ?2", {status.upto, high}))
                    return failed();
                taken += sqlite3_changes(db.handle());
                if (!exec("UPDATE veltra_topic_state SET upto = ?1", {high}))
                    return failed();
            }
        }
        if (!db.exec("COMMIT"))
            return failed();
        if (taken == 0)
            break;
        done += taken;
        report.computed += taken;
        if (progress)
            progress(std::min(done, total), total);
        step = BackgroundJob::nextStep(step, clock, settings.stepMs, 100000, settings.pauseMs);
    }
    if (progress)
        progress(total, total);
    report.outcome = Outcome::Ready;
    return report;
}
