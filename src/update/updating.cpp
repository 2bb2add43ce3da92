#include "app/form1.h"
#include "ui_form1.h"

#include "store/recordset.h"
#include "update/statustime.h"

#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>

namespace {

const QString kUnableToConnect = QStringLiteral("Unable to connect to the update server.");

QString number(qint64 value)
{
    return QString::number(value);
}

// Told after the last text of a run whenever numbers are still waiting to be fetched, or
// were passed over because the list of them was full.
QString missingNote(const UpdateEngine::Outcome &outcome)
{
    QString note;
    if (outcome.missing > 0)
        note = outcome.missing == 1 ? QStringLiteral(" - 1 number still missing")
                                    : QStringLiteral(" - %1 numbers still missing").arg(outcome.missing);
    if (outcome.passedOver > 0)
        note += QStringLiteral(" - %1 passed over for good, the list of missing numbers being full").arg(outcome.passedOver);
    return note;
}

}

void Form1::connectUpdating()
{
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(ui->MnuUpdateNow, &QAction::triggered, this, &Form1::MnuUpdateNow_Click);
    connectCheckMark(ui->MnuUpdateAuto, &Form1::MnuUpdateAuto_Click);
    connect(ui->MnuStopUpdate, &QAction::triggered, this, &Form1::MnuStopUpdate_Click);
    ui->LblUpdateStatus->installEventFilter(this);
}

bool Form1::updateEventFilter(QObject *watched, QEvent *event)
{
    // The status line is only as wide as the panel: a text cut off there (the count of
    // missing numbers, why a run stopped) is shown whole in its tip.
    if (watched != ui->LblUpdateStatus || event->type() != QEvent::ToolTip)
        return false;
    const QLabel *label = ui->LblUpdateStatus;
    if (label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width())
        return false;
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), label->toolTip() + QLatin1Char('\n') + label->text(),
                       ui->LblUpdateStatus);
    return true;
}

void Form1::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void Form1::setFetchTimeout(int milliseconds)
{
    m_fetchTimeout = milliseconds;
}

void Form1::updateDB()
{
    if (m_state.updateRunning)
        return;
    m_state.updateRunning = true;
    m_state.stopUpdateRequested = false;
    m_state.serverLastMsgNum = 0;
    if (!m_data1 || !m_data1->isOpen()) {
        m_state.stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update stopped: no message database is open."));
        return;
    }

    UpdateEngine::Settings settings;
    settings.server = m_config.updateServer;
    settings.folder = m_state.baseDir;
    settings.fetches = m_config.updateFetches;
    settings.firstNumber = m_config.updateFirst;
    settings.limits.timeoutMs = m_fetchTimeout;
    settings.clock = [this] { return m_clock(); };
    // The database is asked for afresh each time: compaction and repair replace it.
    m_updateEngine = new UpdateEngine([this] { return m_data1.get(); }, settings, this);
    connect(m_updateEngine, &UpdateEngine::newestRead, this, &Form1::updateNewestRead);
    connect(m_updateEngine, &UpdateEngine::numberHandled, this, &Form1::updateNumberHandled);
    connect(m_updateEngine, &UpdateEngine::finished, this, &Form1::updateFinished);
    m_updateEngine->start();
}

void Form1::updateNewestRead(qint32 newest, const QString &line, qint32 after)
{
    m_state.serverLastMsgNum = newest;
    ui->LblUpdateStatus->setText(QStringLiteral("Updating message ") + number(after) + QStringLiteral(" of ") + line);
}

void Form1::updateNumberHandled(qint32 n, bool stored)
{
    if (!stored) {
        ui->LblUpdateStatus->setText(kUnableToConnect);
        return;
    }
    // A number fetched again later lies below the others: the slider keeps its reach.
    if (n > ui->hscroll1->maximum())
        ui->hscroll1->setMaximum(n);
    ui->LblUpdateStatus->setText(QStringLiteral("Updating message ") + number(n) + QStringLiteral(" of ")
                                 + number(m_state.serverLastMsgNum));
}

