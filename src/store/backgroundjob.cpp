// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/backgroundjob.h"

#include <QElapsedTimer>

#include <algorithm>

bool ProgressThrottle::pass(qint64 nowMs, qint64 done, qint64 total)
{
    if (m_last && nowMs - *m_last < kEveryMs && done < total)
        return false;
    m_last = nowMs;
    return true;
}

BackgroundJob::Context::Context(QObject *owner, std::shared_ptr<WorkerConnection> shared)
    : m_owner(owner)
    , m_shared(std::move(shared))
{
}

void BackgroundJob::Context::post(std::function<void()> call) const
{
    QMetaObject::invokeMethod(
        m_owner, [shared = m_shared, call = std::move(call)] { if (!shared->cancelled()) call(); }, Qt::QueuedConnection);
}

std::function<void(qint64, qint64)> BackgroundJob::Context::throttled(std::function<void(qint64, qint64)> report) const
{
    QElapsedTimer clock;
    clock.start();
    return [context = *this, report = std::move(report), clock, throttle = ProgressThrottle()](qint64 done,
                                                                                               qint64 total) mutable {
        if (throttle.pass(clock.elapsed(), done, total))
            context.post([report, done, total] { report(done, total); });
    };
}

BackgroundJob::BackgroundJob(QObject *owner)
    : m_owner(owner)
{
}

BackgroundJob::~BackgroundJob()
{
    if (m_shared)
        m_shared->cancel();
    if (m_worker.joinable())
        m_worker.join();
}

bool BackgroundJob::isRunning() const
{
    return m_worker.joinable();
}

bool BackgroundJob::start(Work work, bool urgent)
{
    if (isRunning())
        return false;
    m_shared = std::make_shared<WorkerConnection>();
    m_worker = std::thread([this, context = Context(m_owner, m_shared), work = std::move(work), urgent] {
        if (!urgent)
            WorkerConnection::yieldToWindow();
        std::function<void()> end = work(context);
        // The owner's job joins this thread before it goes, so `this` is still there when
        // this is called; the thread has nothing left to do by then.
        context.post([this, end = std::move(end)] {
            if (m_worker.joinable())
                m_worker.join();
            m_shared.reset();
            if (end)
                end();
        });
    });
    return true;
}

qint64 BackgroundJob::nextStep(qint64 step, qint64 tookMs, int aimMs, qint64 most)
{
    const qint64 took = std::max<qint64>(1, tookMs);
    return std::clamp<qint64>(step * aimMs / took, 10, std::max<qint64>(10, std::min<qint64>(step * 4, most)));
}
