// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"

#include <QObject>

class BrowserPane;
class MessageArchive;
class QAction;
class QProgressDialog;
class QWidget;
class ResultsPanel;

// Bringing the archive in and taking it out, in the window: the offer at start-up to
// convert the earlier program's Access database, and File > Export Messages. The work is
// JetConverter's and MboxExport's; this part asks, shows the progress with a Cancel
// button, and tells the outcome.
class ArchiveTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveTransfer)

public:
    struct Controls
    {
        QAction *MenuFileExport;
    };

    ArchiveTransfer(const Controls &controls, MessageArchive *archive, ResultsPanel *results, BrowserPane *pane,
                    const AppConfig &config, QWidget *window);

    // Before the database is opened: when veltra.mdb is an Access database, says so and
    // offers to convert it. False when it is left as it is (the user has been told why):
    // the program then runs without messages.
    bool convertAtStartUp();

private:
    void MenuFileExport_Click();
    // A progress dialog of the window's, with Cancel, shown at once.
    QProgressDialog *progressDialog(const QString &label);
    void leftAsItIs(const QString &why);

    QAction *MenuFileExport;
    MessageArchive *m_archive;
    ResultsPanel *m_results;
    BrowserPane *m_pane;
    AppConfig m_config;
    QWidget *m_window;
};
