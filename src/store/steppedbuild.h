// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/sqlitedb.h"
#include "store/workerconnection.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

// A worker's connection of its own to a message database, which the owner's call-off
// (WorkerConnection) reaches while it is open: what each background task of the store
// opens first.
class WorkerDb final
{
public:
    // Other writers are waited for up to busyLimitMs, busyPauseMs at a time, unless called off.
    WorkerDb(WorkerConnection &shared, int busyPauseMs, int busyLimitMs);
    ~WorkerDb();
    WorkerDb(const WorkerDb &) = delete;
    WorkerDb &operator=(const WorkerDb &) = delete;

    // flags as SqliteDb::open's; false with the reason in db().
    bool open(const QString &path, int flags);
    SqliteDb &db() { return m_db; }
    bool cancelled() const { return m_shared.cancelled(); }

private:
    WorkerConnection &m_shared;
    const int m_busyPauseMs;
    const int m_busyLimitMs;
    SqliteDb m_db;
    std::optional<WorkerConnection::Attachment> m_attached; // goes before the connection closes
};

// The frame of the store's builders that work through table veltra on a worker thread
// (the search index, the conversation store): a connection of their own opened for
// writing, steps in short transactions sized to take about a given time, a pause between
// them for the writers waiting, and an end that tells a call-off from a failure.
class SteppedBuild final
{
public:
    struct Pace
    {
        qint64 firstStep = 100; // items in the first step; the rest sized from its time
        int aimMs = 100;        // aimed length of one step's transaction
        qint64 most = 50000;    // items in one step at most
        int pauseMs = 2;        // between steps
    };
    enum class Step { Taken, Finished, Failed };
    // One step's work in its transaction, taking up to `size` items; Failed leaves the reason
    // in the connection.
    using StepWork = std::function<Step(qint64 size)>;
    // Milliseconds of a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit SteppedBuild(WorkerConnection &shared);

    // Opens the database for writing; false with the reason in db().
    bool open(const QString &path);
    SqliteDb &db() { return m_worker.db(); }
    bool cancelled() const { return m_worker.cancelled(); }
    void setClock(Clock clock);

    // Runs `work` in transactions until it has Finished (true) or failed or the build is
    // called off (false, the transaction rolled back by failed()). `committed` is told of
    // each step Taken, once it is committed.
    bool runSteps(const Pace &pace, const StepWork &work, const std::function<void()> &committed = {});
    // `work` in one write transaction; false when any of it fails.
    bool inTransaction(const std::function<bool()> &work);

    // The rowid that ends a step of `count` records of veltra after rowid `after`: the
    // count-th, or the last when fewer are left; nullopt when none is. False on failure.
    bool stepEnd(qint64 after, qint64 count, std::optional<qint64> *end);

    // A build's report after a failure on the way: Stopped when it was called off,
    // otherwise Failed with SQLite's reason; the transaction under way is rolled back.
    template<typename Report>
    Report failed(Report report)
    {
        using Outcome = decltype(report.outcome);
        const std::optional<QString> reason = failure();
        report.outcome = reason ? Outcome::Failed : Outcome::Stopped;
        report.detail = reason.value_or(QString());
        return report;
    }

    // The one integer a query gives, its ?1, ?2... bound to `values`.
    static bool count(SqliteDb &db, const QByteArray &sql, qint64 *n, std::initializer_list<qint64> values = {});
    // A statement without rows, bound the same way.
    static bool exec(SqliteDb &db, const QByteArray &sql, std::initializer_list<qint64> values);

private:
    // The reason of a failure, nullopt when called off; rolls back.
    std::optional<QString> failure();

    WorkerDb m_worker;
    Clock m_clock;
};
