// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"
#include "store/conversationindex.h"
#include "store/messagerecord.h"
#include "store/searchindex.h"
#include "store/sqlitestatement.h"
#include "view/resultlist.h"
#include "view/resultlistwidget.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class Browser;
class BrowserPane;
class BusyStates;
class MessageArchive;
class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class ResultListWidget;
class QPushButton;
class QScrollBar;
class QToolButton;
class QWidget;
class StatusStrip;
class Viewer;
namespace Ui { class Form1; }

// The search panel: the search box and CmdGo, the search options, the run, the history,
// the result list with its slider, the highlighting of a hit's words with F3, and the
// upkeep of the substring index the finds use.
class SearchPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchPanel)

public:
    SearchPanel(const Ui::Form1 &ui, MessageArchive *archive, Viewer *viewer, BrowserPane *pane, Browser *web1,
                BusyStates *busy, StatusStrip *status, const AppConfig &config, QWidget *window);
    ~SearchPanel() override;

    // keyAscii is the character code of the key; Enter (13) with a term runs the search.
    void Combo1_KeyPress(int keyAscii);
    bool isRunning() const;
    // Options > Interrupt, and a close while a search runs: the run stops at its next hit.
    void requestInterrupt();
    bool interruptRequested() const;
    // F3: the next occurrence of the last search's words in the hit shown.
    void FindNextHit();

    // The settings file's search field and wildcard lines.
    QString searchFieldLine() const;
    QString wildcardLine() const;
    void applySearchField(const QString &line);
    void applyWildcard(const QString &line);

    QStringList historyEntries() const;
    void loadHistory(const QStringList &entries);
    // The drop-down list (and ListSort) replaced, the box's text emptied.
    void replaceHistory(const QStringList &entries);

    // The result list as the walks of other parts fill and read it.
    void beginWalk(); // the list emptied, the label running
    void endWalk();                           // the label done
    void setResultsText(const QString &text);
    void clearResults();
    int resultCount() const;
    QString resultText(int row) const;
    void selectResult(int row);
    // A walk's listing is shown: the slider reaches its entries, the first is selected.
    void showListed(int count);
    ResultList::Batch resultBatch() const;
    ResultList::Progress resultProgress() const;
    void hideResultSlider();
    // One hit on along the results slider (the > and < beside it); nothing at either end.
    void stepResultSlider(int delta);
    // The result list's column widths, kept between runs.
    QList<int> resultColumnWidths() const;
    void setResultColumnWidths(const QList<int> &widths);
    // Into the search box, its text selected, ready to be typed over.
    void focusSearchBox();

    // After a search or an update: an index that failed is built anew (once a session),
    // and one that lacks the newest messages takes them in.
    void checkSearchIndex();

    // The shown message's conversation listed, as a search's hits are; and the next or
    // previous message of it shown.
    void CmdConversation_Click();
    void stepInConversation(int delta);
    // Builds what conversations are looked up by, when there is anything to build.
    void checkConversationIndex();

signals:
    // A search listed its hits; allFlagged when every one is flagged for deletion.
    void listed(bool allFlagged);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Combo1_Click();
    void CmdGo_Click();
    void MenuSearchAuthor_Click();
    void MenuSearchBody_Click();
    void MenuSearchTitle_Click();
    void MenuKeyPreface_Click();
    void MenuKeyAppend_Click();
    void MenuKeyBracket_Click();
    void MenuKeyNone_Click();
    void MenuOptionsInterrupt_Click();
    bool Combo1_Search(int *flaggedCount); // false when the search ended early
    void Combo1_SearchNoMatch(const QString &savedCaption, const QString &text);
    void Combo1_ClosingSteps(int flaggedCount);
    void recordSearchTerm();
    void sendEnterKey();

    // The result list and its slider.
    void List1_Click();
    void List1_KeyPress(int keyAscii);
    void List1_SelectionChanged();
    void hscroll2_Change();
    void hscroll2_Scroll();
    void hscroll2_Select(int index);
    int selectedResultRow() const;
    std::optional<ResultListWidget::Details> readDetails(qint32 messnum);
    bool listEventFilter(QObject *watched, QEvent *event);

    // A hit from the result list is on its way into the page; once there, its words are
    // highlighted by the browser's find, and F3 moves through them.
    void searchHitShown();
    void searchPageStarting(const QString &url);
    void highlightSearchHit();
    void web1_FindTextResult(int matches, int active);


    void connectConversations(const Ui::Form1 &ui);
    // The message in view and its conversation (the message alone when none can be read,
    // with why in `error`); none while a search runs or nothing is shown.
    struct ShownConversation
    {
        MessageRecord shown;
        std::vector<ConversationIndex::Member> members;
        QString error;
    };
    std::optional<ShownConversation> shownConversation();
    void stopConversationIndex();

    void startSearchIndex(SearchIndexBuilder::Task task);
    void stopSearchIndex();
    void searchIndexProgress(qint64 done, qint64 total);
    void searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail);
    void databaseOpened();

    QComboBox *Combo1;
    QPushButton *CmdGo;
    ResultListWidget *List1;
    QScrollBar *hscroll2;
    QLabel *lblResults;
    QWidget *HPic2;
    QListWidget *ListSort;
    QAction *MenuSearchAuthor;
    QAction *MenuSearchBody;
    QAction *MenuSearchTitle;
    QAction *MenuKeyPreface;
    QAction *MenuKeyAppend;
    QAction *MenuKeyBracket;
    QAction *MenuKeyNone;
    QAction *MenuOptionsInterrupt;
    QToolButton *CmdConversation = nullptr;
    QAction *MnuViewConversation = nullptr;
    QAction *MnuNextInConversation = nullptr;
    QAction *MnuPrevInConversation = nullptr;
    QWidget *m_window;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    BrowserPane *m_pane;
    Browser *m_web1;
    BusyStates *m_busy;
    StatusStrip *m_status;
    AppConfig m_config;

    qint32 searchMsgNum = 0;
    bool interruptFlag = false;
    qint32 listMsgNum = 0;
    bool listSyncing = false;
    int m_list1PressedRow = -1;         // selected entry a mouse press landed on, for its click
    bool m_combo1Forwarding = false;    // a key typed into the box's edit field is passed to the box
    bool m_searchRunning = false;       // Combo1_KeyPress is on the stack
    // The last search's words as a hit shows them, and which of them F3 finds in the page.
    QStringList m_hitTexts;
    int m_hitIndex = 0;
    bool m_highlightPending = false;    // a hit is about to be shown
    bool m_highlightArmed = false;      // the page now loading is that hit
    int m_findMatches = 0;              // the page's answer to the last find
    int m_findActive = 0;

    // Reads an entry's author and date for the list's columns.
    SqliteStatement m_detailsStatement;
    quint64 m_detailsGeneration = 0;

    QPointer<SearchIndexBuilder> m_searchIndexBuilder;
    QPointer<ConversationIndexBuilder> m_conversationBuilder;
    bool m_searchIndexRebuilt = false;
    bool m_searchIndexChecked = false; // the index of the database open now passed its check
};
