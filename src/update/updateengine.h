// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "update/pagefetch.h"
#include "update/proxysetting.h"
#include "update/updatelock.h"

#include "store/messagerecord.h"

#include <QDateTime>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// The update's log: every run's end and why each page was missed, for a user who asks why
// (standard error, or the desktop's journal when started from the menu).
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

class CurlSession;
class MissedNumbers;
class Recordset;

// One update run: reads the update server's newest number, then fetches the pages of the
// numbers the database lacks, several at once, and stores them strictly one after another
// in number order: numbers missed by earlier runs first, then the new ones. Each page is
// written to tempfile.htm before it is read, each record is committed by itself, and
// every number handled is reported at once; the pages are stored from the event loop, a
// few milliseconds' worth at a time, so the window stays responsive and a run killed at
// any moment loses nothing stored.
//
// A number whose page cannot be fetched or read is remembered in the database and tried
// again by later runs. A long unbroken run of failures among the new numbers (a server
// down half-way, a gap in the archive, or a newest number far past the real archive)
// makes the run look further on: when messages lie beyond the failures, the gap's numbers
// are remembered and the run goes on after it; otherwise the run ends, and the failed
// numbers are simply fetched again next time, so the remembered list stays short.
class UpdateEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateEngine)
public:
    struct Settings
    {
        QString server; // scheme and host of the update server
        QString folder; // where lastmessage.htm and tempfile.htm go
        int fetches = 8; // pages in flight at once
        PageFetch::Limits limits;
        ProxySetting proxy; // how the fetches reach the server
        qint32 firstNumber = 1; // where an empty database begins
        int failureRunLimit = 100;
        int rememberLimit = 10000;
        int triesBeforeRest = 10;
        qint64 restSeconds = 24 * 60 * 60; // 0: every listed number is tried (Try Again Now)
        std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
    };

    enum class End {
        Completed,      // every number handled
        NoNewestNumber, // the last-message page did not come
        BadNewestNumber,// it came, but gives no usable number
        ServerBehind,   // the newest number is below the highest stored
        Stopped,        // a stop was asked for
        FailureRun,     // too many pages in a row failed, and no message was found past them
        Busy,           // another copy of the program is updating the same folder
        Unreachable,    // the proxy or the server's certificate refuses every page alike
        Fault,          // the database or the page file refused, or the run was cancelled
    };
    struct Outcome
    {
        End end = End::Fault;
        QString reason; // for people; with every end but Completed, ServerBehind and Stopped
        qint32 newest = 0;
        QString newestLine; // the newest number as the page gives it; empty until it came
        qint32 after = 0;   // new numbers were taken from after this one
        qint32 lastHandled = 0;
        bool storedAny = false;
        qint32 highestStored = 0;
        int missing = 0; // numbers remembered for later runs when the run ended
        int notYetOnServer = 0; // of them, those the server had no page for yet
        int passedOver = 0; // failed numbers the full list had no room for: not tried again
    };

    using Database = std::function<Recordset *()>;

    // The database is looked up afresh for every number: other commands may close or
    // replace it while the run waits.
    UpdateEngine(Database database, Settings settings, QObject *parent = nullptr);
    ~UpdateEngine() override;

    void start();
    // Ends the run at once, after the last number handled, whatever is still on its way;
    // `finished` follows with Stopped.
    void stop();
    // Ends the run now, keeping what is stored; `finished` follows with a Fault.
    void cancel(const QString &why);
    bool isRunning() const;

signals:
    void newestRead(qint32 newest, const QString &line, qint32 after);
    void numberHandled(qint32 number, bool stored);
    // Pages handled (stored or failed, or passed over with a gap) of the pages the run has
    // to fetch, from the newest number on; after each number handled.
    void progress(qint64 done, qint64 total);
    void finished(const UpdateEngine::Outcome &outcome);

private:
    struct Slot
    {
        qint32 number = 0;
        bool retry = false;
        PageFetch *fetch = nullptr;
        std::optional<PageFetch::Result> result;
    };
    struct Miss
    {
        qint32 number = 0;
        QString reason;
    };
    struct Probe
    {
        qint32 number = 0;
        PageFetch *fetch = nullptr;
        std::optional<bool> found; // a message page came
    };

    // The proxy the fetches go through, from the desktop's settings or the chosen one.
    void findRoute();
    void fetchNewest();
    void onNewest(const PageFetch::Result &result);
    void fill();
    bool hasMore() const;
    PageFetch *fetchPage(qint32 number, const std::function<void(PageFetch *, const PageFetch::Result &)> &done);
    void onFetched(PageFetch *fetch, const PageFetch::Result &result);
    void processHead();
    void processOne();
    void stopNow();
    void handle(const Slot &slot);
    void recordMiss(const Slot &slot, const QString &reason);
    bool storeRecord(Recordset *db, const Slot &slot, const MessageRecord &record);
    // Counts in *passedOver the numbers the full list had no room for.
    bool rememberPending(MissedNumbers &missed, int *passedOver);

    // Past a failure run: looks for the first message beyond it.
    void searchPastFailures();
    void probe(const QList<qint32> &numbers);
    void onProbed();
    // The run ends on its failures; `lookedFurther`: nothing was found past them either.
    void endFailureRun(bool lookedFurther);
    // The gap ends before `first`, a number whose page came: its numbers are remembered
    // and the run goes on from `first`.
    void crossGap(qint32 first);

    Recordset *openDatabase();
    qint64 now() const;
    void end(UpdateEngine::End how, const QString &reason = QString());

    Database m_database;
    Settings m_settings;
    UpdateLock m_lock;
    CurlSession *m_session = nullptr;
    ProxyRoute m_route;
    PageFetch *m_newestFetch = nullptr;
    QTimer m_next; // takes up the next number from the event loop
    bool m_running = false;
    bool m_busy = false;          // a number is being handled
    bool m_stopRequested = false; // taken up once the number being handled is done

    Outcome m_outcome;
    QList<qint32> m_retries;
    qsizetype m_nextRetry = 0;
    qsizetype m_retriesHandled = 0;
    qint64 m_newHandled = 0; // new numbers up to the last one handled
    qint64 m_nextNew = 0;
    qint64 m_lastNew = 0;
    std::deque<Slot> m_window;
    // New numbers failed since the last stored one. They are remembered when a later
    // number is stored, in the same transaction, or when the run ends normally; after a
    // failure run they are left to be fetched as new numbers again.
    QList<Miss> m_pending;
    int m_failureRun = 0;

    // The search past a failure run: probes in flight, and the bounds of the gap's end,
    // a number without a message page (`m_gapLow`) and one with (`m_gapHigh`).
    QList<Probe> m_probes;
    bool m_searching = false;
    qint64 m_gapLow = 0;
    qint64 m_gapHigh = 0;
};
