// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <mutex>

struct sqlite3;

// What a worker thread with a connection of its own shares with the object that started
// it: a way to call the work off. cancel() may come from any thread at any time; it
// interrupts the statement running on the connection, and the connection's busy handler
// stops waiting for other writers.
class WorkerConnection final
{
public:
    // For the worker: the connection it opened, with a busy handler that waits for other
    // writers up to limitMs, pauseMs at a time, until the work is called off. Until the
    // Attachment goes, cancel() can interrupt it.
    class Attachment final
    {
    public:
        Attachment(WorkerConnection &shared, sqlite3 *db, int pauseMs, int limitMs);
        ~Attachment();
        Attachment(const Attachment &) = delete;
        Attachment &operator=(const Attachment &) = delete;

    private:
        WorkerConnection &m_shared;
    };

    void cancel();
    bool cancelled() const { return m_cancelled; }

    // Lowers the calling thread's scheduling priority: when the machine is busy, the
    // window's thread runs first and stays responsive while background work waits.
    static void yieldToWindow();

private:
    static int busy(void *context, int count);

    std::mutex m_mutex;
    sqlite3 *m_db = nullptr; // only while attached
    std::atomic<bool> m_cancelled = false;
    int m_pauseMs = 0;
    int m_limitMs = 0;
};
