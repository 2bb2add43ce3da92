#include "app/form1.h"
#include "ui_form1.h"

#include "store/lastmessagepage.h"
#include "store/pagefetcher.h"
#include "store/recordset.h"
#include "store/statustime.h"
#include "store/updateaddress.h"
#include "store/updatepageparser.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

namespace {

const QString kUnableToConnect = QStringLiteral("Unable to connect to the update server.");
const QString kDatabaseClosed = QStringLiteral("the message database was closed.");
constexpr qint64 kPageSizeLimit = 10 * 1024 * 1024;

QString number(qint64 value)
{
    return QString::number(value);
}

}

void Form1::connectUpdating()
{
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(ui->MnuUpdateNow, &QAction::triggered, this, &Form1::MnuUpdateNow_Click);
    connectCheckMark(ui->MnuUpdateAuto, &Form1::MnuUpdateAuto_Click);
    connect(ui->MnuStopUpdate, &QAction::triggered, this, &Form1::MnuStopUpdate_Click);
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
    m_state.serverLastMsgNum = 0;

    // Every fetch and every pause lets other commands run, and one of them may close the
    // window or the database: nothing is touched after the window has gone, and the
    // database is looked up afresh each time.
    const QPointer<Form1> self(this);
    const auto databaseOpen = [this] { return m_data1 && m_data1->isOpen(); };
    const auto endRun = [this](const QString &status) {
        ui->LblUpdateStatus->setText(status);
        m_state.updateRunning = false;
    };
    // An end other than the three regular ones: the next run starts after the last stored number.
    qint32 lastStored = 0;
    const auto stopRun = [&](const QString &why) {
        if (lastStored > 0)
            m_state.lastMsgNum = lastStored;
        // A stop asked for during a run that ended otherwise must not stop the next one.
        m_state.stopUpdateRequested = false;
        endRun(QStringLiteral("Update stopped: ") + why);
    };

    // Whether a fetch ends the run: its wait was cut short, or its page could not be written.
    const auto runEndedBy = [&](const PageFetcher::Result &result, const QString &fileName) {
        if (result.status == PageFetcher::Status::Interrupted)
            stopRun(result.reason + QLatin1Char('.'));
        else if (result.status == PageFetcher::Status::WriteFailed)
            stopRun(QStringLiteral("%1 could not be written (%2).").arg(fileName, result.reason));
        else
            return false;
        return true;
    };

    if (!databaseOpen()) {
        stopRun(QStringLiteral("no message database is open."));
        return;
    }
    if (!m_net)
        m_net = new QNetworkAccessManager(this);
    PageFetcher fetcher(m_net);
    fetcher.setTimeout(m_fetchTimeout);
    fetcher.setSizeLimit(kPageSizeLimit);
    const QDir dir(m_state.baseDir);
    const QString base = m_config.updateServer;

    const PageFetcher::Result last = fetcher.fetch(UpdateAddress::lastMessageUrl(base),
                                                   dir.filePath(QStringLiteral("lastmessage.htm")),
                                                   PageFetcher::Cache::Fresh);
    if (!self || runEndedBy(last, QStringLiteral("lastmessage.htm")))
        return;
    const std::optional<LastMessagePage::Newest> newest =
        last.status == PageFetcher::Status::Ok ? LastMessagePage::read(last.body) : std::nullopt;
    // A newest number below the local one would make the next run fetch and store again
    // what is stored already; such a page is treated like one that did not come.
    if (!newest) {
        endRun(kUnableToConnect);
        return;
    }
    if (newest->number < m_state.lastMsgNum) {
        endRun(QStringLiteral("The update server's last message number %1 is below the local one, %2: nothing was fetched.")
                   .arg(newest->number)
                   .arg(m_state.lastMsgNum));
        return;
    }
    m_state.serverLastMsgNum = newest->number;
    ui->LblUpdateStatus->setText(QStringLiteral("Updating message ") + number(m_state.lastMsgNum) + QStringLiteral(" of ")
                                 + newest->line);

    const QString pageFile = dir.filePath(QStringLiteral("tempfile.htm"));
    // 64-bit, so that a newest number of 2147483647 ends the loop.
    for (qint64 n = qint64(m_state.lastMsgNum) + 1; n <= newest->number; ++n) {
        const qint32 messnum = qint32(n);
        const PageFetcher::Result page = fetcher.fetch(UpdateAddress::pageUrl(base, messnum), pageFile,
                                                       PageFetcher::Cache::Allowed);
        if (!self || runEndedBy(page, QStringLiteral("tempfile.htm")))
            return;
        if (!databaseOpen()) {
            stopRun(kDatabaseClosed);
            return;
        }
        const std::optional<MessageRecord> record =
            page.status == PageFetcher::Status::Ok ? UpdatePageParser::parseBytes(page.body, messnum) : std::nullopt;
        if (!record) {
            ui->LblUpdateStatus->setText(kUnableToConnect);
        } else {
            if (!m_data1->addNew(*record)) {
                stopRun(QStringLiteral("message %1 could not be stored (%2).").arg(messnum).arg(m_data1->lastError()));
                return;
            }
            lastStored = messnum;
            ui->hscroll1->setMaximum(messnum);
            ui->LblUpdateStatus->setText(QStringLiteral("Updating message ") + number(messnum) + QStringLiteral(" of ")
                                         + number(m_state.serverLastMsgNum));
            if (m_state.stopUpdateRequested) {
                m_state.stopUpdateRequested = false;
                m_state.lastMsgNum = messnum;
                endRun(QStringLiteral("Update terminated at ") + number(m_state.lastMsgNum) + QStringLiteral(" of ")
                       + newest->line);
                return;
            }
        }
        QCoreApplication::processEvents();
        if (!self)
            return;
    }

    if (!databaseOpen()) {
        stopRun(kDatabaseClosed);
        return;
    }
    const int count = m_data1->recordCount();
    if (!m_data1->moveFirst() || !m_data1->moveLast()) {
        stopRun(QStringLiteral("the message database could not be read (%1).").arg(m_data1->lastError()));
        return;
    }
    m_state.lastMsgNum = newest->number;
    m_state.msgCount = count;
    endRun(QStringLiteral("Updated ") + StatusTime::format(m_clock()) + QStringLiteral(" : ") + number(m_state.msgCount)
           + QStringLiteral(" Messages") + QStringLiteral(" - Last # ") + number(m_state.lastMsgNum));
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
    m_state.stopUpdateRequested = true;
}

void Form1::Timer1_Timer()
{
    if (!ui->MnuUpdateAuto->isChecked())
        return;
    if (m_clock().time().minute() % 15 == 0)
        updateDB();
}
