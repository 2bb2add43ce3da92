// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/wordlister.h"

#include "store/sqlitedb.h"
#include "store/workerconnection.h"

#include <sqlite3.h>

namespace {

constexpr int kBusyLimitMs = 60000;

} // namespace

WordLister::WordLister(const QString &databasePath, const QByteArray &wordsTable, int lists)
    : m_wordsTable(wordsTable)
    , m_known(std::size_t(lists))
    , m_thread([this, databasePath] { work(databasePath); })
{
}

WordLister::~WordLister()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void WordLister::start(const QByteArray &sql, qint64 from, qint64 to)
{
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{sql, from, to};
        m_done.reset();
    }
    m_changed.notify_all();
}

bool WordLister::finish(SqliteDb &db)
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
        && !m_insert.prepare(db, "INSERT OR IGNORE INTO " + m_wordsTable + "(field, word) VALUES (?1, ?2)"))
        return false;
    for (const auto &[list, word] : result.words) {
        ResetOnExit resetter(m_insert);
        if (!m_insert.bindInt64(1, list) || !m_insert.bindText(2, word) || m_insert.step() != SqliteStatement::Step::Done)
            return false;
    }
    return true;
}

void WordLister::work(const QString &databasePath)
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

bool WordLister::load(SqliteDb &db)
{
    SqliteStatement s;
    if (!s.prepare(db, "SELECT field, word FROM " + m_wordsTable, false))
        return false;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::Row) {
        const qint64 list = s.columnInt64(0);
        if (list >= 0 && list < qint64(m_known.size()))
            m_known[std::size_t(list)].addText(s.columnBytes(1));
    }
    return step == SqliteStatement::Step::Done;
}

bool WordLister::list(SqliteDb &db, const Job &job, std::vector<std::pair<int, QByteArray>> *words)
{
    SqliteStatement read;
    if (!read.prepare(db, job.sql, false) || !read.bindInt64(1, job.from) || !read.bindInt64(2, job.to))
        return false;
    SqliteStatement::Step step;
    while ((step = read.step()) == SqliteStatement::Step::Row) {
        for (int list = 0; list < int(m_known.size()); ++list) {
            m_known[std::size_t(list)].addText(read.columnBytes(list), [&](QByteArrayView word) {
                words->emplace_back(list, word.toByteArray());
            });
        }
    }
    return step == SqliteStatement::Step::Done;
}
