#pragma once

#include "app/appconfig.h"
#include "app/settingsfile.h"
#include "maint/databaselock.h"
#include "store/searchindex.h"
#include "update/updateengine.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

class Browser;
class EventYield;
class QAction;
class QComboBox;
class QTimer;
class Recordset;
namespace Compaction { struct Result; }
namespace Ui { class Form1; }

// The title of the program's message boxes.
inline const QString kAppTitle = QStringLiteral("Veltra KnowledgeBase");

// Form-level state, under the names the program has always used for it.
struct FormState
{
    QString baseDir;             // data folder: the current directory at start-up
    bool formLoading = false;    // Form_Resize does nothing while true
    bool displayEnabled = false; // TryToDisplay renders only while true
    qint32 msgCount = 0;
    qint32 lastMsgNum = 0;
    QString shownMsgNum;
    bool updateRunning = false;
    bool stopUpdateRequested = false;
    qint32 serverLastMsgNum = 0;
    qint32 sliderMsgNum = 0;
    qint32 listMsgNum = 0;
    bool listSyncing = false;
    bool h1DownHeld = false;
    bool h1UpHeld = false;
    bool h2DownHeld = false;
    bool h2UpHeld = false;
    qint32 searchMsgNum = 0;
    bool interruptFlag = false;
    qint16 lastWindowState = 0;
    bool backWasOn = false;
    bool forwardWasOn = false;
    bool refreshWasOn = false;
    QString pendingUrl;
    QString completedUrl;
    QString statusOverride;
    bool addressNavPending = false;
    QString editList;
};

// The program's one window. Its controls come from form1.ui with each widget named after
// the control; the event procedures keep their traditional names.
class Form1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    // Takes ownership of the browser. Runs Form_Load; the window is not shown yet.
    Form1(const AppConfig &config, Browser *browser, QWidget *parent = nullptr);
    ~Form1() override;

    // Shows the window in the state the settings file asked for.
    void showAsLoaded();

    FormState &state();
    const AppConfig &config() const;
    Recordset *recordset() const; // null when the message database could not be opened
    Browser *web1() const;

    // Busy states: they only switch the Enabled property of fixed sets of controls.
    void EnableOff();
    void EnableOn();
    void EnableWebOff();
    void EnableWebOn();

    // Closing a window runs this through closeEvent; exposed so exit commands and tests
    // can save without closing. Returns false (after telling the user) when a file failed.
    bool Form_Unload();

    // The update run and its schedule (update/updating.cpp). The run goes on from the
    // event loop after updateDB returns; updateRunning tells when it has ended.
    void updateDB();
    // Tests replace the clock the quarter-hour schedule reads and the fetch timeout.
    void setClock(std::function<QDateTime()> clock);
    void setFetchTimeout(int milliseconds);

    // Tests stand in for the companion that starts the program again after a compaction;
    // it returns false, with the reason, when it could not be started.
    void setRestarter(std::function<bool(QString *reason)> restarter);

    // Rendering the current record into the message page (view/rendering.cpp).
    void TryToDisplay();

    // The search (search/searchrun.cpp); keyAscii is the character code of the key.
    void Combo1_KeyPress(int keyAscii);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    // The panels fitted to the client area; `toggled` for the relayout after CmdUpDown.
    void layoutPanels(bool toggled);
    void CmdUpDown_Click();
    // Tab goes through the controls a user works with, in reading order.
    void setTabOrderChain();
    void openDatabase();
    bool m_openedOnce = false; // openings after the first (a rescue's, a compaction's) are no start-up
    // app/damagewarning.cpp: a damaged message database is reported once and written no more.
    void watchForDamage();
    void reportDamage(const QString &reason);
    bool m_damageReported = false;
    void readListsAndSettings();
    void applySettings(const SettingsValues &values, int count);
    void Timer2_Timer();
    void txtBlank_GotFocus();
    void MenuFileExit_Click();
    // Closes the window (saving as every exit does) and ends the program.
    void endProgram();
    static void setTimerEnabled(QTimer *timer, bool enabled);

    // app/tray.cpp: the tray and the exit paths
public:
    // A logout's signal (SIGTERM, SIGHUP, SIGINT) ends the program the way E&xit does.
    void sessionEnding();
    // Tests answer in place of the desktop whether a tray is there to take the icon.
    void setTrayAvailability(std::function<bool()> available);
