// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/workerconnection.h"

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

WorkerConnection::Attachment::Attachment(WorkerConnection &shared, sqlite3 *db, int pauseMs, int limitMs)
    : m_shared(shared)
{
    const std::lock_guard lock(shared.m_mutex);
    shared.m_pauseMs = pauseMs;
    shared.m_limitMs = limitMs;
    sqlite3_busy_handler(db, &WorkerConnection::busy, &shared);
    shared.m_db = db;
}

WorkerConnection::Attachment::~Attachment()
{
    // The worker closes the connection after this, under the same lock as cancel() uses it.
    const std::lock_guard lock(m_shared.m_mutex);
    m_shared.m_db = nullptr;
}

void WorkerConnection::cancel()
{
    m_cancelled = true;
    const std::lock_guard lock(m_mutex);
    if (m_db)
        sqlite3_interrupt(m_db);
}

int WorkerConnection::busy(void *context, int count)
{
    const auto *shared = static_cast<const WorkerConnection *>(context);
    if (shared->m_cancelled || count * shared->m_pauseMs >= shared->m_limitMs)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(shared->m_pauseMs));
    return 1;
}

void WorkerConnection::yieldToWindow()
{
    // On Linux a thread is a task of its own: this sets its nice value alone.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}
