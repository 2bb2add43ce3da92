// SPDX-License-Identifier: GPL-3.0-or-later
// What the user is told and asked about the message database: opening it, its damage,
// and the rescue of its messages; and the wiring of the maintenance controls.
#include "maint/maintenance.h"

#include "widgets/apptitle.h"
#include "widgets/menuwiring.h"
#include "archive/messagearchive.h"
#include "browser/browserpane.h"
#include "archive/compaction.h"
#include "archive/rescue.h"
#include "results/resultspanel.h"
#include "status/statusstrip.h"
#include "store/recordset.h"
#include "view/viewer.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString kBackupName = QLatin1String(Compaction::kBackup);

}

Maintenance::Maintenance(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results,
                         BrowserPane *pane, StatusStrip *status, BusyStates *busy, const AppConfig &config,
                         QWidget *window)
    : QObject(window)
    , MenuFileNewDatabase(controls.MenuFileNewDatabase)
    , MnuDelete(controls.MnuDelete)
    , PicDeleteMarked(controls.PicDeleteMarked)
    , CmdDelExit(controls.CmdDelExit)
    , CmdDeleteMarked(controls.CmdDeleteMarked)
    , CmdCompact(controls.CmdCompact)
    , ChkNoWarn(controls.ChkNoWarn)
    , m_window(window)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_results(results)
    , m_pane(pane)
    , m_status(status)
    , m_busy(busy)
    , m_config(config)
{
    connectMenus(this, {{MnuDelete, &Maintenance::MnuDelete_Click},
                        {MenuFileNewDatabase, &Maintenance::MenuFileNewDatabase_Click}});
    connect(CmdDelExit, &QPushButton::clicked, this, &Maintenance::CmdDelExit_Click);
    connect(CmdDeleteMarked, &QPushButton::clicked, this, &Maintenance::CmdDeleteMarked_Click);
    connect(CmdCompact, &QPushButton::clicked, this, &Maintenance::CmdCompact_Click);

    connect(archive, &MessageArchive::damaged, this, &Maintenance::reportDamage);
    connect(archive, &MessageArchive::opened, this, &Maintenance::updateNewDatabaseMenu);
    updateNewDatabaseMenu();
}

int Maintenance::noWarning() const
{
    return ChkNoWarn->checkState() == Qt::Unchecked ? 0 : ChkNoWarn->checkState() == Qt::Checked ? 1 : 2;
}