void Form1::updateFinished(const UpdateEngine::Outcome &outcome)
{
    m_updateEngine->deleteLater();
    m_updateEngine = nullptr;
    const QString missing = missingNote(outcome);
    switch (outcome.end) {
    case UpdateEngine::End::NoNewestNumber:
        endUpdateRun(kUnableToConnect);
        return;
    case UpdateEngine::End::ServerBehind:
        endUpdateRun(QStringLiteral("The update server's last message number %1 is below the local one, %2: "
                                    "nothing was fetched.")
                         .arg(outcome.newest)
                         .arg(outcome.highestStored));
        return;
    case UpdateEngine::End::Stopped:
        m_state.stopUpdateRequested = false;
        if (outcome.newestLine.isEmpty()) {
            endUpdateRun(QStringLiteral("Update terminated before the update server gave its last message number.")
                         + missing);
            return;
        }
        m_state.lastMsgNum = std::max(outcome.after, outcome.lastHandled);
        endUpdateRun(QStringLiteral("Update terminated at ") + number(std::max(outcome.after, outcome.lastHandled))
                     + QStringLiteral(" of ") + outcome.newestLine + missing);
        return;
    case UpdateEngine::End::Busy:
        m_state.stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update refused: ") + outcome.reason);
        return;
    case UpdateEngine::End::BadNewestNumber:
    case UpdateEngine::End::FailureRun:
    case UpdateEngine::End::Fault:
        // The next run goes on after the highest number stored; a stop asked for
        // meanwhile must not stop it.
        m_state.stopUpdateRequested = false;
        if (outcome.storedAny)
            m_state.lastMsgNum = outcome.highestStored;
        endUpdateRun(QStringLiteral("Update stopped: ") + outcome.reason + missing);
        return;
    case UpdateEngine::End::Completed:
        break;
    }
    const bool readable = m_data1 && m_data1->isOpen();
    const int count = readable ? m_data1->recordCount() : 0;
    if (!readable || !m_data1->moveFirst() || !m_data1->moveLast()) {
        m_state.stopUpdateRequested = false;
        endUpdateRun(QStringLiteral("Update stopped: the message database could not be read (%1).")
                         .arg(readable ? m_data1->lastError() : QStringLiteral("it was closed")));
        return;
    }
    m_state.lastMsgNum = outcome.newest;
    m_state.msgCount = count;
    endUpdateRun(QStringLiteral("Updated ") + StatusTime::format(m_clock()) + QStringLiteral(" : ")
                 + number(m_state.msgCount) + QStringLiteral(" Messages") + QStringLiteral(" - Last # ")
                 + number(m_state.lastMsgNum) + missing);
}

void Form1::endUpdateRun(const QString &status)
{
    ui->LblUpdateStatus->setText(status);
    m_state.updateRunning = false;
    // The new messages go into the search index now, all together.
    checkSearchIndex();
}

void Form1::cancelUpdate(const QString &why)
{
    if (m_updateEngine)
        m_updateEngine->cancel(why);
}

void Form1::MnuUpdateNow_Click()
{
    updateDB();
}

void Form1::MnuUpdateAuto_Click()
{
    ui->MnuUpdateAuto->setChecked(!ui->MnuUpdateAuto->isChecked());
}

void Form1::MnuStopUpdate_Click()
{
    // A stop asked for while no update runs is forgotten: it must not end the next one.
    if (!m_state.updateRunning)
        return;
    m_state.stopUpdateRequested = true;
    if (m_updateEngine)
        m_updateEngine->stop();
}

void Form1::Timer1_Timer()
{
    if (!ui->MnuUpdateAuto->isChecked())
        return;
    if (m_clock().time().minute() % 15 == 0)
        updateDB();
}
