// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/backgroundjob.h"

#include <QObject>
#include <QString>

// SQLite's quick_check of a message database, run on a worker thread with a read-only
// connection of its own, so start-up is not held up by it. The result arrives through
// finished() in the thread the object lives in.
//
// The object may be destroyed at any time: a check still running is interrupted and its
// thread joined, and finished() is then never emitted.
class IntegrityCheck final : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Sound,     // quick_check answered "ok"
        Damaged,   // it found faults, or SQLite found the file corrupt on the way
        Unchecked  // the check could not run (file gone, locked, interrupted)
    };
    Q_ENUM(Outcome)

    struct Report
    {
        Outcome outcome = Outcome::Unchecked;
        QString detail; // SQLite's words; empty when sound
    };

    explicit IntegrityCheck(QObject *parent = nullptr);
    ~IntegrityCheck() override;

    // Starts the check; false when one is already running.
    bool start(const QString &databasePath);
    bool isRunning() const;

    // The same check in the calling thread.
    static Report run(const QString &databasePath);

signals:
    void finished(IntegrityCheck::Outcome outcome, const QString &detail);

private:
    static Report run(const QString &databasePath, WorkerConnection *shared);

    BackgroundJob m_job;
};
