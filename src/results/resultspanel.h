// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/resultlist.h"
#include "results/resultmodel.h"
#include "results/resulttable.h"
#include "store/recordset.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class BrowserPane;
class MessageArchive;
class QLabel;
class QScrollBar;
class QWidget;
class Viewer;
class WalkCursor;
struct MessageRecord;

// The results part: the result list (List1) with its slider (hscroll2), the label above it
// (lblResults) and the slider's frame (HPic2). Picking an entry shows its message, and the
// slider and the selection follow each other. The search, the flagged list, the
// conversations and the export list into it and read it through this part; one walk
// (resultwalk.cpp) lists the finds of them all, and the Interrupt command stops it.
// The file resultwalk.cpp holds that walk; this class's other concerns are here.
class ResultsPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultsPanel)

public:
    struct Controls
    {
        ResultTable *List1;
        QScrollBar *hscroll2;
        QLabel *lblResults;
        QWidget *HPic2;
    };

    ResultsPanel(const Controls &controls, MessageArchive *archive, Viewer *viewer, BrowserPane *pane,
                 QWidget *window);
    ~ResultsPanel() override;

    // ---- walks ----
    struct Walked
    {
        int listed = 0;           // entries in the list at the end
        int flagged = 0;          // of them, flagged for deletion
        bool overLimit = false;   // more finds than the walk may list
        bool interrupted = false; // Options > Interrupt, or the limit
        QString failure;          // the store failed part way
    };
    using Keep = std::function<bool(const MessageRecord &)>;
    // Lists the finds of `criteria` from the walk's record on (itself a find): those `keep`
    // takes (all without it), in batches, its progress on the label, until there is none
    // left, more than `most` are listed, the user interrupts, or the database closes.
    Walked walkFinds(WalkCursor &walk, const QString &criteria, int most, const Keep &keep = {});
    // The front of a walk over the whole table: the list emptied, `text` on the label and
    // painted, then the first find of `criteria` from the first record.
    Recordset::FindResult startWalk(WalkCursor &walk, const QString &text, const QString &criteria);
    // Options > Interrupt, and a close while a walk runs: the walk stops at its next find.
    void requestInterrupt();
    bool interruptRequested() const;
    void clearInterrupt();

    // ---- the list as the parts fill it ----
    void beginWalk(); // the list emptied, the label running
    void endWalk();   // the label done
    void showRunning(const QString &text);
    void setResultsText(const QString &text);
    void clearResults();
    void addHit(const ResultModel::Hit &hit);
    // A walk's listing is shown: the slider reaches its entries, the first is selected.
    void showListed(int count);
    // A search's listing: the slider, the count (over the limit, or with the failure that
    // stopped it), then the first entry selected so that its message shows.
    void showSearchCount(bool overLimit, const QString &failure);
    void selectFirstListed();
    // Hits listed at once, `selectRow` selected without showing it again (it is in view).
    void showHits(std::vector<ResultModel::Hit> hits, int selectRow, qint32 shownNumber, const QString &text);
    // Hits listed at once in number order as a search lists them: the count (over the
    // limit: "Found>5,000"), the slider, the first entry shown.
    void listFound(std::vector<ResultModel::Hit> hits, bool overLimit);
    // A message was read, or all were: unread entries are drawn in bold.
    void readChanged(qint32 messnum);
    void allRead();
    // The listing is complete; allFlagged when every entry is flagged for deletion.
    void announceListed(bool allFlagged);
    void hideResultSlider();
    // The busy state switches the list and its slider with the knowledge-base controls.
    void enableKnowledgeBase(bool on);

    // ---- reading it ----
    int resultCount() const;
    QString resultText(int row) const;
    QList<qint32> listedNumbers() const;
    void selectResult(int row);
    // The row of the entry of the message, -1 when none lists it.
    int rowOf(qint32 messnum) const;
    // One hit on along the results slider (the > and < beside it); nothing at either end.
    void stepResultSlider(int delta);
    // The result list's column widths, kept between runs.
    QList<int> resultColumnWidths() const;
    void setResultColumnWidths(const QList<int> &widths);

signals:
    // An entry was picked and its message is on its way.
    void hitPicked();
    // A listing is complete; allFlagged when every entry is flagged for deletion.
    void listed(bool allFlagged);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void List1_Click();
    void List1_KeyPress(int keyAscii);
    void List1_SelectionChanged();
    void hscroll2_Change();
    void hscroll2_Scroll();
    void hscroll2_Select(int index);
    int selectedResultRow() const;
    void followRow(int row);

    ResultTable *List1;
    QScrollBar *hscroll2;
    QLabel *lblResults;
    QWidget *HPic2;
    ResultModel *m_hits;
    QWidget *m_window;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    BrowserPane *m_pane;

    bool interruptFlag = false;
    qint32 listMsgNum = 0;
    bool listSyncing = false;
    int m_list1PressedRow = -1; // selected entry a mouse press landed on, for its click
};
