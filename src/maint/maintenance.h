// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"

#include <QObject>
#include <QString>

#include <functional>

class BrowserPane;
class BusyStates;
class EventYield;
class MessageArchive;
class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;
class Recordset;
class ResultsPanel;
class StatusStrip;
class Viewer;
class WalkCursor;
namespace Compaction { struct Result; }

// Maintenance: the deletion flags (the message's, every listed message's, the list of
// flagged ones), the deletion panel with deleting and compacting, the restart after a
// compaction, and what the user is told and asked about the database: opening it, its
// damage, and the rescue of its messages.
class Maintenance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Maintenance)

public:
    struct Controls
    {
        QToolButton *CmdMarkDelete;
        QToolButton *CmdMarkRange;
        QToolButton *cmdCheckDelete;
        QLabel *PicTrash;
        QLabel *PicSave;
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

    // The "no warning" box of the deletion panel, as the settings file keeps it (0, 1, 2).
    int noWarning() const;
    void setNoWarning(int value);
    // The deletion menu item goes with the knowledge-base panel; hiding that hides the panel.
    void setDeletionMenuEnabled(bool enabled);
    void hideDeletionPanel();
    // The busy state: off takes the flag buttons away; on gives back the flagged list's
    // button, and the range button while the list holds entries.
    void enableKnowledgeBase(bool on);
    // The flag command's key: the shown message flagged or unflagged, as the button does
    // while it is on.
    void flagShownMessage();

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
    void CmdMarkDelete_Click();
    void CmdMarkRange_Click();
    void cmdCheckDelete_Click();
    // The flag button's tool tip reads "to" after its own click, "from" after a rendering.
    enum class MarkWording { To, From };
    void setMarkDeleteMarked(bool marked, MarkWording wording);
    // CmdMarkRange shows PicTrash's picture and tool tip (listed messages flagged) or PicSave's.
    void setMarkRangeMarked(bool marked);
    bool markRangeShowsSave() const;
    void reportMarkFailure(const QString &what, const QString &reason);
    // The walk over the records whose messdate holds "-1" that listing and deleting flagged
    // messages share: busy state, label, one find per visit, yields, interruption. `visit`
    // returns false to end the walk. Returns why a find failed, if one did.
    void showFlaggedListing(int count, const QString &failure);
    QString walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit);
    // A walk's paced yield on the user's place; false when the database was closed or replaced meanwhile.
    static bool yieldInWalk(EventYield &yield, WalkCursor &walk);

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

    QToolButton *CmdMarkDelete;
    QToolButton *CmdMarkRange;
    QToolButton *cmdCheckDelete;
    QLabel *PicTrash;
    QLabel *PicSave;
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
