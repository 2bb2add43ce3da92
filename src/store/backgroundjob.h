// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/workerconnection.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

// Lets a progress report through a few times a second at most, and always the last one
// (done == total).
class ProgressThrottle final
{
public:
    static constexpr qint64 kEveryMs = 250;
    // Whether to pass on this report, made at `nowMs` of a monotonic clock.
    bool pass(qint64 nowMs, qint64 done, qint64 total);

private:
    std::optional<qint64> m_last;
};

// Long work on a thread of its own for an object of the window's thread (its owner), with a
// way to call it off (WorkerConnection): what the work reports comes back as calls in the
// owner's thread, and none comes once it has been called off.
//
// The owner holds the job as a member. Destroying it calls the work off and joins its
// thread, so no call reaches an owner on its way out.
class BackgroundJob final
{
public:
    // What the work is given.
    class Context final
    {
    public:
        Context(QObject *owner, std::shared_ptr<WorkerConnection> shared);
        WorkerConnection &shared() const { return *m_shared; }
        // Calls `call` in the owner's thread, unless the work is called off by then.
        void post(std::function<void()> call) const;
        // A progress handler for the work that posts `report` a few times a second at most,
        // and always the last one (done == total).
        std::function<void(qint64, qint64)> throttled(std::function<void(qint64 done, qint64 total)> report) const;

    private:
        QObject *m_owner;
        std::shared_ptr<WorkerConnection> m_shared;
    };
    // Runs on the job's thread; what it returns is called in the owner's thread at the end,
    // once the thread is joined (the job may be started again from there).
    using Work = std::function<std::function<void()>(const Context &)>;

    explicit BackgroundJob(QObject *owner);
    ~BackgroundJob();
    Q_DISABLE_COPY_MOVE(BackgroundJob)

    // False when work is running already. Unless `urgent`, the thread yields to the window's
    // (WorkerConnection::yieldToWindow).
    bool start(Work work, bool urgent = false);
    bool isRunning() const;

    // For work done in transactions of about `aimMs` each: the size of the next one, from the
    // last one's (`step` items in `tookMs`), never more than four times as large, from 10 to
    // `most`.
    static qint64 nextStep(qint64 step, qint64 tookMs, int aimMs, qint64 most);

private:
    QObject *m_owner;
    std::shared_ptr<WorkerConnection> m_shared;
    std::thread m_worker;
};
