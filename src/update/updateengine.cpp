// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updateengine.h"

#include "update/curlsession.h"
#include "update/lastmessagepage.h"
#include "store/missednumbers.h"
#include "update/updateaddress.h"
#include "update/updatepageparser.h"

#include "store/recordset.h"
#include "store/sqlitetransaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

Q_LOGGING_CATEGORY(lcUpdate, "veltra.update", QtInfoMsg)

namespace {

// How long arrived pages are stored in one go before events run again.
constexpr qint64 kBatchMs = 15;

}

UpdateEngine::UpdateEngine(Database database, Settings settings, QObject *parent)
    : QObject(parent)
    , m_database(std::move(database))
    , m_settings(std::move(settings))
    , m_session(new CurlSession(this))
{
    m_settings.fetches = std::max(1, m_settings.fetches);
    m_settings.failureRunLimit = std::max(1, m_settings.failureRunLimit);
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &UpdateEngine::processHead);
}

UpdateEngine::~UpdateEngine()
{
    // Fetches still out are abandoned with their connections.
    m_running = false;
    delete m_newestFetch;
    for (Slot &slot : m_window)
        delete slot.fetch;
    for (Probe &probe : m_probes)
        delete probe.fetch;
}

bool UpdateEngine::isRunning() const
{
    return m_running;
}

void UpdateEngine::start()
{
    if (m_running)
        return;
    m_running = true;
    QString why;
    switch (m_lock.take(m_settings.folder, &why)) {
    case UpdateLock::Result::Busy:
        return end(End::Busy, why);
    case UpdateLock::Result::Failed:
        return end(End::Fault, why);
    case UpdateLock::Result::Taken:
        break;
    }
    findRoute();
}

void UpdateEngine::findRoute()
{
    const QUrl newest = UpdateAddress::lastMessageUrl(m_settings.server);
    if (m_settings.proxy.mode != ProxySetting::Mode::System) {
        m_route = ProxyRouting::routeFor(m_settings.proxy, newest);
        return fetchNewest();
    }
    // The desktop's lookup may ask the network (a proxy auto-configuration script), so it
    // runs beside the window's thread; every page comes from the same server, so once a run.
    auto *lookup = new QFutureWatcher<ProxyRoute>(this);
    connect(lookup, &QFutureWatcherBase::finished, this, [this, lookup] {
        lookup->deleteLater();
        if (!m_running)
            return;
        m_route = lookup->result();
        fetchNewest();
    });
    lookup->setFuture(QtConcurrent::run([setting = m_settings.proxy, newest] { return ProxyRouting::routeFor(setting, newest); }));
}

void UpdateEngine::fetchNewest()
{
    m_newestFetch = new PageFetch(m_session,
                                  PageFetch::Request{UpdateAddress::lastMessageUrl(m_settings.server),
                                                     PageFetch::Cache::Fresh, m_settings.limits, m_route},
                                  [this](PageFetch *fetch, const PageFetch::Result &result) {
                                      fetch->deleteLater();
                                      m_newestFetch = nullptr;
                                      onNewest(result);
                                  },
                                  this);
}

void UpdateEngine::stop()
{
    if (!m_running)
        return;
    m_stopRequested = true;
    // While a number is being handled (a listener of numberHandled asks), the stop is
    // taken up as soon as it is done.
    if (!m_busy)
        stopNow();
}

void UpdateEngine::cancel(const QString &why)
{
    if (m_running)
        end(End::Fault, why);
}

qint64 UpdateEngine::now() const
{
    return m_settings.clock().toSecsSinceEpoch();
}

Recordset *UpdateEngine::openDatabase()
{
    Recordset *db = m_database ? m_database() : nullptr;
    return db && db->isOpen() ? db : nullptr;
}

