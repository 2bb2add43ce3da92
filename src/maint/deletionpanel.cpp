// SPDX-License-Identifier: GPL-3.0-or-later
// The deletion panel: deleting every flagged message, and compacting the database,
// after which the program ends and its companion starts it again.
#include "maint/maintenance.h"
#include "archive/walkcursor.h"
#include "widgets/eventyield.h"

#include "widgets/busystates.h"
#include "widgets/apptitle.h"
#include "status/workbar.h"
#include "archive/messagearchive.h"
#include "archive/compaction.h"
#include "archive/deletionmark.h"
#include "archive/rescue.h"
#include "results/resultspanel.h"
#include "store/recordset.h"
#include "status/statusstrip.h"
#include "view/viewer.h"

#include <QWidget>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace {

// A question with OK and Cancel and no icon; true for OK.
bool confirmed(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

}

void Maintenance::MnuDelete_Click()
{
    PicDeleteMarked->show();
    PicDeleteMarked->raise();
    emit deletionPanelOpened();
}

void Maintenance::CmdDelExit_Click()
{
    PicDeleteMarked->hide();
}

void Maintenance::setDeletionPanelEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{CmdDeleteMarked, CmdCompact, CmdDelExit, ChkNoWarn})
        w->setEnabled(enabled);
}

QString Maintenance::walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit)
{
    m_busy->EnableOff();
    const QString criteria = DeletionMark::candidateCriteria();
    QString failure;
    // The walk reads on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    Recordset::FindResult found = m_results->startWalk(walk, startText, criteria);
    Recordset *rs = walk.recordset();
    EventYield yield;
    while (rs && found == Recordset::FindResult::Found) {
        if (!visit(*rs))
            break;
        if (!walk.letEventsRun([&yield] { return yield(); }))
            break;
        // On from the current position, so one pass over the table suffices. A find that
        // fails ends the walk like one that finds nothing, with the reason.
        found = rs->findNext(criteria);
        if (found == Recordset::FindResult::Error)
            failure = rs->lastError();
        if (m_results->interruptRequested()) {
            rs->moveFirst();
            m_viewer->showFirst();
            break;
        }
    }
    m_results->endWalk();
    return failure;
}

void Maintenance::CmdDeleteMarked_Click()
{
    if (ChkNoWarn->checkState() == Qt::Unchecked
        && !confirmed(m_window, QStringLiteral("Delete Messages"), QStringLiteral("Click OK to delete all marked messages.")))
        return;
    CmdDeleteMarked->setText(QStringLiteral("Deleting"));
    setDeletionPanelEnabled(false);
    // A record that cannot be deleted stays, and the run goes on; the end says so.
    int kept = 0;
    QString keptWhy;
    const QString failure = walkFlagCandidates(QStringLiteral(" Deleting Messages"), [&](Recordset &rs) {
        if (DeletionMark::isMarked(rs.field(QStringLiteral("messdate")).toString()) && !rs.deleteCurrent()) {
            ++kept;
            keptWhy = QStringLiteral("message %1: %2").arg(rs.field(QStringLiteral("messnum")).toInt()).arg(rs.lastError());
        }
        return true;
    });

    m_results->clearResults();
    QString text = QStringLiteral(" Messages Deleted");
    if (kept > 0)
        text += QStringLiteral(" - %1 could not be deleted (%2)").arg(kept).arg(keptWhy);
    if (!failure.isEmpty())
        text += QStringLiteral(" - the run stopped: ") + failure;
    m_results->setResultsText(text);
    if (m_archive->countMessages()) {
        m_status->showStatus(m_archive->countText(QStringLiteral(" - Last Msg.# ")));
        m_viewer->setLastNumber(m_archive->lastMessageNumber());
        m_archive->recordset()->moveFirst();
    }
    m_viewer->showFirst();
    m_busy->EnableOn();
    emit messagesDeleted();

    CmdDeleteMarked->setText(QStringLiteral("Delete"));
    setDeletionPanelEnabled(true);
    PicDeleteMarked->hide();
}

void Maintenance::CmdCompact_Click()
{
    // Preparation.
    if (ChkNoWarn->checkState() == Qt::Unchecked
        && !confirmed(m_window, QStringLiteral("Compact The Database"), QStringLiteral("Click OK to compact the database.")))
        return;
    CmdCompact->setText(QStringLiteral("Compacting"));
    setDeletionPanelEnabled(false);
    Compaction::removeStaleCopy(m_archive->folder());
    // The previous backup stays until a checked copy replaces it: the rename over its
    // name drops it.
    CmdCompact->repaint();

    // Compaction: it needs the database to itself.
    Compaction::Result result;
    Recordset *const rs = m_archive->recordset();
    if (rs && rs->isDamaged()) {
        // Its copy could only carry the damage on, or lose what cannot be read.
        result.failure = Compaction::Failure::Other;
        result.reason = QStringLiteral("The message database is damaged (%1).").arg(rs->damageReason());
    } else if (!m_archive->takeAlone(&result.reason)) {
        result.failure = Compaction::Failure::InUse;
    } else {
        result = Compaction::compact(m_archive->folder(), {},
                                     showWorkProgress(QStringLiteral("Compacting the message database")));
        if (result.ok) {
            PicDeleteMarked->hide();
            if (startRestarter(&result.reason)) {
                // The companion waits for this process to end.
                emit endRequested();
                return;
            }
        }
        m_archive->backToShared();
    }
    hideWorkProgress();
    compactionFailed(result);
}