void Maintenance::setNoWarning(int value)
{
    ChkNoWarn->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void Maintenance::setDeletionMenuEnabled(bool enabled)
{
    MnuDelete->setEnabled(enabled);
    if (!enabled)
        PicDeleteMarked->hide();
}

void Maintenance::hideDeletionPanel()
{
    PicDeleteMarked->hide();
}

void Maintenance::openDatabase()
{
    const bool startUp = !std::exchange(m_openedOnce, true);
    MessageArchive::Opening opening = m_archive->open(startUp);
    if (opening.status == MessageArchive::OpenStatus::Missing
        && !askToCreate(QStringLiteral("There is no message database in this folder:\n%1\n\n"
                                       "Create an empty message database here? The next update fills it."))) {
        updateNewDatabaseMenu();
        return;
    }
    finishOpening(opening);
}

bool Maintenance::newDatabase()
{
    if (m_archive->recordset())
        return true;
    m_openedOnce = true;
    MessageArchive::Opening opening = m_archive->open(false);
    if (!finishOpening(opening))
        return false;
    // What start-up does once the window is shown, for the database that came later.
    const bool counted = m_archive->countMessages();
    m_viewer->resume(m_archive->lastMessageNumber(), counted);
    m_status->showStatus(m_archive->countText(QStringLiteral(" - Last # ")));
    return true;
}

bool Maintenance::offerNewDatabase(const QString &why)
{
    if (m_archive->recordset())
        return true;
    // A file that is there but would not open is never put aside for an empty one.
    if (QFileInfo::exists(m_archive->databasePath()))
        return false;
    return askToCreate(why + QStringLiteral("Create an empty message database in this folder?\n%1\n\nThe update then "
                                            "fills it."))
           && newDatabase();
}

bool Maintenance::askToCreate(const QString &question)
{
    // Yes by default: without a database the window has nothing to show or update.
    return QMessageBox::question(m_window, kAppTitle,
                                 question.arg(QDir::toNativeSeparators(m_archive->databasePath())),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
           == QMessageBox::Yes;
}

void Maintenance::MenuFileNewDatabase_Click()
{
    if (m_archive->recordset())
        return;
    if (!QFileInfo::exists(m_archive->databasePath())
        && !askToCreate(QStringLiteral("Create an empty message database in this folder?\n%1\n\n"
                                       "The next update fills it.")))
        return;
    // A file put there meanwhile is opened rather than replaced.
    newDatabase();
}

void Maintenance::updateNewDatabaseMenu()
{
    MenuFileNewDatabase->setEnabled(!m_archive->recordset());
}

bool Maintenance::finishOpening(MessageArchive::Opening &opening)
{
    if (!opening.recovered.isEmpty())
        QMessageBox::information(m_window, kAppTitle, opening.recovered);
    const QString leftAsItIs = QStringLiteral("The message database could not be opened.\n\n%1\n\n"
                                              "The file has been left as it is. The program runs without messages.");
    switch (opening.status) {
    case MessageArchive::OpenStatus::Opened:
        break;
    case MessageArchive::OpenStatus::NoLock:
        QMessageBox::warning(m_window, kAppTitle,
                             QStringLiteral("The message database could not be opened.\n\n%1\n\n"
                                            "The program runs without messages.").arg(opening.reason));
        updateNewDatabaseMenu();
        return false;
    case MessageArchive::OpenStatus::Damaged:
        // Rescue opens what it saved; without it the program runs without messages.
        m_archive->reportDamage(opening.reason);
        updateNewDatabaseMenu();
        return m_archive->recordset() != nullptr;
    case MessageArchive::OpenStatus::Missing:
        if (!m_archive->createAndOpen(&opening)) {
            QMessageBox::warning(m_window, kAppTitle,
                                 opening.status == MessageArchive::OpenStatus::NotCreated
                                     ? QStringLiteral("The message database could not be created.\n\n%1").arg(opening.reason)
                                     : leftAsItIs.arg(opening.reason));
            updateNewDatabaseMenu();
            return false;
        }
        break;
    case MessageArchive::OpenStatus::NotCreated:
    case MessageArchive::OpenStatus::Failed:
        QMessageBox::warning(m_window, kAppTitle, leftAsItIs.arg(opening.reason));
        updateNewDatabaseMenu();
        return false;
    }
    // The status line shows what the browser says from the first page on; these are put
    // over the first message shown and kept until the user goes elsewhere.
    if (m_archive->isReadOnly())
        m_pane->addFirstMessageNotice(QStringLiteral(" This data folder cannot be written: messages are shown, but "
                                                     "nothing can be stored (no updates, flags or deletions)."));
    if (!opening.leftovers.isEmpty())
        m_pane->addFirstMessageNotice(QStringLiteral(" Removed %1, left over from a compaction that was cut off.")
                                          .arg(opening.leftovers.join(QStringLiteral(", "))));
    m_archive->watchForDamage();
    updateNewDatabaseMenu();
    return true;
}

void Maintenance::reportDamage(const QString &reason)
{
    // Told once (the archive sees to that); the search index has stopped writing already.
    const QDir dir(m_archive->folder());
    const QString path = m_archive->databasePath();
    const bool open = m_archive->recordset() != nullptr;
    const QString backup = dir.filePath(kBackupName);
    const QString backupAdvice =
        QFileInfo::exists(backup)
            ? QStringLiteral("%1 is the message database as it was before the last compaction. Messages stored "
                             "since then are not in it.").arg(QDir::toNativeSeparators(backup))
            : QStringLiteral("There is no %1 (the copy a compaction keeps of the database before it) in this folder.")
                  .arg(kBackupName);
    // Found at opening, the damage leaves nothing to show until the messages are rescued.
    const QString meanwhile =
        open ? QStringLiteral("Nothing more will be written to it, so nothing more is lost: updates, edits and "
                                 "deletions are refused. The messages that can still be read can still be shown and "
                                 "searched.")
                : QStringLiteral("It could not be opened: until its messages are rescued the program runs without "
                                 "messages, and nothing is written to the file.");
    QMessageBox box(QMessageBox::Warning, kAppTitle,
                    QStringLiteral("The message database %1 is damaged.\n\n"
                                   "SQLite reports: %2\n\n"
                                   "%3\n\n"
                                   "Rescue copies every message that can still be read into a new message database "
                                   "and uses that from now on; the damaged file is kept unchanged as %4. %5")
                        .arg(QDir::toNativeSeparators(path), reason, meanwhile, QLatin1String(Rescue::kDamaged),
                             backupAdvice),
                    QMessageBox::NoButton, m_window);
    QPushButton *rescue = box.addButton(QStringLiteral("&Rescue Messages"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("&Not Now"), QMessageBox::RejectRole);
    box.setDefaultButton(rescue);
    box.exec();
    if (box.clickedButton() == rescue)
        rescueDatabase();
}