void UpdateEngine::onNewest(const PageFetch::Result &result)
{
    if (!m_running)
        return;
    if (!result.ok)
        return end(End::NoNewestNumber, result.reason);
    QString error;
    if (!writePageFile(QDir(m_settings.folder).filePath(QStringLiteral("lastmessage.htm")), result.body, &error))
        return end(End::Fault, QStringLiteral("lastmessage.htm could not be written (%1).").arg(error));
    const std::optional<LastMessagePage::Newest> newest = LastMessagePage::read(result.body, &error);
    if (!newest)
        return end(End::BadNewestNumber, error);
    m_outcome.newest = newest->number;
    m_outcome.newestLine = newest->line;

    Recordset *db = openDatabase();
    if (!db)
        return end(End::Fault, QStringLiteral("the message database was closed."));
    const std::optional<qint32> highest = db->highestNumber();
    if (!highest)
        return end(End::Fault, QStringLiteral("the message database could not be read (%1).").arg(db->lastError()));
    m_outcome.highestStored = *highest;
    // A newest number below what is stored would have the run fetch nothing, and a later
    // correct one fetch again what is there: such a page is not taken.
    if (newest->number < *highest)
        return end(End::ServerBehind);

    MissedNumbers missed(db->connection());
    missed.prepare();
    m_retries = missed.due(now(), m_settings.triesBeforeRest, m_settings.restSeconds);
    // New numbers go on after the highest number stored or remembered, whatever the last
    // record holds; an empty database begins where the user asked.
    qint32 after = std::max(*highest, missed.highest());
    if (after == 0)
        after = std::max(0, m_settings.firstNumber - 1);
    m_outcome.after = after;
    m_nextNew = qint64(after) + 1;
    m_lastNew = newest->number;
    emit newestRead(newest->number, newest->line, after);
    if (!m_running)
        return;
    emit progress(0, m_retries.size() + m_lastNew - after);
    if (!m_running)
        return;
    fill();
    if (m_window.empty())
        end(End::Completed);
}

bool UpdateEngine::hasMore() const
{
    return m_nextRetry < m_retries.size() || m_nextNew <= m_lastNew;
}

PageFetch *UpdateEngine::fetchPage(qint32 number,
                                   const std::function<void(PageFetch *, const PageFetch::Result &)> &done)
{
    return new PageFetch(m_session,
                         PageFetch::Request{UpdateAddress::pageUrl(m_settings.server, number), PageFetch::Cache::Allowed,
                                            m_settings.limits, m_route},
                         done, this);
}

void UpdateEngine::fill()
{
    while (m_running && !m_searching && !m_stopRequested && int(m_window.size()) < m_settings.fetches && hasMore()) {
        Slot slot;
        if (m_nextRetry < m_retries.size()) {
            slot.number = m_retries[m_nextRetry++];
            slot.retry = true;
        } else {
            slot.number = qint32(m_nextNew++);
        }
        slot.fetch = fetchPage(slot.number, [this](PageFetch *fetch, const PageFetch::Result &result) {
            onFetched(fetch, result);
        });
        m_window.push_back(std::move(slot));
    }
}

void UpdateEngine::onFetched(PageFetch *fetch, const PageFetch::Result &result)
{
    fetch->deleteLater();
    const auto slot = std::find_if(m_window.begin(), m_window.end(), [fetch](const Slot &s) { return s.fetch == fetch; });
    if (slot == m_window.end())
        return;
    slot->fetch = nullptr;
    slot->result = result;
    if (slot == m_window.begin() && m_running)
        m_next.start();
}

void UpdateEngine::processHead()
{
    // Pages that have arrived are stored one after another for a few milliseconds before
    // events run again: a person notices no difference, and the window repaints its status
    // once for the lot instead of once a message.
    QElapsedTimer batch;
    batch.start();
    while (m_running && !m_searching && !m_window.empty() && m_window.front().result) {
        if (batch.elapsed() >= kBatchMs) {
            m_next.start();
            return;
        }
        processOne();
    }
}

void UpdateEngine::processOne()
{
    const Slot slot = std::move(m_window.front());
    m_window.pop_front();
    // The next fetches start before this page is stored, so the network never waits on
    // the disk.
    fill();
    m_busy = true;
    handle(slot);
    m_busy = false;
    if (!m_running)
        return;
    m_outcome.lastHandled = slot.number;
    if (slot.retry)
        ++m_retriesHandled;
    else
        m_newHandled = slot.number - m_outcome.after;
    emit progress(m_retriesHandled + m_newHandled, m_retries.size() + m_lastNew - m_outcome.after);
    if (!m_running)
        return;
    if (m_stopRequested)
        return stopNow();
    if (m_failureRun >= m_settings.failureRunLimit)
        return searchPastFailures();
    if (m_window.empty() && !hasMore())
        end(End::Completed);
}

void UpdateEngine::stopNow()
{
    // Nothing is waited for. The pages still on their way all lie above the last number
    // handled, where the next run goes on, so giving them up loses none; a number tried
    // again that was among them stays listed.
    end(End::Stopped);
}

