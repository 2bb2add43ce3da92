// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/steppedbuild.h"

#include "store/backgroundjob.h"
#include "store/sqlitestatement.h"

#include <QElapsedTimer>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// A builder waits for the window's writes as long as they take, but gives up at once when
// called off.
constexpr int kBusyPauseMs = 5;
constexpr int kBusyLimitMs = 60000;

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool prepared(SqliteDb &db, SqliteStatement &s, const QByteArray &sql, std::initializer_list<qint64> values)
{
    if (!s.prepare(db, sql, false))
        return false;
    int index = 0;
    for (const qint64 value : values) {
        if (!s.bindInt64(++index, value))
            return false;
    }
    return true;
}

} // namespace

WorkerDb::WorkerDb(WorkerConnection &shared, int busyPauseMs, int busyLimitMs)
    : m_shared(shared)
    , m_busyPauseMs(busyPauseMs)
    , m_busyLimitMs(busyLimitMs)
{
}

WorkerDb::~WorkerDb()
{
    // Under the call-off's lock, before the connection closes.
    m_attached.reset();
}

bool WorkerDb::open(const QString &path, int flags)
{
    m_attached.reset();
    if (!m_db.open(path, flags))
        return false;
    m_attached.emplace(m_shared, m_db.handle(), m_busyPauseMs, m_busyLimitMs);
    return true;
}

SteppedBuild::SteppedBuild(WorkerConnection &shared)
    : m_worker(shared, kBusyPauseMs, kBusyLimitMs)
    , m_clock(monotonicMs)
{
}

void SteppedBuild::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool SteppedBuild::open(const QString &path)
{
    if (!m_worker.open(path, SQLITE_OPEN_READWRITE))
        return false;
    // In write-ahead-log mode the window's reads go on while a step is written.
    db().exec("PRAGMA synchronous = NORMAL");
    return true;
}

bool SteppedBuild::runSteps(const Pace &pace, const StepWork &work, const std::function<void()> &committed)
{
    qint64 size = std::max<qint64>(1, pace.firstStep);
    for (;;) {
        if (cancelled())
            return false;
        const qint64 began = m_clock();
        if (!db().exec("BEGIN IMMEDIATE"))
            return false;
        const Step step = work(size);
        if (step == Step::Failed || !db().exec("COMMIT"))
            return false;
        if (step == Step::Finished)
            return true;
        if (committed)
            committed();
        const qint64 took = m_clock() - began;
        // Writers waiting for the file get it between two steps.
        if (pace.pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pace.pauseMs));
        size = BackgroundJob::nextStep(size, took, pace.aimMs, pace.most);
    }
}

bool SteppedBuild::inTransaction(const std::function<bool()> &work)
{
    return db().exec("BEGIN IMMEDIATE") && work() && db().exec("COMMIT");
}

bool SteppedBuild::stepEnd(qint64 after, qint64 count, std::optional<qint64> *end)
{
    SqliteStatement s;
    if (!prepared(db(), s,
                  "SELECT coalesce((SELECT rowid FROM veltra WHERE rowid > ?1 ORDER BY rowid LIMIT 1 OFFSET ?2),"
                  " (SELECT max(rowid) FROM veltra WHERE rowid > ?1))",
                  {after, count - 1})
        || s.step() != SqliteStatement::Step::Row)
        return false;
    *end = s.columnIsNull(0) ? std::nullopt : std::optional<qint64>(s.columnInt64(0));
    return true;
}

std::optional<QString> SteppedBuild::failure()
{
    const bool stopped = cancelled();
    const QString reason = db().lastError();
    if (db().inTransaction())
        db().exec("ROLLBACK");
    return stopped ? std::nullopt : std::optional<QString>(reason);
}

bool SteppedBuild::count(SqliteDb &db, const QByteArray &sql, qint64 *n, std::initializer_list<qint64> values)
{
    SqliteStatement s;
    if (!prepared(db, s, sql, values) || s.step() != SqliteStatement::Step::Row)
        return false;
    *n = s.columnInt64(0);
    return true;
}

bool SteppedBuild::exec(SqliteDb &db, const QByteArray &sql, std::initializer_list<qint64> values)
{
    SqliteStatement s;
    return prepared(db, s, sql, values) && s.step() == SqliteStatement::Step::Done;
}
