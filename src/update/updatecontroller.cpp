// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updatecontroller.h"

#include "update/missingnumbersdialog.h"

#include "widgets/menuwiring.h"
#include "status/statusstrip.h"
#include "status/workbar.h"
#include "archive/messagearchive.h"
#include "store/recordset.h"
#include "view/viewer.h"
#include "update/statustime.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

const QString kUnableToConnect = QStringLiteral("Unable to connect to the update server.");
// A person reads a counter changing ten times a second; showing every page of a fast run
// spent more time painting than storing, and had a screen reader announce each one.
constexpr int kRunDisplayMs = 100;

QString number(qint64 value)
{
    return QString::number(value);
}

// A reason as a sentence of its own: "The server answered with status 500."
QString sentence(const QString &reason)
{
    if (reason.isEmpty())
        return reason;
    QString text = reason.at(0).toUpper() + reason.mid(1);
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

// Told after the last text of a run whenever numbers are still waiting to be fetched, or
// were passed over because the list of them was full.
QString missingNote(const UpdateEngine::Outcome &outcome)
{
    // Numbers the server has no page for yet are no failure; those it could not give are.
    const int notYet = outcome.notYetOnServer;
    const int failed = outcome.missing - notYet;
    QStringList parts;
    if (notYet > 0)
        parts << (notYet == 1 ? QStringLiteral("1 number not yet on the server")
                              : QStringLiteral("%1 numbers not yet on the server").arg(notYet));
    if (failed > 0)
        parts << (parts.isEmpty() ? (failed == 1 ? QStringLiteral("1 number could not be fetched")
                                                 : QStringLiteral("%1 numbers could not be fetched").arg(failed))
                                  : QStringLiteral("%1 could not be fetched").arg(failed));
    QString note = parts.isEmpty() ? QString() : QStringLiteral(" - ") + parts.join(QStringLiteral(", "));
    if (outcome.passedOver > 0)
        note += QStringLiteral(" - %1 passed over for good, the list of missing numbers being full").arg(outcome.passedOver);
    return note;
}

}

UpdateController::UpdateController(const Controls &controls, StatusStrip *status, MessageArchive *archive,
                                   Viewer *viewer, const AppConfig &config, QObject *parent)
    : QObject(parent)
    , MnuUpdateNow(controls.MnuUpdateNow)
    , MnuUpdateAuto(controls.MnuUpdateAuto)
    , MnuStopUpdate(controls.MnuStopUpdate)
    , MnuMissingNumbers(controls.MnuMissingNumbers)
    , Timer1(new QTimer(this))
    , m_status(status)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_config(config)
    , m_runDisplayPace(new QTimer(this))
{
    m_runDisplayPace->setSingleShot(true);
    m_runDisplayPace->setInterval(kRunDisplayMs);
    connect(m_runDisplayPace, &QTimer::timeout, this, &UpdateController::showRunDisplay);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(35000);
    connect(Timer1, &QTimer::timeout, this, &UpdateController::Timer1_Timer);
    connect(MnuUpdateNow, &QAction::triggered, this, &UpdateController::MnuUpdateNow_Click);
    if (MnuMissingNumbers)
        connect(MnuMissingNumbers, &QAction::triggered, this, &UpdateController::MnuMissingNumbers_Click);
    connectCheckMark(MnuUpdateAuto, this, &UpdateController::MnuUpdateAuto_Click);
    connect(MnuStopUpdate, &QAction::triggered, this, &UpdateController::MnuStopUpdate_Click);
}

void UpdateController::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void UpdateController::setFetchTimeout(int milliseconds)
{
    m_fetchTimeout = milliseconds;
}

void UpdateController::setProxyProvider(ProxyProvider provider)
{
    m_proxyProvider = std::move(provider);
}

