// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/backgroundjob.h"
#include "store/criteria.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class SqliteDb;

// The word index of the message database: one SQLite FTS5 table with the "ascii" tokenizer
// for each text field (author, subject, body), holding only which records hold each word
// (detail=none), their texts read from table veltra itself, and the list of its words
// (see indexwords.h and substringquery.h for how finds use them).
//
// The index covers the records up to a rowid, "upto" in table veltra_fts_state; finds ask
// it for those and read the records after it. Triggers on veltra keep the covered part in
// step with every add, edit and delete, in the writer's transaction. Records added past
// "upto" (an update's new messages) are taken in afterwards by the builder, many in one
// transaction: indexing each message as it is stored would make an update several times
// slower.
namespace SearchIndex {

enum class State {
    Absent,  // no part of it in the file (a database from before the index, or one removed)
    Partial, // records up to `upto` are in, later ones not yet
    Ready,   // every record is in
    Broken   // parts missing or changed by hand, or from another version: to be built anew
};

struct Status
{
    State state = State::Absent;
    qint64 upto = 0;
    qint64 born = 0; // drawn when the index is made: another number, another index
};

// Reads the schema and the build state; only for table "veltra". Broken when unreadable.
// Finds may use a Partial index as well as a Ready one, for the records it covers.
Status status(SqliteDb &db);

// The FTS5 table that indexes a field, or nullptr for the fields not indexed.
const char *tableFor(Criteria::Field field);
// The field's number in the list of words (veltra_fts_words.field), or -1.
int listOf(Criteria::Field field);

// Removes every part of the index, then (create) makes it anew, empty, with nothing built.
// Runs in the caller's transaction when there is one.
bool remove(SqliteDb &db);
bool create(SqliteDb &db);
// Drops only the triggers, at once: a broken index must not make writes to veltra fail.
bool disarm(SqliteDb &db);

// Deleted records whose words the index still holds (a deletion leaves them to the
// background); -1 when it cannot be read.
qint64 goneCount(SqliteDb &db);
// Work the builder still has to do on a complete index: gone records to let go of, and
// records written into the covered part whose words it has not listed; -1 when unreadable.
qint64 backlog(SqliteDb &db);
// Takes the words of up to `limit` gone records out of the index, in the caller's
// transaction; how many, or -1 on failure.
qint64 letGoOfGone(SqliteDb &db, qint64 limit);

// The word count a record's row of a table's docsize holds; nullopt when unreadable.
std::optional<qint64> recordedSize(QByteArrayView docsize);

// Looks deeper than status() at the records up to `upto`: each must stand in every table
// with as many words as its text has now, and a sample of them must be found by a lookup
// of their own first word. Catches an index whose lookup pages were lost and texts
// changed past the triggers (unless the new text is exactly as long). Nullopt when it
// holds, otherwise what is wrong; an error of SQLite's is reported the same way.
std::optional<QString> verify(SqliteDb &db, qint64 upto);

}

// Builds (or removes) the index of a message database on a worker thread with its own
// connection, in short transactions, so the window and its writes go on meanwhile. A
// killed or stopped build loses nothing: the next build goes on from where it got to.
// Results arrive through signals in the thread the object lives in.
//
// The object may be destroyed at any time: the work is called off, its thread joined,
// and no more signals are emitted.
class SearchIndexBuilder final : public QObject
{
    Q_OBJECT

public:
    enum class Task {
        Build,   // build or finish the index; one found whole is kept
        Verify,  // the same, after a deeper check of what is there (at opening)
        Rebuild, // build it anew whatever is there (a lookup found it damaged)
        Remove
    };
    enum class Outcome {
        Ready,   // built (or found whole)
        Removed, // nothing of it left
        Stopped, // called off; a later build goes on from here
        Failed   // could not be done (read-only, locked for long, damaged): searches scan
    };
    Q_ENUM(Outcome)

    struct Settings
    {
        // Aimed length of one transaction of the build. Each commit merges the index's newest
        // parts, so shorter ones make a build longer; the window's writes (a flag, a
        // deletion) wait for the one under way.
        int stepMs = 100;
        int upkeepStepMs = 30; // the same for letting go of deleted records' words
        int firstStep = 100; // records in the first one; the rest sized from its time
        int pauseMs = 2;     // between transactions, for writers waiting
    };

    struct Report
    {
        Outcome outcome = Outcome::Failed;
        QString detail;      // why it failed, or what was found broken and built anew
        qint64 indexed = 0;  // records added to the index by this run
        qint64 letGo = 0;    // deleted records taken out of it
    };

    using ProgressHandler = std::function<void(qint64 done, qint64 total)>;
    // Told once what is there has been checked (Verify) or made anew (Rebuild), before the
    // rest is built: finds may use the part built from then on.
    using UsableHandler = std::function<void()>;

    explicit SearchIndexBuilder(QObject *parent = nullptr);
    ~SearchIndexBuilder() override;

    // False when a task is already running.
    bool start(const QString &databasePath, Task task, const Settings &settings);
    bool start(const QString &databasePath, Task task);
    bool isRunning() const;

    // The same work in the calling thread; progress is called after every transaction.
    static Report run(const QString &databasePath, Task task, const Settings &settings,
                      const ProgressHandler &progress = {}, const UsableHandler &usable = {});
    static Report run(const QString &databasePath, Task task);

signals:
    // Records in the index and records in all; at most a few times a second.
    void progress(qint64 done, qint64 total);
    void usable();
    void finished(SearchIndexBuilder::Outcome outcome, const QString &detail);

private:
    static Report run(const QString &databasePath, Task task, const Settings &settings,
                      const ProgressHandler &progress, const UsableHandler &usable, WorkerConnection *shared);

    BackgroundJob m_job;
};
