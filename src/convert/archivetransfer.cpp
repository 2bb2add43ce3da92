// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/archivetransfer.h"

#include "widgets/apptitle.h"
#include "archive/messagearchive.h"
#include "browser/browserpane.h"
#include "convert/jetconverter.h"
#include "convert/jettablechoice.h"
#include "convert/mboxexport.h"
#include "results/resultspanel.h"

#include <QAction>
#include <QWidget>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <memory>

namespace {

const QString kAccessIntro = QStringLiteral("The message database %1 is a Microsoft Access database, as the earlier "
                                            "program kept its archive.");

}

ArchiveTransfer::ArchiveTransfer(const Controls &controls, MessageArchive *archive, ResultsPanel *results, BrowserPane *pane,
                                 const AppConfig &config, QWidget *window)
    : QObject(window)
    , MenuFileExport(controls.MenuFileExport)
    , m_archive(archive)
    , m_results(results)
    , m_pane(pane)
    , m_config(config)
    , m_window(window)
{
    connect(MenuFileExport, &QAction::triggered, this, &ArchiveTransfer::MenuFileExport_Click);
}

QProgressDialog *ArchiveTransfer::progressDialog(const QString &label)
{
    auto *dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 0, m_window);
    dialog->setWindowTitle(kAppTitle);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    dialog->setMinimumDuration(0);
    dialog->show();
    return dialog;
}

void ArchiveTransfer::leftAsItIs(const QString &why)
{
    const QString database = QDir::toNativeSeparators(m_archive->databasePath());
    QMessageBox::information(
        m_window, kAppTitle,
        why + QStringLiteral("The Access database %1 has been left as it is, and the program runs without messages.\n\n"
                             "To convert it later, start the program again in this folder and answer Yes, or run "
                             "this in the folder:\nveltra-kb --convert-jet veltra.mdb")
                  .arg(database));
}

void ArchiveTransfer::cannotBeConverted(const QString &why)
{
    QMessageBox::warning(m_window, kAppTitle,
                         kAccessIntro.arg(QDir::toNativeSeparators(m_archive->databasePath()))
                             + QStringLiteral(" It cannot be converted:\n\n%1\n\nIt has been left as it is. The "
                                              "program runs without messages.")
                                   .arg(why));
}

