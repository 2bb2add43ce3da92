// The deletion panel: deleting every flagged message, and compacting the database,
// after which the program ends and its companion starts it again.
#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browser.h"
#include "maint/compaction.h"
#include "maint/deletionmark.h"
#include "maint/rescue.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "view/resultlist.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

namespace {


// A question with OK and Cancel and no icon; true for OK.
bool confirmed(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

}

void Form1::connectDeletionPanel()
{
    connectMenus({{ui->MnuDelete, &Form1::MnuDelete_Click}});
    connect(ui->CmdDelExit, &QPushButton::clicked, this, &Form1::CmdDelExit_Click);
    connect(ui->CmdDeleteMarked, &QPushButton::clicked, this, &Form1::CmdDeleteMarked_Click);
    connect(ui->CmdCompact, &QPushButton::clicked, this, &Form1::CmdCompact_Click);
}

void Form1::MnuDelete_Click()
{
    ui->PicDeleteMarked->show();
    ui->PicDeleteMarked->raise();
    ui->PicEdit->hide();
}

void Form1::CmdDelExit_Click()
{
    ui->PicDeleteMarked->hide();
}

void Form1::setDeletionPanelEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdDeleteMarked, ui->CmdCompact, ui->CmdDelExit, ui->ChkNoWarn})
        w->setEnabled(enabled);
}

QString Form1::messageCountText(const QString &lastLabel) const
{
    return QString::number(m_state.msgCount) + QStringLiteral(" Messages") + lastLabel
           + QString::number(m_state.lastMsgNum);
}

bool Form1::countMessages()
{
    if (!m_data1)
        return false;
    m_data1->moveLast();
    m_state.msgCount = m_data1->recordCount();
    // An empty table has no last record: it counts as message number 0.
    m_state.lastMsgNum = m_data1->hasCurrent() ? m_data1->field(QStringLiteral("messnum")).toInt() : 0;
    return true;
}

void Form1::CmdDeleteMarked_Click()
{
    if (ui->ChkNoWarn->checkState() == Qt::Unchecked
        && !confirmed(this, QStringLiteral("Delete Messages"), QStringLiteral("Click OK to delete all marked messages.")))
        return;
    ui->CmdDeleteMarked->setText(QStringLiteral("Deleting"));
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

    ui->List1->clear();
    QString text = QStringLiteral(" Messages Deleted");
    if (kept > 0)
        text += QStringLiteral(" - %1 could not be deleted (%2)").arg(kept).arg(keptWhy);
    if (!failure.isEmpty())
        text += QStringLiteral(" - the run stopped: ") + failure;
    ui->lblResults->setText(text);
    if (countMessages()) {
        ui->LblUpdateStatus->setText(messageCountText(QStringLiteral(" - Last Msg.# ")));
        ui->hscroll1->setMaximum(m_state.lastMsgNum);
        m_data1->moveFirst();
    }
    ui->hscroll1->setValue(1);
    EnableOn();

    ui->CmdDeleteMarked->setText(QStringLiteral("Delete"));
    setDeletionPanelEnabled(true);
    ui->PicDeleteMarked->hide();
}

void Form1::CmdCompact_Click()
{
    // Preparation.
    if (ui->ChkNoWarn->checkState() == Qt::Unchecked
        && !confirmed(this, QStringLiteral("Compact The Database"), QStringLiteral("Click OK to compact the database.")))
        return;
    ui->CmdCompact->setText(QStringLiteral("Compacting"));
    setDeletionPanelEnabled(false);
    Compaction::removeStaleCopy(m_state.baseDir);
    // The previous backup stays until a checked copy replaces it: the rename over its
    // name drops it.
    ui->CmdCompact->repaint();

    // Compaction: it needs the database to itself.
    Compaction::Result result;
    if (m_data1 && m_data1->isDamaged()) {
        // Its copy could only carry the damage on, or lose what cannot be read.
        result.failure = Compaction::Failure::Other;
        result.reason = QStringLiteral("The message database is damaged (%1).").arg(m_data1->damageReason());
    } else if (!takeDatabaseAlone(&result.reason)) {
        result.failure = Compaction::Failure::InUse;
    } else {
        result = Compaction::compact(m_state.baseDir);
        if (result.ok) {
            ui->PicDeleteMarked->hide();
            if (startRestarter(&result.reason)) {
                // The companion waits for this process to end.
                endProgram();
                return;
            }
        }
        m_databaseLock.backToShared();
    }
    compactionFailed(result);
}

void Form1::setRestarter(std::function<bool(QString *reason)> restarter)
{
    m_restarter = std::move(restarter);
}

bool Form1::startRestarter(QString *reason)
{
    if (m_restarter)
        return m_restarter(reason);
    const QString restarter = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("veltra-restarter"));
    QStringList arguments{QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid()),
                          QStringLiteral("--dir"), m_state.baseDir, QStringLiteral("--"),
                          QCoreApplication::applicationFilePath()};
    arguments << m_config.arguments;
    QProcess process;
    process.setProgram(restarter);
    process.setArguments(arguments);
    process.setWorkingDirectory(m_state.baseDir);
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

