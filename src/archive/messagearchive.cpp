// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/messagearchive.h"

#include "store/readstate.h"

#include "archive/compaction.h"
#include "store/integritycheck.h"
#include "store/recordset.h"

#include <QDir>
#include <QTimer>

#include <utility>

namespace {

constexpr int kLockWaitMs = 30000;

}

MessageArchive::MessageArchive(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
{
}

MessageArchive::~MessageArchive()
{
    if (m_data1)
        close();
}

void MessageArchive::close()
{
    // The background check's and the index build's connections let go of the file first:
    // the recordset's close may then mark the search index trusted for the next opening.
    stopCheck();
    // What was shown is written while the file is still open; a failure loses only the marks.
    if (m_readState)
        m_readState->flush();
    m_readState.reset();
    emit closing();
    if (m_data1)
        m_data1->close();
    m_data1.reset();
    ++m_generation;
}

QString MessageArchive::folder() const
{
    return m_folder;
}

QString MessageArchive::databasePath() const
{
    return m_data1 ? m_data1->databasePath() : QDir(m_folder).filePath(QStringLiteral("veltra.mdb"));
}

Recordset *MessageArchive::recordset() const
{
    return m_data1.get();
}

ReadState *MessageArchive::readState() const
{
    return m_readState.get();
}

void MessageArchive::openReadState()
{
    m_readState = std::make_unique<ReadState>(m_data1->connection());
    m_readState->open();
}

quint64 MessageArchive::generation() const
{
    return m_generation;
}

MessageArchive::Opening MessageArchive::open(bool startUp)
{
    Opening opening;
    // Every running copy holds the lock shared; a compaction in another copy holds it
    // alone and is waited for.
    if (!m_databaseLock.lockShared(m_folder, kLockWaitMs, &opening.reason)) {
        opening.status = OpenStatus::NoLock;
        return opening;
    }
    // A compaction cut off between its two renames leaves no veltra.mdb; an empty new
    // database must never be put over the copy or backup that holds the messages.
    opening.recovered = Compaction::recover(m_folder).message;
    auto result = Recordset::open(databasePath());
    switch (result.status) {
    case Recordset::OpenStatus::Ok:
        break;
    case Recordset::OpenStatus::Missing:
        opening.status = OpenStatus::Missing;
        return opening;
    case Recordset::OpenStatus::Damaged:
        opening.status = OpenStatus::Damaged;
        opening.reason = result.reason;
        return opening;
    default:
        opening.status = OpenStatus::Failed;
        opening.reason = result.reason;
        return opening;
    }
    m_data1 = std::move(result.recordset);
    openReadState();
    ++m_generation;
    opening.status = OpenStatus::Opened;
    emit opened();
    // What a cut-off compaction left is cleared at start-up, and only beside a database that
    // opened as it was: without one, the copy may be all there is of the messages.
    if (startUp)
        opening.leftovers = Compaction::removeStaleCopy(m_folder);
    return opening;
}

bool MessageArchive::createAndOpen(Opening *opening)
{
    const QString path = databasePath();
    if (!Recordset::createEmpty(path, &opening->reason)) {
        opening->status = OpenStatus::NotCreated;
        return false;
    }
    auto result = Recordset::open(path);
    if (result.status != Recordset::OpenStatus::Ok) {
        opening->status = result.status == Recordset::OpenStatus::Damaged ? OpenStatus::Damaged : OpenStatus::Failed;
        opening->reason = result.reason;
        return false;
    }
    m_data1 = std::move(result.recordset);
    openReadState();
    ++m_generation;
    opening->status = OpenStatus::Opened;
    emit opened();
    return true;
}

bool MessageArchive::isReadOnly() const
{
    return m_data1 && m_data1->isReadOnly();
}

bool MessageArchive::countMessages()
{
    if (!m_data1)
        return false;
    m_data1->moveLast();
    msgCount = m_data1->recordCount();
    // An empty table has no last record: it counts as message number 0.
    lastMsgNum = m_data1->hasCurrent() ? m_data1->field(QStringLiteral("messnum")).toInt() : 0;
    return true;
}

qint32 MessageArchive::messageCount() const
{
    return msgCount;
}

qint32 MessageArchive::lastMessageNumber() const
{
    return lastMsgNum;
}

void MessageArchive::setLastMessageNumber(qint32 number)
{
    lastMsgNum = number;
}

void MessageArchive::setMessageCount(qint32 count)
{
    msgCount = count;
}

QString MessageArchive::countText(const QString &lastLabel) const
{
    return QString::number(msgCount) + QStringLiteral(" Messages") + lastLabel + QString::number(lastMsgNum);
}

void MessageArchive::reportDamage(const QString &reason)
{
    if (std::exchange(m_damageReported, true))
        return;
    emit damaged(reason);
}

void MessageArchive::watchForDamage()
{
    if (!m_data1)
        return;
    m_data1->setDamageHandler([this](const QString &reason) {
        // This may run halfway through a walk over the records; the report waits for the event loop.
        QTimer::singleShot(0, this, [this, reason] { reportDamage(reason); });
    });

    // One check at a time, for the file open now.
    stopCheck();
    auto *check = new IntegrityCheck(this);
    m_check = check;
    const QString path = m_data1->databasePath();
    connect(check, &IntegrityCheck::finished, this, [this, check, path](IntegrityCheck::Outcome outcome, const QString &detail) {
        check->deleteLater();
        if (!m_data1 || m_data1->databasePath() != path)
            return;
        if (outcome == IntegrityCheck::Outcome::Damaged)
            m_data1->markDamaged(detail);
        else
            emit checkPassed();
    });
    check->start(path);
}

void MessageArchive::stopCheck()
{
    delete m_check.data();
}

bool MessageArchive::takeAlone(QString *reason)
{
    if (!m_databaseLock.tryExclusive(reason))
        return false;
    close();
    return true;
}

void MessageArchive::backToShared()
{
    m_databaseLock.backToShared();
}

Rescue::Result MessageArchive::rescue(const Compaction::Progress &progress)
{
    const Rescue::Result result = Rescue::rescueFolder(m_folder, progress);
    // The rescued database is a new file; the damaged one, still in place, was reported.
    if (result.ok)
        m_damageReported = false;
    return result;
}
