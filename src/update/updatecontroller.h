// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/missednumbers.h"

#include "config/appconfig.h"
#include "update/updateengine.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class MessageArchive;
class QAction;
class QTimer;
class StatusStrip;
class Viewer;

// The update controller: the update menus, the quarter-hour schedule (Timer1) and the life
// of the running update's engine, which reports on the status strip.
class UpdateController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateController)

public:
    struct Controls
    {
        QAction *MnuUpdateNow;
        QAction *MnuUpdateAuto;
        QAction *MnuStopUpdate;
        QAction *MnuMissingNumbers; // View > Missing Numbers
    };

    UpdateController(const Controls &controls, StatusStrip *status, MessageArchive *archive, Viewer *viewer,
                     const AppConfig &config, QObject *parent);

    // Starts the run, which goes on from the event loop after this returns; isRunning()
    // tells when it has ended.
    void updateDB();
    bool isRunning() const;
    // A stop asked for and not yet taken up by the run.
    bool stopRequested() const;
    // Ends a running update at once, keeping what it stored.
    void cancelUpdate(const QString &why);
    // Tests replace the clock the quarter-hour schedule reads and the fetch timeout.
    void setClock(std::function<QDateTime()> clock);
    void setFetchTimeout(int milliseconds);
    // Where each run gets its proxy setting, its password included; an empty answer (the
    // user cancelled) ends the run before anything is fetched, with *refusal on the status
    // line. Without a provider, runs take the desktop's proxy.
    using ProxyProvider = std::function<std::optional<ProxySetting>(QString *refusal)>;
    void setProxyProvider(ProxyProvider provider);
    // Asked by Update Now when no database is open: offers to make one (`why` leads the
    // question) and answers whether one is open now.
    using DatabaseOffer = std::function<bool(const QString &why)>;
    void setDatabaseOffer(DatabaseOffer offer);
    bool autoUpdate() const;
    void setAutoUpdate(bool on);
    // The quarter-hour schedule starts with the window.
    void startSchedule();
    // The numbers still missing, with why and how often; empty without a database.
    QList<MissedNumbers::Entry> missingNumbers() const;
    // An update that tries every missing number now, resting ones included.
    void tryMissingNow();

signals:
    // A run ended, whatever its outcome.
    void runEnded();
    // A run that stored messages ended: their numbers, after its closing text is shown.
    void messagesStored(const QList<qint32> &numbers);
    // A run's engine is about to start with these settings.
    void runStarting(const UpdateEngine::Settings &settings);

private:
    void updateNewestRead(qint32 newest, const QString &line, qint32 after);
    void updateNumberHandled(qint32 number, bool stored);
    void updateProgress(qint64 done, qint64 total);
    // What a run shows (the line, the slider's reach, the bar) changes with every page;
    // it is put on screen at once, then at most every so often, and always at the end.
    void paceRunDisplay();
    void showRunDisplay();
    void updateFinished(const UpdateEngine::Outcome &outcome);
    void endUpdateRun(const QString &status);
    void MnuUpdateNow_Click();
    void MnuUpdateAuto_Click();
    void MnuStopUpdate_Click();
    void Timer1_Timer();
    void MnuMissingNumbers_Click();

    QAction *MnuUpdateNow;
    QAction *MnuUpdateAuto;
    QAction *MnuStopUpdate;
    QAction *MnuMissingNumbers;
    QTimer *Timer1;
    StatusStrip *m_status;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    AppConfig m_config;

    bool updateRunning = false;
    // Whether the run began on an empty database, which shows its first message at the end.
    bool m_startedEmpty = false;
    bool stopUpdateRequested = false;
    bool m_tryAllMissing = false; // the next run tries every missing number
    QList<qint32> m_storedInRun;
    qint32 serverLastMsgNum = 0;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
    int m_fetchTimeout = 30000;
    ProxyProvider m_proxyProvider;
    DatabaseOffer m_databaseOffer;
    UpdateEngine *m_updateEngine = nullptr; // the running update, if any
    struct RunDisplay
    {
        bool due = false;        // something changed since it was last shown
        qint32 handled = 0;      // the last number handled, and whether it was stored
        bool stored = false;
        qint32 highestStored = 0;
        qint64 done = -1;        // pages fetched of total; -1 before the first
        qint64 total = 0;
    } m_runDisplay;
    QTimer *m_runDisplayPace;
};
