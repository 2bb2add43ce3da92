// A damaged message database: the recordset stops writing to it at the first sign, a
// quick check in the background looks for damage the start-up reads did not meet, and the
// user is told once.
#include "app/form1.h"

#include "maint/compaction.h"
#include "maint/rescue.h"
#include "store/integritycheck.h"
#include "store/recordset.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kBackupName = QLatin1String(Compaction::kBackup);

} // namespace

void Form1::watchForDamage()
{
    if (!m_data1)
        return;
    m_data1->setDamageHandler([this](const QString &reason) {
        // This may run halfway through a walk over the records; the box waits for the event loop.
        QTimer::singleShot(0, this, [this, reason] { reportDamage(reason); });
    });

    // One check at a time, for the file open now.
    delete findChild<IntegrityCheck *>(QString(), Qt::FindDirectChildrenOnly);
    auto *check = new IntegrityCheck(this);
    const QString path = m_data1->databasePath();
    connect(check, &IntegrityCheck::finished, this, [this, check, path](IntegrityCheck::Outcome outcome, const QString &detail) {
        check->deleteLater();
        if (!m_data1 || m_data1->databasePath() != path)
            return;
        if (outcome == IntegrityCheck::Outcome::Damaged)
            m_data1->markDamaged(detail);
        else
            startSearchIndex(SearchIndexBuilder::Task::Verify);
    });
    check->start(path);
}

void Form1::reportDamage(const QString &reason)
{
    if (m_damageReported)
        return;
    m_damageReported = true;
    // Not another page is written to the file, the index's included.
    stopSearchIndex();

    const QDir dir(m_state.baseDir);
    const QString path = m_data1 ? m_data1->databasePath() : dir.filePath(QStringLiteral("veltra.mdb"));
    const QString backup = dir.filePath(kBackupName);
    const QString backupAdvice =
        QFileInfo::exists(backup)
            ? QStringLiteral("%1 is the message database as it was before the last compaction. Messages stored "
                             "since then are not in it.").arg(QDir::toNativeSeparators(backup))
            : QStringLiteral("There is no %1 (the copy a compaction keeps of the database before it) in this folder.")
                  .arg(kBackupName);
    // Found at opening, the damage leaves nothing to show until the messages are rescued.
    const QString meanwhile =
        m_data1 ? QStringLiteral("Nothing more will be written to it, so nothing more is lost: updates, edits and "
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
                    QMessageBox::NoButton, this);
    QPushButton *rescue = box.addButton(QStringLiteral("&Rescue Messages"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("&Not Now"), QMessageBox::RejectRole);
    box.setDefaultButton(rescue);
    box.exec();
    if (box.clickedButton() == rescue)
        rescueDatabase();
}
