// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/indexwords.h"
#include "store/sqlitestatement.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class SqliteDb;

// Lists the words of the records a build step takes into the search index, on a thread and
// a read-only connection of its own, while the step writes the index: listing looks up
// every word of every message, a third of a build's work, and on two cores costs no time
// this way. The step holds the write lock from before the listing starts until after it
// ends, so both read the same records.
//
// The list is a table (field INTEGER, word TEXT) of the words met so far in each of
// `lists` lists; the texts of list n are column n of the rows a job selects.
class WordLister final
{
public:
    WordLister(const QString &databasePath, const QByteArray &wordsTable, int lists);
    // Waits for a job under way, then ends the thread.
    ~WordLister();
    WordLister(const WordLister &) = delete;
    WordLister &operator=(const WordLister &) = delete;

    // Starts listing the texts of the rows `sql` selects, with ?1 and ?2 bound to from and to.
    void start(const QByteArray &sql, qint64 from, qint64 to);

    // Waits for the listing and stores the words met for the first time in `db`'s list;
    // false on failure, the reason in `db`.
    bool finish(SqliteDb &db);

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

    void work(const QString &databasePath);
    bool load(SqliteDb &db);
    bool list(SqliteDb &db, const Job &job, std::vector<std::pair<int, QByteArray>> *words);

    const QByteArray m_wordsTable;
    std::vector<IndexWords::WordSet> m_known; // the lister thread's only
    SqliteStatement m_insert;                 // the builder's only
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_job;
    std::optional<Result> m_done;
    bool m_stop = false;
    std::thread m_thread; // last: started once the rest is there
};