void UpdateEngine::handle(const Slot &slot)
{
    Recordset *db = openDatabase();
    if (!db)
        return end(End::Fault, QStringLiteral("the message database was closed."));
    const PageFetch::Result &result = *slot.result;
    // A proxy or certificate that refuses this page refuses the rest: the number is not
    // the server's fault, so it is not listed as missed.
    if (result.fault == PageFetch::Fault::Proxy || result.fault == PageFetch::Fault::Certificate)
        return end(End::Unreachable, result.reason);
    if (!result.ok)
        return recordMiss(slot, result.reason);
    QString error;
    if (!writePageFile(QDir(m_settings.folder).filePath(QStringLiteral("tempfile.htm")), result.body, &error))
        return end(End::Fault, QStringLiteral("tempfile.htm could not be written (%1).").arg(error));
    QString problem;
    const std::optional<MessageRecord> record = UpdatePageParser::parseBytes(result.body, slot.number, &problem);
    if (!record)
        return recordMiss(slot, QStringLiteral("the page is not a message page: ") + problem);
    if (storeRecord(db, slot, *record)) {
        m_failureRun = 0;
        emit numberHandled(slot.number, true);
    }
}

bool UpdateEngine::storeRecord(Recordset *db, const Slot &slot, const MessageRecord &record)
{
    const auto stored = [&](Recordset::AddResult added) {
        m_pending.clear();
        if (added == Recordset::AddResult::Added) {
            m_outcome.storedAny = true;
            m_outcome.highestStored = std::max(m_outcome.highestStored, slot.number);
        }
        return true;
    };
    const auto refused = [&](const QString &why) {
        end(End::Fault, QStringLiteral("message %1 could not be stored (%2).").arg(slot.number).arg(why));
        return false;
    };
    // The common case: a new number with none missed before it.
    if (m_pending.isEmpty() && !slot.retry) {
        const Recordset::AddResult added = db->addInOrder(record);
        return added == Recordset::AddResult::Failed ? refused(db->lastError()) : stored(added);
    }

    MissedNumbers missed(db->connection());
    missed.prepare();
    // The numbers missed before this one, the record and its leaving the list of missed
    // numbers are one transaction: a kill in between leaves no number both unstored and
    // forgotten.
    SqliteTransaction transaction(db->connection());
    const auto fail = [&] {
        const QString why = db->lastError();
        transaction.rollback();
        return refused(why);
    };
    int passed = 0;
    if (!transaction.isActive() || !rememberPending(missed, &passed))
        return fail();
    const Recordset::AddResult added = db->addInOrder(record);
    if (added == Recordset::AddResult::Failed || (slot.retry && !missed.forget(slot.number)) || !transaction.commit())
        return fail();
    m_outcome.passedOver += passed;
    return stored(added);
}

bool UpdateEngine::rememberPending(MissedNumbers &missed, int *passedOver)
{
    // A list that is full takes no more: those numbers are passed over, as a failed page
    // always was before numbers were remembered, rather than ending every later run.
    const qint64 at = now();
    qsizetype room = std::max(0, m_settings.rememberLimit - missed.count());
    for (const Miss &miss : std::as_const(m_pending)) {
        if (room-- <= 0) {
            ++*passedOver;
            continue;
        }
        if (!missed.remember(miss.number, miss.reason, at))
            return false;
    }
    return true;
}

void UpdateEngine::recordMiss(const Slot &slot, const QString &reason)
{
    qCInfo(lcUpdate).noquote() << QStringLiteral("message %1 was not fetched: %2").arg(slot.number).arg(reason);
    if (slot.retry) {
        // Already listed: one more try counted. A file that refuses this loses nothing.
        if (Recordset *db = openDatabase()) {
            MissedNumbers missed(db->connection());
            if (missed.prepare())
                missed.remember(slot.number, reason, now());
        }
    } else {
        m_pending << Miss{slot.number, reason};
        ++m_failureRun;
    }
    emit numberHandled(slot.number, false);
}

void UpdateEngine::searchPastFailures()
{
    const qint64 last = m_pending.constLast().number;
    if (last >= m_lastNew)
        return endFailureRun(false);
    // Pages fetched ahead are given up; the run fetches them again if it goes on.
    for (Slot &slot : m_window)
        delete slot.fetch;
    m_window.clear();
    m_next.stop();
    m_nextNew = last + 1;
    m_searching = true;
    m_gapLow = last;
    m_gapHigh = 0;
    // Numbers at doubling distances up to the newest: a gap of any length is found with a
    // few dozen pages at most, and a newest number far past the archive costs no more.
    QList<qint32> numbers;
    for (qint64 distance = m_settings.failureRunLimit; last + distance < m_lastNew; distance *= 2)
        numbers << qint32(last + distance);
    numbers << qint32(m_lastNew);
    probe(numbers);
}

