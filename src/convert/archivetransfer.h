// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"
#include "convert/jetconverter.h"

#include <QObject>

#include <optional>

class BrowserPane;
class MessageArchive;
class QAction;
class QProgressDialog;
class QWidget;
class ResultsPanel;

// Bringing the archive in and taking it out, in the window: the offer at start-up to
// convert the earlier program's Access database (choosing its table and columns when it
// has no table "veltra"), and File > Export Messages. The work is
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
    // The file has no table "veltra": the user chooses a table and its columns, or
    // nullopt (told why) when there is none to choose or the choice is cancelled.
    std::optional<JetColumns> chooseTable(const JetConverter &converter, const QString &why);
    // Converts the folder's Access database with a progress dialog; false, the user told
    // why, when it is left as it is.
    bool convert(const JetConverter &converter, const JetColumns &columns);
    // A progress dialog of the window's, with Cancel, shown at once.
    QProgressDialog *progressDialog(const QString &label);
    void leftAsItIs(const QString &why);
    // Says why the Access database cannot be converted and that it is left as it is.
    void cannotBeConverted(const QString &why);

    QAction *MenuFileExport;
    MessageArchive *m_archive;
    ResultsPanel *m_results;
    BrowserPane *m_pane;
    AppConfig m_config;
    QWidget *m_window;
};