void UpdateController::updateDB()
{
    if (updateRunning)
        return;
    updateRunning = true;
    m_status->setForegroundWork(true);
    stopUpdateRequested = false;
    serverLastMsgNum = 0;
    m_runDisplay = {};
    m_storedInRun.clear();
    // Until the server has told its last number, how much there is to fetch is not known.
    m_status->workBar()->show(QStringLiteral("Update: waiting for the update server"), 0, 0);
    Recordset *const rs = m_archive->recordset();
    m_startedEmpty = m_archive->messageCount() == 0;
    if (!rs || !rs->isOpen()) {
        stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update stopped: no message database is open."));
        return;
    }

    UpdateEngine::Settings settings;
    settings.server = m_config.updateServer;
    settings.folder = m_archive->folder();
    settings.fetches = m_config.updateFetches;
    settings.firstNumber = m_config.updateFirst;
    settings.limits.timeoutMs = m_fetchTimeout;
    settings.clock = [this] { return m_clock(); };
    if (std::exchange(m_tryAllMissing, false))
        settings.restSeconds = 0;
    if (m_proxyProvider) {
        QString refusal;
        const std::optional<ProxySetting> proxy = m_proxyProvider(&refusal);
        if (!proxy) {
            endUpdateRun(refusal);
            return;
        }
        settings.proxy = *proxy;
    }
    emit runStarting(settings);
    // The database is asked for afresh each time: compaction and repair replace it.
    m_updateEngine = new UpdateEngine([this] { return m_archive->recordset(); }, settings, this);
    connect(m_updateEngine, &UpdateEngine::newestRead, this, &UpdateController::updateNewestRead);
    connect(m_updateEngine, &UpdateEngine::numberHandled, this, &UpdateController::updateNumberHandled);
    connect(m_updateEngine, &UpdateEngine::progress, this, &UpdateController::updateProgress);
    connect(m_updateEngine, &UpdateEngine::finished, this, &UpdateController::updateFinished);
    m_updateEngine->start();
}

void UpdateController::updateNewestRead(qint32 newest, const QString &line, qint32 after)
{
    serverLastMsgNum = newest;
    m_status->showStatus(QStringLiteral("Updating message ") + number(after) + QStringLiteral(" of ") + line);
}

void UpdateController::updateNumberHandled(qint32 n, bool stored)
{
    m_runDisplay.handled = n;
    m_runDisplay.stored = stored;
    if (stored) {
        m_runDisplay.highestStored = std::max(m_runDisplay.highestStored, n);
        m_storedInRun << n;
    }
    paceRunDisplay();
}

void UpdateController::updateProgress(qint64 done, qint64 total)
{
    m_runDisplay.done = done;
    m_runDisplay.total = total;
    paceRunDisplay();
}

void UpdateController::paceRunDisplay()
{
    m_runDisplay.due = true;
    if (!m_runDisplayPace->isActive())
        showRunDisplay();
}

void UpdateController::showRunDisplay()
{
    RunDisplay &shown = m_runDisplay;
    if (!shown.due)
        return;
    shown.due = false;
    m_runDisplayPace->start();
    if (shown.highestStored > 0)
        m_viewer->extendTo(shown.highestStored);
    if (shown.handled > 0)
        m_status->showStatus(shown.stored ? QStringLiteral("Updating message ") + number(shown.handled)
                                                    + QStringLiteral(" of ") + number(serverLastMsgNum)
                                              : kUnableToConnect);
    if (shown.done >= 0)
        m_status->workBar()->show(QStringLiteral("Update: %1 of %2 pages fetched").arg(shown.done).arg(shown.total), shown.done,
                        shown.total);
}

void UpdateController::updateFinished(const UpdateEngine::Outcome &outcome)
{
    showRunDisplay();
    m_runDisplayPace->stop();
    m_updateEngine->deleteLater();
    m_updateEngine = nullptr;
    const QString missing = missingNote(outcome);
    switch (outcome.end) {
    case UpdateEngine::End::NoNewestNumber:
        // Why it failed follows the usual words, so a refused certificate or proxy can be
        // told from a server that is down.
        endUpdateRun(outcome.reason.isEmpty() ? kUnableToConnect : kUnableToConnect + QLatin1Char(' ') + sentence(outcome.reason));
        return;
    case UpdateEngine::End::ServerBehind:
        endUpdateRun(QStringLiteral("The update server's last message number %1 is below the local one, %2: "
                                    "nothing was fetched.")
                         .arg(outcome.newest)
                         .arg(outcome.highestStored));
        return;
    case UpdateEngine::End::Stopped:
        stopUpdateRequested = false;
        if (outcome.newestLine.isEmpty()) {
            endUpdateRun(QStringLiteral("Update terminated before the update server gave its last message number.")
                         + missing);
            return;
        }
        m_archive->setLastMessageNumber(std::max(outcome.after, outcome.lastHandled));
        endUpdateRun(QStringLiteral("Update terminated at ") + number(std::max(outcome.after, outcome.lastHandled))
                     + QStringLiteral(" of ") + outcome.newestLine + missing);
        return;
    case UpdateEngine::End::Busy:
        stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update refused: ") + outcome.reason);
        return;
    case UpdateEngine::End::BadNewestNumber:
    case UpdateEngine::End::Unreachable:
    case UpdateEngine::End::FailureRun:
    case UpdateEngine::End::Fault:
        // The next run goes on after the highest number stored; a stop asked for
        // meanwhile must not stop it.
        stopUpdateRequested = false;
        if (outcome.storedAny)
            m_archive->setLastMessageNumber(outcome.highestStored);
        endUpdateRun(QStringLiteral("Update stopped: ") + outcome.reason + missing);
        return;
    case UpdateEngine::End::Completed:
        break;
    }
    Recordset *const rs = m_archive->recordset();
    const bool readable = rs && rs->isOpen();
    const int count = readable ? rs->recordCount() : 0;
    if (!readable || !rs->moveFirst() || !rs->moveLast()) {
        stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update stopped: the message database could not be read (%1).")
                         .arg(readable ? rs->lastError() : QStringLiteral("it was closed")));
        return;
    }
    m_archive->setLastMessageNumber(outcome.newest);
    m_archive->setMessageCount(count);
    // How many the run brought, so they need not be looked for (View > New Messages lists them).
    const qsizetype brought = m_storedInRun.size();
    const QString fresh = brought == 0   ? QString()
                          : brought == 1 ? QStringLiteral(" - 1 new message")
                                         : QStringLiteral(" - %1 new messages").arg(brought);
    endUpdateRun(QStringLiteral("Updated ") + StatusTime::format(m_clock()) + QStringLiteral(" : ")
                 + m_archive->countText(QStringLiteral(" - Last # ")) + fresh + missing);
}

