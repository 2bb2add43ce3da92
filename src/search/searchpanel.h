// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"

#include <QObject>
#include <QStringList>

class Browser;
class BrowserPane;
class BusyStates;
class MessageArchive;
class QAction;
class QComboBox;
class QListWidget;
class QPushButton;
class QWidget;
class ResultsPanel;
class Viewer;

// The search part: the search box (Combo1) and CmdGo, the search options, the run, the
// history, and the highlighting of a hit's words with F3. It lists its hits through the
// results part. Its files, one concern each: searchpanel.cpp (the run, the box and the
// history), searchoptions.cpp (the options and their settings lines) and hithighlight.cpp
// (the hit's words in the page, F3).
class SearchPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchPanel)

public:
    struct Controls
    {
        QComboBox *Combo1;
        QPushButton *CmdGo;
        QListWidget *ListSort; // the history's scratch copy, sorted
        QAction *MenuSearchAuthor;
        QAction *MenuSearchBody;
        QAction *MenuSearchTitle;
        QAction *MenuKeyPreface;
        QAction *MenuKeyAppend;
        QAction *MenuKeyBracket;
        QAction *MenuKeyNone;
        QAction *MenuKeyWords; // whole words, beside the four wildcard modes
        QAction *MenuOptionsInterrupt;
    };

    SearchPanel(const Controls &controls, MessageArchive *archive, Viewer *viewer, BrowserPane *pane, Browser *web1,
                ResultsPanel *results, BusyStates *busy, const AppConfig &config, QWidget *window);
    ~SearchPanel() override;

    // keyAscii is the character code of the key; Enter (13) with a term runs the search.
    void Combo1_KeyPress(int keyAscii);
    bool isRunning() const;
    // Neither searching nor held by a busy state: the box takes a term.
    bool takesInput() const;
    // F3: the next occurrence of the last search's words in the hit shown.
    void FindNextHit();
    // The list holds no search's hits any more: F3 has no words to find.
    void forgetHitWords();
    // The busy state switches the box and its button with the knowledge-base controls.
    void enableKnowledgeBase(bool on);

    // The settings file's search field and wildcard lines.
    QString searchFieldLine() const;
    QString wildcardLine() const;
    void applySearchField(const QString &line);
    void applyWildcard(const QString &line);
    // Whole words (Options > Search With Wildcard > Whole Words), kept in Preferences.ini.
    void setWholeWords(bool on);
    bool wholeWords() const;

    QStringList historyEntries() const;
    void loadHistory(const QStringList &entries);
    // The drop-down list (and ListSort) replaced, the box's text emptied.
    void replaceHistory(const QStringList &entries);
    // Into the search box, its text selected, ready to be typed over.
    void focusSearchBox();

signals:
    // A search ran: the substring index is checked (built anew when it failed).
    void searched();

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
    void MenuKeyWords_Click();
    void checkWildcard(QAction *chosen);
    void MenuOptionsInterrupt_Click();
    bool Combo1_Search(int *flaggedCount); // false when the search ended early
    // The steps of a search: the term read (an early end gives the box back), the
    // criteria, the walk, and the end.
    bool searchRefused(const QString &text, bool hadFocus);
    bool showNumberDirectly(const QString &savedCaption);
    void searchEnded(bool overLimit, const QString &failure);
    void Combo1_SearchNoMatch(const QString &savedCaption, const QString &text);
    void Combo1_ClosingSteps(int flaggedCount);
    void recordSearchTerm();
    void sendEnterKey();

    // A hit from the result list is on its way into the page; once there, its words are
    // highlighted by the browser's find, and F3 moves through them.
    void searchHitShown();
    void searchPageStarting(const QString &url);
    void highlightSearchHit();
    void web1_FindTextResult(int matches, int active);

    QComboBox *Combo1;
    QPushButton *CmdGo;
    QListWidget *ListSort;
    QAction *MenuSearchAuthor;
    QAction *MenuSearchBody;
    QAction *MenuSearchTitle;
    QAction *MenuKeyPreface;
    QAction *MenuKeyAppend;
    QAction *MenuKeyBracket;
    QAction *MenuKeyNone;
    QAction *MenuKeyWords;
    QAction *m_wildcard = nullptr; // the wildcard mode chosen last, kept while whole words are on
    QAction *MenuOptionsInterrupt;
    QWidget *m_window;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    BrowserPane *m_pane;
    Browser *m_web1;
    ResultsPanel *m_results;
    BusyStates *m_busy;
    AppConfig m_config;

    qint32 searchMsgNum = 0;
    bool m_combo1Forwarding = false;    // a key typed into the box's edit field is passed to the box
    bool m_searchRunning = false;       // Combo1_KeyPress is on the stack
    // The last search's words as a hit shows them, and which of them F3 finds in the page.
    QStringList m_hitTexts;
    int m_hitIndex = 0;
    bool m_highlightPending = false;    // a hit is about to be shown
    bool m_highlightArmed = false;      // the page now loading is that hit
    int m_findMatches = 0;              // the page's answer to the last find
    int m_findActive = 0;
};