bool ArchiveTransfer::convertAtStartUp()
{
    const QString database = m_archive->databasePath();
    if (!JetConverter::looksLikeAccess(database))
        return true;
    const QString shown = QDir::toNativeSeparators(database);
    JetConverter converter(m_config.jetReader);
    const JetColumns columns;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const JetConverter::Result probed = converter.probe(database, columns);
    QGuiApplication::restoreOverrideCursor();
    if (probed.missingTable) {
        const std::optional<JetColumns> chosen = chooseTable(converter, probed.reason);
        return chosen && convert(converter, *chosen);
    }
    if (probed.status != JetConverter::Status::Ready) {
        cannotBeConverted(probed.reason);
        return false;
    }
    const auto answer = QMessageBox::question(
        m_window, kAppTitle,
        kAccessIntro.arg(shown)
            + QStringLiteral(" Its table \"veltra\" holds %1 messages.\n\nConvert it into this program's message "
                             "database now? The Access file is kept, unchanged, as %2.")
                  .arg(probed.messages)
                  .arg(QLatin1String(JetConverter::kKeptJet)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        leftAsItIs({});
        return false;
    }
    return convert(converter, columns);
}

std::optional<JetColumns> ArchiveTransfer::chooseTable(const JetConverter &converter, const QString &why)
{
    const QString database = m_archive->databasePath();
    const QString shown = QDir::toNativeSeparators(database);
    QString reason;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<QList<JetTable>> tables = converter.tables(database, &reason);
    QGuiApplication::restoreOverrideCursor();
    const bool choosable = tables && std::any_of(tables->begin(), tables->end(), [](const JetTable &table) {
        return !table.fieldColumns().isEmpty();
    });
    if (!choosable) {
        cannotBeConverted(tables ? why : reason);
        return std::nullopt;
    }
    JetTableChoice choice(kAccessIntro.arg(shown)
                              + QStringLiteral(" It has no table \"veltra\". Choose the table that holds the messages "
                                               "and the column each field comes from, and convert it into this "
                                               "program's message database. The Access file is kept, unchanged, as %1.")
                                    .arg(QLatin1String(JetConverter::kKeptJet)),
                          *tables, m_window);
    if (choice.exec() != QDialog::Accepted) {
        leftAsItIs({});
        return std::nullopt;
    }
    return choice.chosen();
}

bool ArchiveTransfer::convert(const JetConverter &converter, const JetColumns &columns)
{
    const std::unique_ptr<QProgressDialog> dialog(progressDialog(QStringLiteral("Converting the Access database...")));
    const auto progress = [&](const JetConverter::Progress &p) {
        dialog->setMaximum(int(std::max(p.expected, p.done)));
        dialog->setLabelText(QStringLiteral("Converting the Access database: %1 of %2 messages").arg(p.done).arg(p.expected));
        dialog->setValue(int(p.done));
        return !dialog->wasCanceled();
    };
    const JetConverter::Result result = converter.convert(m_archive->databasePath(), m_archive->folder(), columns, progress);
    dialog->close();
    switch (result.status) {
    case JetConverter::Status::Converted:
        break;
    case JetConverter::Status::Cancelled:
        leftAsItIs(QStringLiteral("The conversion was cancelled. "));
        return false;
    case JetConverter::Status::Ready:
    case JetConverter::Status::Refused:
    case JetConverter::Status::Failed:
        QMessageBox::warning(m_window, kAppTitle,
                             QStringLiteral("The Access database could not be converted:\n\n%1\n\nIt has been left as "
                                            "it is, and nothing of the new database was kept. The program runs "
                                            "without messages.")
                                 .arg(result.reason));
        return false;
    }
    if (const QString warning = JetConverter::unreadableNumbersText(result.unreadableNumbers); !warning.isEmpty())
        QMessageBox::information(m_window, kAppTitle, warning);
    m_pane->addFirstMessageNotice(QStringLiteral(" Converted %1 messages from the Access database, kept as %2.")
                                      .arg(result.messages)
                                      .arg(QLatin1String(JetConverter::kKeptJet)));
    return true;
}

void ArchiveTransfer::MenuFileExport_Click()
{
    if (!m_archive->recordset()) {
        QMessageBox::information(m_window, kAppTitle, QStringLiteral("There is no message database to export from."));
        return;
    }
    // The messages listed, when a list is shown; otherwise the whole archive.
    std::optional<QSet<qint64>> numbers;
    const int listed = m_results->resultCount();
    if (listed > 0) {
        numbers.emplace();
        for (const qint32 n : m_results->listedNumbers())
            numbers->insert(n);
    }
    const QString target = QFileDialog::getSaveFileName(
        m_window,
        listed > 0 ? QStringLiteral("Export the %1 Listed Messages").arg(listed) : QStringLiteral("Export All Messages"),
        QDir(m_archive->folder()).filePath(QStringLiteral("veltra.mbox")),
        QStringLiteral("Mailbox files (*.mbox);;All files (*)"));
    if (target.isEmpty())
        return;

    const std::unique_ptr<QProgressDialog> dialog(progressDialog(QStringLiteral("Exporting messages...")));
    const auto progress = [&](const MboxExport::Progress &p) {
        dialog->setMaximum(int(p.total));
        dialog->setLabelText(QStringLiteral("Exporting messages: %1 of %2 read").arg(p.done).arg(p.total));
        dialog->setValue(int(p.done));
        return !dialog->wasCanceled();
    };
    const MboxExport::Result result = MboxExport::write(m_archive->databasePath(), target, numbers, progress);
    dialog->close();
    switch (result.status) {
    case MboxExport::Status::Exported:
        QMessageBox::information(m_window, kAppTitle, MboxExport::doneText(result.messages, target));
        break;
    case MboxExport::Status::Cancelled:
        break;
    case MboxExport::Status::Failed:
        QMessageBox::warning(m_window, kAppTitle,
                             QStringLiteral("The messages could not be exported:\n\n%1\n\nNothing was written to %2.")
                                 .arg(result.reason, QDir::toNativeSeparators(target)));
        break;
    }
}