void Maintenance::setRestarter(std::function<bool(QString *reason)> restarter)
{
    m_restarter = std::move(restarter);
}

bool Maintenance::startRestarter(QString *reason)
{
    if (m_restarter)
        return m_restarter(reason);
    const QString restarter = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("veltra-restarter"));
    const QString baseDir = m_archive->folder();
    QStringList arguments{QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid()),
                          QStringLiteral("--dir"), baseDir, QStringLiteral("--"),
                          QCoreApplication::applicationFilePath()};
    arguments << m_config.arguments;
    QProcess process;
    process.setProgram(restarter);
    process.setArguments(arguments);
    process.setWorkingDirectory(baseDir);
    // The streams this process was given (a terminal, a caller's pipe) may be gone by
    // the time the program is started again: a write to a closed pipe would end it.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    *reason = QStringLiteral("The program that starts Veltra Knowledgebase again (%1) could not be started.")
                  .arg(QDir::toNativeSeparators(restarter));
    return false;
}

void Maintenance::compactionFailed(const Compaction::Result &result)
{
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, compactionFailureText(result), QMessageBox::Ok, m_window);
    // What SQLite or the system said is one click away.
    if (result.failure != Compaction::Failure::InUse && !result.reason.isEmpty())
        box.setDetailedText(result.reason);
    box.exec();
    for (QWidget *w : std::initializer_list<QWidget *>{CmdCompact, CmdDelExit, ChkNoWarn})
        w->setEnabled(true);
    PicDeleteMarked->hide();
    // Every command needs the database: it is opened again (the compacted one when the
    // files were already switched).
    reopenDatabase();
}

QString Maintenance::compactionFailureText(const Compaction::Result &result) const
{
    if (result.ok) {
        return QStringLiteral("The database has been compacted, but Veltra Knowledgebase could not start itself "
                              "again: %1\n\nThe program goes on with the compacted database.").arg(result.reason);
    }
    // The text users know stays for the case it was written for.
    if (result.failure == Compaction::Failure::InUse)
        return QStringLiteral("The Database is in use. Please close all other Knowledgebase programs and try again.");
    const QString folder = QDir::toNativeSeparators(m_archive->folder());
    const QString cause = result.cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.cause);
    const QString unchanged = QStringLiteral("\n\nThe message database is unchanged.");
    switch (result.failure) {
    case Compaction::Failure::DiskFull: {
        const qint64 size = QFileInfo(QDir(m_archive->folder()).filePath(QLatin1String(Compaction::kDatabase))).size();
        return QStringLiteral("The database could not be compacted: the disk is full%1.\n\nCompacting writes a copy of "
                              "the database (up to %2) in %3, and there is not enough free space there. Make room on "
                              "that disk and try again.").arg(cause, m_window->locale().formattedDataSize(size), folder)
               + unchanged;
    }
    case Compaction::Failure::WriteError:
        return QStringLiteral("The database could not be compacted: writing to the disk failed in %1%2.")
                   .arg(folder, cause) + unchanged;
    default:
        return QStringLiteral("The database could not be compacted.\n\n%1").arg(result.reason) + unchanged;
    }
}

void Maintenance::reopenDatabase()
{
    if (!m_archive->recordset())
        openDatabase();
    if (m_archive->countMessages()) {
        m_viewer->setLastNumber(m_archive->lastMessageNumber());
        m_archive->recordset()->moveFirst();
    }
}

Compaction::Progress Maintenance::showWorkProgress(const QString &what)
{
    WorkBar *const bar = m_status->workBar();
    const auto show = [bar, what](qint64 done, qint64 total) {
        bar->show(what, done, total);
        bar->paintNow();
    };
    show(0, 0);
    return show;
}

void Maintenance::hideWorkProgress()
{
    m_status->workBar()->hide();
}

void Maintenance::rescueDatabase()
{
    QString reason;
    if (!m_archive->takeAlone(&reason)) {
        QMessageBox::warning(m_window, kAppTitle,
                             QStringLiteral("The messages could not be rescued: %1\n\nClose the other copies of the "
                                            "program and try again; the next start offers the rescue again.")
                                 .arg(reason));
        return;
    }
    const Rescue::Result result = m_archive->rescue(showWorkProgress(QStringLiteral("Rescuing the messages")));
    hideWorkProgress();
    m_archive->backToShared();
    reopenDatabase();
    m_status->showStatus(m_archive->countText(QStringLiteral(" - Last # ")));
    if (!result.ok) {
        QMessageBox::warning(m_window, kAppTitle,
                             QStringLiteral("The messages could not be rescued: %1\n\nThe damaged message database "
                                            "is unchanged.").arg(result.reason));
        return;
    }
    QString lost;
    if (!result.lostExact)
        lost = result.lost > 0 ? QStringLiteral(" At least %1 could not be read; the damage hides how many there were.")
                                     .arg(result.lost)
                               : QStringLiteral(" Some may not have come across; the damage hides how many there were.");
    else if (result.lost > 0)
        lost = QStringLiteral(" %1 could not be read.").arg(result.lost);
    QMessageBox::information(m_window, kAppTitle,
                             QStringLiteral("%1 messages were rescued into a new message database, which is now in use.%2"
                                            "\n\nThe damaged file is kept unchanged as %3.")
                                 .arg(result.rescued)
                                 .arg(lost, QLatin1String(Rescue::kDamaged)));
}