void UpdateController::endUpdateRun(const QString &status)
{
    qCInfo(lcUpdate).noquote() << status;
    m_status->showStatus(status);
    updateRunning = false;
    m_status->setForegroundWork(false);
    m_status->workBar()->hide();
    // The run read the table from its ends: the next step goes on from the message in
    // view, and a database that was empty shows its first message now.
    if (std::exchange(m_startedEmpty, false) && m_viewer->shownMessageNumber().isEmpty())
        m_viewer->showFirstStored();
    else
        m_viewer->followShown();
    if (!m_storedInRun.isEmpty())
        emit messagesStored(std::exchange(m_storedInRun, {}));
    // The new messages go into the search index now, all together.
    emit runEnded();
}

void UpdateController::cancelUpdate(const QString &why)
{
    if (m_updateEngine)
        m_updateEngine->cancel(why);
}

void UpdateController::setDatabaseOffer(DatabaseOffer offer)
{
    m_databaseOffer = std::move(offer);
}

void UpdateController::MnuUpdateNow_Click()
{
    // Asked for by hand with nothing to update into: an empty database is offered rather
    // than a dead end. The schedule never asks.
    const Recordset *const rs = m_archive->recordset();
    if (!updateRunning && (!rs || !rs->isOpen()) && m_databaseOffer)
        m_databaseOffer(QStringLiteral("No message database is open, so an update has nowhere to store messages.\n\n"));
    updateDB();
}

QList<MissedNumbers::Entry> UpdateController::missingNumbers() const
{
    Recordset *const rs = m_archive->recordset();
    if (!rs || !rs->isOpen())
        return {};
    MissedNumbers missed(rs->connection());
    // A read-only file has no list, and answers as an empty one.
    missed.prepare();
    return missed.entries();
}

void UpdateController::tryMissingNow()
{
    if (updateRunning)
        return;
    m_tryAllMissing = true;
    updateDB();
}

void UpdateController::MnuMissingNumbers_Click()
{
    auto *dialog = new MissingNumbersDialog(missingNumbers(), !updateRunning, qobject_cast<QWidget *>(parent()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &MissingNumbersDialog::tryAgainNow, this, &UpdateController::tryMissingNow);
    dialog->open();
}

void UpdateController::MnuUpdateAuto_Click()
{
    MnuUpdateAuto->setChecked(!MnuUpdateAuto->isChecked());
}

void UpdateController::MnuStopUpdate_Click()
{
    // A stop asked for while no update runs is forgotten: it must not end the next one.
    if (!updateRunning)
        return;
    stopUpdateRequested = true;
    if (m_updateEngine)
        m_updateEngine->stop();
}

void UpdateController::Timer1_Timer()
{
    if (!MnuUpdateAuto->isChecked())
        return;
    if (m_clock().time().minute() % 15 == 0)
        updateDB();
}

bool UpdateController::isRunning() const
{
    return updateRunning;
}

bool UpdateController::stopRequested() const
{
    return stopUpdateRequested;
}

bool UpdateController::autoUpdate() const
{
    return MnuUpdateAuto->isChecked();
}

void UpdateController::setAutoUpdate(bool on)
{
    MnuUpdateAuto->setChecked(on);
}

void UpdateController::startSchedule()
{
    Timer1->start();
}
