// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class BrowserPane;
class BusyStates;
class MessageArchive;
class QLabel;
class QToolButton;
class ResultsPanel;
class Viewer;

// Deletion flags: the flag button of the message in view (CmdMarkDelete), the walk that
// flags or unflags every listed message (CmdMarkRange, its picture taken from PicTrash or
// PicSave), and the list of every flagged message (cmdCheckDelete).
class FlagCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlagCommands)

public:
    struct Controls
    {
        QToolButton *CmdMarkDelete;
        QToolButton *CmdMarkRange;
        QToolButton *cmdCheckDelete;
        QLabel *PicTrash;
        QLabel *PicSave;
    };

    FlagCommands(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results,
                 BrowserPane *pane, BusyStates *busy, QObject *parent);

    // The busy state: off takes the flag buttons away; on gives back the flagged list's
    // button, and the range button while the list holds entries.
    void enableKnowledgeBase(bool on);
    // The flag command's key: the shown message flagged or unflagged, as the button does
    // while it is on.
    void flagShownMessage();

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
    void showFlaggedListing(int count, const QString &failure);

    QToolButton *CmdMarkDelete;
    QToolButton *CmdMarkRange;
    QToolButton *cmdCheckDelete;
    QLabel *PicTrash;
    QLabel *PicSave;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    ResultsPanel *m_results;
    BusyStates *m_busy;
};