private:
    void connectTray();
    void MnuMinTray_Click();
    void MnuShow_Click();
    void MnuExit_Click();
    void MnuClose_Click();
    // Form_Resize's step for a minimised window: into the tray when the option is checked.
    void goToTray();
    // Takes the icon away and puts back the window state from before minimising, unshown.
    void leaveTray();
    // The tray went away while it held the window: the window is shown again.
    void trayHostChanged();
    bool trayAvailable() const;
    // closeEvent asks before Form_Unload: false once the files have been written, so
    // however many ways out come together they are written once.
    bool beginUnload();
    class QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *MnuPopup = nullptr;
    std::function<bool()> m_trayAvailability;
    bool m_trayMissingReported = false;
    bool m_unloadBegun = false;

    // Each subsystem connects its own controls and may look at events first; a filter
    // returns true to consume the event.
    void connectUpdating();
    void connectViewing();
    void connectSearching();
    void connectBrowsing();
    void connectAddressBar();
    void connectPageCommands();
    // app/shortcuts.cpp: the usual keys for commands whose menus and buttons have none.
    void connectShortcuts();
    bool viewEventFilter(QObject *watched, QEvent *event);
    bool searchEventFilter(QObject *watched, QEvent *event);
    bool browserEventFilter(QObject *watched, QEvent *event);
    // Each menu item's click to its handler.
    void connectMenus(std::initializer_list<std::pair<QAction *, void (Form1::*)()>> menus);
    // A menu item with a check mark whose handler sets the mark itself: the action's own
    // toggle is undone before the handler runs.
    void connectCheckMark(QAction *action, void (Form1::*handler)());
    static QStringList comboEntries(const QComboBox *combo);
    // A combo box the user types into: its keys reach the window's filters, and `click`
    // runs for picks from its open drop-down only.
    void connectTypedBox(QComboBox *box, void (Form1::*click)());

    // update/updating.cpp
    bool updateEventFilter(QObject *watched, QEvent *event);
    void updateNewestRead(qint32 newest, const QString &line, qint32 after);
    void updateNumberHandled(qint32 number, bool stored);
    void updateFinished(const UpdateEngine::Outcome &outcome);
    void endUpdateRun(const QString &status);
    // Ends a running update at once, keeping what it stored.
    void cancelUpdate(const QString &why);
    void MnuUpdateNow_Click();
    void MnuUpdateAuto_Click();
    void MnuStopUpdate_Click();
    void Timer1_Timer();

    // view/rendering.cpp and view/navigation.cpp
    void MenuViewOriginal_Click();
    void H1Down_MouseDown();
    void H1Up_MouseDown();
    void H2Down_MouseDown();
    void H2Up_MouseDown();
    void H1Down_MouseUp();
    void H1Up_MouseUp();
    void H2Down_MouseUp();
    void H2Up_MouseUp();
    void Timer3_Timer();
    void hscroll1_Change();
    void hscroll1_Scroll();
    void hscroll2_Change();
    void hscroll2_Scroll();
    void List1_Click();
    void List1_KeyPress(int keyAscii);

    // search/searchrun.cpp and search/searchoptions.cpp
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

    // search/searchindexing.cpp: the substring index kept up in the background
    void startSearchIndex(SearchIndexBuilder::Task task);
    void stopSearchIndex();
    void searchIndexProgress(qint64 done, qint64 total);
    void searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail);
    // After a search or an update: an index that failed is built anew (once a session),
    // and one that lacks the newest messages takes them in.
    void checkSearchIndex();
    QPointer<SearchIndexBuilder> m_searchIndexBuilder;
    QString m_indexProgressText; // what the status line shows for the build, while it does
    QString m_statusBeforeIndex; // what it showed before, to be put back
    bool m_searchIndexRebuilt = false;
    bool m_searchIndexChecked = false; // the index of the database open now passed its check

    // browser/browserevents.cpp: the browser's ten notifications
    void web1_BeforeNavigate2(const QString &url);
    void web1_NavigateComplete2(const QString &url);
    void web1_DocumentComplete(const QString &url);
    void web1_DownloadComplete();
    void web1_NavigateError(const QString &url, const QString &reason);
    void web1_StatusTextChange(const QString &text);
    void web1_ProgressChange(int progress, int progressMax);
    void web1_CommandStateChange(int command, bool enable);
    void web1_NewWindow2();
    void web1_SetSecureLockIcon(int level);
    // True for the message page's own file.
    bool isMessagePageUrl(const QString &url) const;

    // browser/addressbar.cpp
    void Combo2_Click();
    void Combo2_KeyPress(int keyAscii);
    void CmdBack_Click();
    void CmdForward_Click();
    void CmdStop_Click();
    void CmdRefresh_Click();
    void CmdHome_Click();
    void cmdYahoo_Click();
    void CmdReg_Click();
    void CmdManuals_Click();
    void MnuKBNews_Click();
    void MenuHelpAbout_Click();
    void MenuHelpContents_Click();
    void MnuOptionsStartPage_Click();
    struct FixedPage
    {
        QString address;
        bool addressNavPending; // recorded in the address list once loaded
        bool enableOff;
        bool timer2;            // hands the focus to the page afterwards
    };
    void openFixedPage(const FixedPage &page);

    // browser/pagecommands.cpp
    void MenuFilePrint_Click();
    void MenuFileSaveAs_Click();
    void MnuPageSetup_Click();
    void MnuPrintPreview_Click();
    void MnuFind_Click();

    // maint/marking.cpp: deletion marks
    void connectMarking();
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
    QString walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit);
    // A walk's paced yield; the cursor goes back to where the walk stood. False when the
    // database was closed or replaced meanwhile.
    bool yieldInWalk(EventYield &yield, Recordset *rs);

    // maint/deletionpanel.cpp: deleting flagged messages and compacting
    void connectDeletionPanel();
    void MnuDelete_Click();
    void CmdDelExit_Click();
    void CmdDeleteMarked_Click();
    void CmdCompact_Click();
    void setDeletionPanelEnabled(bool enabled);
    // msgCount and lastMsgNum from the table; false without a database.
    bool countMessages();
    // "n Messages" + lastLabel + the last message number, as the status label shows them.
    QString messageCountText(const QString &lastLabel) const;
    bool startRestarter(QString *reason);
    // Closes this copy's connection once no other copy has the database open (the lock
    // is then held alone); false, with the reason, otherwise.
    bool takeDatabaseAlone(QString *reason);
    // Opens the database again after it was taken alone, with the counts and the slider.
    void reopenDatabase();
    // Saves what can be read from a damaged database into a new one put in its place.
    void rescueDatabase();
    // Tells why a compaction did not end with a restart; `result` is the compaction's, or
    // stands for the lock or the damage that kept it from running.
    void compactionFailed(const Compaction::Result &result);
    QString compactionFailureText(const Compaction::Result &result) const;
    // At start-up, beside a sound database: removes the copy a killed compaction left, and
    // says so in the status line over the first message shown.
    void removeCompactionLeftovers();
    std::function<bool(QString *reason)> m_restarter;

    // lists/listeditor.cpp: the history and address list editor
    void connectListEditor();
    void MnuEditHistory_Click();
    void MnuClearHistory_Click();
    void MnuEditAddress_Click();
    void MnuClearAddress_Click();
    void LstEdit_Click();
    void Text1_Change();
    void Command2_Click();
    void CmdDelete_Click();
    void cmdSaveExit_Click();
    void CmdExit_Click();
    // Opens the panel on a copy of the box's drop-down list; nothing for an empty list.
    void openListEditor(const QComboBox *source, const QString &which);
    // The drop-down lists (and ListSort for the history) replaced, their texts emptied.
    void replaceHistory(const QStringList &entries);
    void replaceAddressList(const QStringList &entries);

    // ---- message viewing (view/rendering.cpp, view/navigation.cpp) ----
    QString messagePagePath() const;
    // True while the message page on disk is still the one last rendered, for `messnum`.
    bool messagePageShows(qint32 messnum) const;
    // Finds the message by number from the first record and renders it; a number without
    // a message renders nothing and leaves the cursor on the first record.
    void showMessageNumber(qint32 messnum);
    void hscroll2_Select(int index);
    void List1_SelectionChanged();
    int selectedResultRow() const;
    QByteArray m_shownPage;      // bytes of the message page last written
    int m_list1PressedRow = -1;  // selected entry a mouse press landed on, for its click

    // search/searchrun.cpp and search/searchoptions.cpp: the halves of Combo1_KeyPress
    // and the Enter key the search commands put into the keyboard input.
    bool Combo1_Search(int *flaggedCount); // false when the search ended early
    void Combo1_SearchNoMatch(const QString &savedCaption, const QString &text);
    void Combo1_ClosingSteps(int flaggedCount);
    void recordSearchTerm();
    void sendEnterKey();
    // A hit from the result list is on its way into the page; once there, its words are
    // highlighted by the browser's find, and F3 (FindNextHit) moves through them.
    void searchHitShown();
    void searchPageStarting(const QString &url);
    void highlightSearchHit();
    void FindNextHit();
    void web1_FindTextResult(int matches, int active);
    bool m_combo1Forwarding = false;    // a key typed into the box's edit field is passed to the box
    bool m_searchRunning = false;       // Combo1_KeyPress is on the stack
    // The last search's words as a hit shows them, and which of them F3 finds in the page.
    QStringList m_hitTexts;
    int m_hitIndex = 0;
    bool m_highlightPending = false;    // a hit is about to be shown
    bool m_highlightArmed = false;      // the page now loading is that hit
    int m_findMatches = 0;              // the page's answer to the last find
    int m_findActive = 0;

    std::unique_ptr<Ui::Form1> ui;
    AppConfig m_config;
    Browser *m_web1 = nullptr; // owned through the widget tree
    std::unique_ptr<Recordset> m_data1;
    DatabaseLock m_databaseLock; // held from start-up to the end, exclusive while compacting
    QString m_readOnlyNotice;    // shown over the first message when the database is read-only
    FormState m_state;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *Timer3 = nullptr;
    qint16 m_loadedWindowState = 0;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
    int m_fetchTimeout = 30000;
    UpdateEngine *m_updateEngine = nullptr; // the running update, if any
};