void Form1::compactionFailed(const Compaction::Result &result)
{
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, compactionFailureText(result), QMessageBox::Ok, this);
    // What SQLite or the system said is one click away.
    if (result.failure != Compaction::Failure::InUse && !result.reason.isEmpty())
        box.setDetailedText(result.reason);
    box.exec();
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdCompact, ui->CmdDelExit, ui->ChkNoWarn})
        w->setEnabled(true);
    ui->PicDeleteMarked->hide();
    // Every command needs the database: it is opened again (the compacted one when the
    // files were already switched).
    reopenDatabase();
}

QString Form1::compactionFailureText(const Compaction::Result &result) const
{
    if (result.ok) {
        return QStringLiteral("The database has been compacted, but Veltra Knowledgebase could not start itself "
                              "again: %1\n\nThe program goes on with the compacted database.").arg(result.reason);
    }
    // The text users know stays for the case it was written for.
    if (result.failure == Compaction::Failure::InUse)
        return QStringLiteral("The Database is in use. Please close all other Knowledgebase programs and try again.");
    const QString folder = QDir::toNativeSeparators(m_state.baseDir);
    const QString cause = result.cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.cause);
    const QString unchanged = QStringLiteral("\n\nThe message database is unchanged.");
    switch (result.failure) {
    case Compaction::Failure::DiskFull: {
        const qint64 size = QFileInfo(QDir(m_state.baseDir).filePath(QLatin1String(Compaction::kDatabase))).size();
        return QStringLiteral("The database could not be compacted: the disk is full%1.\n\nCompacting writes a copy of "
                              "the database (up to %2) in %3, and there is not enough free space there. Make room on "
                              "that disk and try again.").arg(cause, locale().formattedDataSize(size), folder)
               + unchanged;
    }
    case Compaction::Failure::WriteError:
        return QStringLiteral("The database could not be compacted: writing to the disk failed in %1%2.")
                   .arg(folder, cause) + unchanged;
    default:
        return QStringLiteral("The database could not be compacted.\n\n%1").arg(result.reason) + unchanged;
    }
}

void Form1::removeCompactionLeftovers()
{
    const QStringList removed = Compaction::removeStaleCopy(m_state.baseDir);
    if (removed.isEmpty())
        return;
    const QString notice = QStringLiteral(" Removed %1, left over from a compaction that was cut off.")
                               .arg(removed.join(QStringLiteral(", ")));
    // The status line shows what the browser says from the first page on; as the read-only
    // notice, this is put over the first message shown and kept until the user goes elsewhere.
    auto *pending = new QObject(this);
    connect(m_web1, &Browser::documentComplete, pending, [this, pending, notice](const QString &url) {
        if (!isMessagePageUrl(url))
            return;
        m_state.statusOverride += notice;
        ui->LblStBar1->setText(m_state.statusOverride);
        ui->LblStBar1->setCursorPosition(0);
        pending->deleteLater();
    });
}

bool Form1::takeDatabaseAlone(QString *reason)
{
    if (!m_databaseLock.tryExclusive(reason))
        return false;
    // The background check's and the index build's connections would hold the file too.
    delete findChild<IntegrityCheck *>(QString(), Qt::FindDirectChildrenOnly);
    stopSearchIndex();
    if (m_data1)
        m_data1->close();
    m_data1.reset();
    return true;
}

void Form1::reopenDatabase()
{
    if (!m_data1)
        openDatabase();
    if (countMessages()) {
        ui->hscroll1->setMaximum(m_state.lastMsgNum);
        m_data1->moveFirst();
    }
}

void Form1::rescueDatabase()
{
    QString reason;
    if (!takeDatabaseAlone(&reason)) {
        QMessageBox::warning(this, kAppTitle,
                             QStringLiteral("The messages could not be rescued: %1\n\nClose the other copies of the "
                                            "program and try again; the next start offers the rescue again.")
                                 .arg(reason));
        return;
    }
    const Rescue::Result result = Rescue::rescueFolder(m_state.baseDir);
    m_databaseLock.backToShared();
    // The rescued database is a new file; the damaged one, still in place, was reported.
    if (result.ok)
        m_damageReported = false;
    reopenDatabase();
    ui->LblUpdateStatus->setText(messageCountText(QStringLiteral(" - Last # ")));
    if (!result.ok) {
        QMessageBox::warning(this, kAppTitle,
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
    QMessageBox::information(this, kAppTitle,
                             QStringLiteral("%1 messages were rescued into a new message database, which is now in use.%2"
                                            "\n\nThe damaged file is kept unchanged as %3.")
                                 .arg(result.rescued)
                                 .arg(lost, QLatin1String(Rescue::kDamaged)));
}