void UpdateEngine::probe(const QList<qint32> &numbers)
{
    for (const qint32 number : numbers) {
        Probe probe;
        probe.number = number;
        probe.fetch = fetchPage(number, [this](PageFetch *fetch, const PageFetch::Result &result) {
            fetch->deleteLater();
            for (Probe &p : m_probes) {
                if (p.fetch != fetch)
                    continue;
                p.fetch = nullptr;
                p.found = result.ok && UpdatePageParser::parseBytes(result.body, p.number).has_value();
            }
            onProbed();
        });
        m_probes << probe;
    }
}

void UpdateEngine::onProbed()
{
    if (!m_running || std::any_of(m_probes.cbegin(), m_probes.cend(), [](const Probe &p) { return !p.found; }))
        return;
    const QList<Probe> probes = std::exchange(m_probes, {});
    // The probes are in ascending order: the first message found bounds the gap above,
    // the last number without one below it.
    for (const Probe &p : probes) {
        if (*p.found) {
            m_gapHigh = p.number;
            break;
        }
        m_gapLow = p.number;
    }
    if (m_gapHigh == 0)
        return endFailureRun(true);
    if (m_gapHigh - m_gapLow > 1)
        return probe({qint32(m_gapLow + (m_gapHigh - m_gapLow) / 2)});
    crossGap(qint32(m_gapHigh));
}

void UpdateEngine::endFailureRun(bool lookedFurther)
{
    const Miss &last = m_pending.constLast();
    const QString further = lookedFurther
                                ? QStringLiteral(", and no message was found after them up to the newest, %1").arg(m_lastNew)
                                : QString();
    end(End::FailureRun, QStringLiteral("%1 pages in a row could not be fetched, the last of them message %2 (%3)%4. "
                                        "They are fetched again at the next update.")
                             .arg(m_failureRun)
                             .arg(last.number)
                             .arg(last.reason, further));
}

void UpdateEngine::crossGap(qint32 first)
{
    m_searching = false;
    m_gapLow = 0;
    m_gapHigh = 0;
    Recordset *db = openDatabase();
    if (!db)
        return end(End::Fault, QStringLiteral("the message database was closed."));
    MissedNumbers missed(db->connection());
    missed.prepare();
    const qint64 from = qint64(m_pending.constLast().number) + 1;
    const QString reason = QStringLiteral("the update server had no page for it, in a gap of %1 numbers before message %2")
                               .arg(first - m_pending.constFirst().number)
                               .arg(first);
    SqliteTransaction transaction(db->connection());
    int passed = 0;
    bool remembered = transaction.isActive() && rememberPending(missed, &passed);
    // What the list has room for after the failures themselves; a gap larger than that is
    // passed over beyond it.
    const qint64 room = std::max(0, m_settings.rememberLimit - missed.count());
    const qint64 to = std::min<qint64>(first - 1, from + room - 1);
    if (remembered && to >= from)
        remembered = missed.rememberRange(qint32(from), qint32(to), reason, now());
    if (!remembered || !transaction.commit()) {
        const QString why = db->lastError();
        transaction.rollback();
        return end(End::Fault, QStringLiteral("the numbers of a gap could not be remembered (%1).").arg(why));
    }
    m_outcome.passedOver += passed + int(first - 1 - std::max(to, from - 1));
    m_pending.clear();
    m_failureRun = 0;
    m_nextNew = first;
    fill();
}

void UpdateEngine::end(End how, const QString &reason)
{
    if (!m_running)
        return;
    m_running = false;
    m_next.stop();
    delete m_newestFetch;
    m_newestFetch = nullptr;
    for (Slot &slot : m_window)
        delete slot.fetch;
    m_window.clear();
    for (Probe &probe : m_probes)
        delete probe.fetch;
    m_probes.clear();

    Recordset *db = openDatabase();
    if (db) {
        MissedNumbers missed(db->connection());
        if (missed.prepare()) {
            // After a normal end the numbers missed last are listed with the rest; after
            // a failure run they are fetched as new numbers again.
            if (how == End::Completed || how == End::Stopped) {
                SqliteTransaction transaction(db->connection());
                int passed = 0;
                if (rememberPending(missed, &passed) && transaction.commit())
                    m_outcome.passedOver += passed;
            }
            const QList<MissedNumbers::Entry> left = missed.entries();
            m_outcome.missing = int(left.size());
            m_outcome.notYetOnServer = int(std::count_if(left.begin(), left.end(), [](const MissedNumbers::Entry &e) {
                return MissedNumbers::notYetOnServer(e.reason);
            }));
        }
    }
    m_lock.release();
    m_pending.clear();
    m_outcome.end = how;
    m_outcome.reason = reason;
    emit finished(m_outcome);
}
