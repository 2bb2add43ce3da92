// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/messagearchive.h"
#include "config/appconfig.h"

#include <QObject>
#include <QString>

#include <functional>

class BrowserPane;
class BusyStates;
class QAction;
class QCheckBox;
class QPushButton;
class QWidget;
class Recordset;
class ResultsPanel;
class StatusStrip;
class Viewer;
namespace Compaction { struct Result; }

// Maintenance: the deletion panel with deleting and compacting (deletionpanel.cpp), the
// restart after a compaction, and what the user is told and asked about the database:
// opening it, its damage, and the rescue of its messages (maintenance.cpp).
class Maintenance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Maintenance)

public:
    struct Controls
    {
        QAction *MenuFileNewDatabase;
        QAction *MnuDelete;
        QWidget *PicDeleteMarked;
        QPushButton *CmdDelExit;
        QPushButton *CmdDeleteMarked;
        QPushButton *CmdCompact;
        QCheckBox *ChkNoWarn;
    };

    Maintenance(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results, BrowserPane *pane,
                StatusStrip *status, BusyStates *busy, const AppConfig &config, QWidget *window);

    // Opens the data folder's database, asking what to do when there is none and telling
    // why when it cannot be opened.
    void openDatabase();
    // Opens the data folder's database where none is open, making an empty one when there
    // is no file; the caller has asked. The window then shows it as at start-up. True when
    // a database is open after.
    bool newDatabase();
    // With no database open and no file in its place, asks (`why` leads the question)
    // whether to make an empty one, and does on Yes. True when a database is open after.
    bool offerNewDatabase(const QString &why);

    // The "no warning" box of the deletion panel, as the settings file keeps it (0, 1, 2).
    int noWarning() const;
    void setNoWarning(int value);
    // The deletion menu item goes with the knowledge-base panel; hiding that hides the panel.
    void setDeletionMenuEnabled(bool enabled);
    void hideDeletionPanel();

    // Tests stand in for the companion that starts the program again after a compaction;
    // it returns false, with the reason, when it could not be started.
    void setRestarter(std::function<bool(QString *reason)> restarter);

signals:
    // The companion is waiting: the program must end now.
    void endRequested();
    void deletionPanelOpened();
    // Flagged messages were deleted: the search index lets go of them in the background.
    void messagesDeleted();

private:
    // The walk over the records whose messdate holds "-1" that deleting flagged messages
    // takes: busy state, label, one find per visit, yields, interruption. `visit` returns
    // false to end the walk. Returns why a find failed, if one did.
    QString walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit);

    // Tells what came of an opening, making the database where there was none. True when
    // it is open.
    bool finishOpening(MessageArchive::Opening &opening);
    // `question` names the database's path with %1; Yes is the default.
    bool askToCreate(const QString &question);
    void MenuFileNewDatabase_Click();
    void updateNewDatabaseMenu();
    void MnuDelete_Click();
    void CmdDelExit_Click();
    void CmdDeleteMarked_Click();
    void CmdCompact_Click();
    void setDeletionPanelEnabled(bool enabled);
    bool startRestarter(QString *reason);
    // Opens the database again after it was taken alone, with the counts and the slider.
    void reopenDatabase();
    void reportDamage(const QString &reason);
    void rescueDatabase();
    // Work that keeps the window waiting (a compaction, a rescue) shows how far it is on the
    // status strip's bar, which is painted at once; it is hidden again by hideWorkProgress.
    std::function<void(qint64 done, qint64 total)> showWorkProgress(const QString &what);
    void hideWorkProgress();
    // Tells why a compaction did not end with a restart; `result` is the compaction's, or
    // stands for the lock or the damage that kept it from running.
    void compactionFailed(const Compaction::Result &result);
    QString compactionFailureText(const Compaction::Result &result) const;

    QAction *MenuFileNewDatabase;
    QAction *MnuDelete;
    QWidget *PicDeleteMarked;
    QPushButton *CmdDelExit;
    QPushButton *CmdDeleteMarked;
    QPushButton *CmdCompact;
    QCheckBox *ChkNoWarn;
    QWidget *m_window;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    ResultsPanel *m_results;
    BrowserPane *m_pane;
    StatusStrip *m_status;
    BusyStates *m_busy;
    AppConfig m_config;
    bool m_openedOnce = false; // openings after the first (a rescue's, a compaction's) are no start-up
    std::function<bool(QString *reason)> m_restarter;
};
