// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/backgroundjob.h"

#include <QObject>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

class SqliteDb;

// The conversations of the message database: for each record of table veltra, the key of
// its subject's topic (ConversationTopic) in table veltra_topic, so that a conversation is
// one lookup of an index however large the archive.
//
// The store covers the records up to a rowid, "upto" in table veltra_topic_state. Triggers
// on veltra, in plain SQL so that any program writing the file keeps them (the sqlite3
// tool included), follow every write in the writer's transaction without working out a
// topic: a record added or retitled within the covered part is listed in
// veltra_topic_stale, a deleted one loses its row. The builder works out the topics of the
// records past "upto" and of the stale ones in the background. Lookups take those from the
// records themselves meanwhile, so they are right at every moment.
namespace ConversationIndex {

enum class State {
    Absent,  // no part of it in the file (a database from before it, or one removed)
    Partial, // records up to `upto` are covered, later ones not yet
    Ready,   // every record is covered (some may be stale still)
    Broken   // parts missing or changed by hand, or from another version: to be built anew
};

struct Status
{
    State state = State::Absent;
    qint64 upto = 0;
};

// Reads the schema and the build state; only for table "veltra". Broken when unreadable.
Status status(SqliteDb &db);

// Removes every part of the store, then (create) makes it anew, empty, covering nothing.
// Runs in the caller's transaction when there is one.
bool remove(SqliteDb &db);
bool create(SqliteDb &db);
// Drops only the triggers, at once: a broken store must not make writes to veltra fail.
bool disarm(SqliteDb &db);

// Work for the builder: records not covered or stale, plus one when the store is to be
// made (absent or broken); 0 when there is nothing to do, -1 when it cannot be read.
// The window starts the builder whenever this is above 0.
qint64 backlog(SqliteDb &db);

// The key a topic is stored under: equal topics, equal keys; 0 only for the empty topic.
// Different topics may share a key, so lookups compare the topics themselves too.
qint64 keyOf(QStringView topic);

// A record of a conversation, without its body.
struct Member
{
    qint64 rowid = 0;
    qint32 messnum = 0;
    QString messtitle;
    QString messauthor;
    QString messdate;
    friend bool operator==(const Member &, const Member &) = default;
};

// Every record whose subject has the same topic as `messtitle`, by message number (then
// stored order); empty for a subject without a topic (the message stands alone), and on
// failure, with the reason in `error` (cleared on success). Read in one read transaction
// (or the caller's), through the store where it covers the records and from the records
// themselves where it does not: without a usable store, by reading every subject.
std::vector<Member> members(SqliteDb &db, const QString &messtitle, QString *error = nullptr);

}

// Works out the topics the store lacks, on a worker thread with its own connection, in
// short transactions with pauses between, so the window's writes never wait long. Makes
// the store when the file has none (or a broken one, or one of another version). Called
// off at any time, it loses nothing: the next build goes on from where it got to.
// Results arrive through signals in the thread the object lives in.
//
// The object may be destroyed at any time: the work is called off, its thread joined,
// and no more signals are emitted.
class ConversationIndexBuilder final : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Ready,   // every record covered
        Stopped, // called off; a later build goes on from here
        Failed   // could not be done (read-only, locked for long, damaged): lookups read the records
    };
    Q_ENUM(Outcome)

    struct Settings
    {
        int stepMs = 30;      // aimed length of one transaction: a write of the window's waits as long at most
        int firstStep = 500;  // records in the first one; the rest sized from its time
        int pauseMs = 2;      // between transactions, for writers waiting
    };

    struct Report
    {
        Outcome outcome = Outcome::Failed;
        QString detail;      // why it failed, or what was found broken and built anew
        qint64 computed = 0; // topics worked out by this run
    };

    using ProgressHandler = std::function<void(qint64 done, qint64 total)>;

    explicit ConversationIndexBuilder(QObject *parent = nullptr);
    ~ConversationIndexBuilder() override;

    // False when a build is already running.
    bool start(const QString &databasePath, const Settings &settings);
    bool start(const QString &databasePath);
    bool isRunning() const;

    // The same work in the calling thread; progress is called after every transaction.
    static Report run(const QString &databasePath, const Settings &settings, const ProgressHandler &progress = {});
    static Report run(const QString &databasePath);

signals:
    // Records covered and records in all; at most a few times a second.
    void progress(qint64 done, qint64 total);
    void finished(ConversationIndexBuilder::Outcome outcome, const QString &detail);

private:
    static Report run(const QString &databasePath, const Settings &settings, const ProgressHandler &progress,
                      WorkerConnection *shared);

    BackgroundJob m_job;
};
