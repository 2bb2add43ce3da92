// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchpanel.h"

#include "widgets/busystates.h"
#include "widgets/combopicks.h"
#include "widgets/menuwiring.h"
#include "archive/messagearchive.h"
#include "archive/walkcursor.h"
#include "browser/browser.h"
#include "browser/browserpane.h"
#include "view/viewer.h"

#include "results/resultspanel.h"
#include "search/querybuilder.h"
#include "search/searchhistory.h"
#include "store/recordset.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>

namespace {

constexpr int kHitLimit = 5000;
constexpr int kEnterKey = 13;

// The first mark set decides, in the order the search has always tested them.
QueryBuilder::Wildcard wildcardMode(const QAction *words, const QAction *bracket, const QAction *append,
                                    const QAction *preface)
{
    if (words->isChecked())
        return QueryBuilder::Wildcard::WholeWords;
    if (bracket->isChecked())
        return QueryBuilder::Wildcard::Bracket;
    if (append->isChecked())
        return QueryBuilder::Wildcard::Append;
    if (preface->isChecked())
        return QueryBuilder::Wildcard::Preface;
    return QueryBuilder::Wildcard::None;
}

// Subject unless another mark says otherwise; with both, the body wins.
QueryBuilder::SearchField searchField(const QAction *body, const QAction *author)
{
    if (body->isChecked())
        return QueryBuilder::SearchField::Body;
    if (author->isChecked())
        return QueryBuilder::SearchField::Author;
    return QueryBuilder::SearchField::Subject;
}

// The character code a key press hands the search box; 0 for a key that types nothing.
int keyAscii(const QKeyEvent *key)
{
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        return kEnterKey;
    return key->text().isEmpty() ? 0 : key->text().at(0).unicode();
}

}

SearchPanel::SearchPanel(const Controls &controls, MessageArchive *archive, Viewer *viewer, BrowserPane *pane,
                         Browser *web1, ResultsPanel *results, BusyStates *busy, const AppConfig &config, QWidget *window)
    : QObject(window)
    , Combo1(controls.Combo1)
    , CmdGo(controls.CmdGo)
    , ListSort(controls.ListSort)
    , MenuSearchAuthor(controls.MenuSearchAuthor)
    , MenuSearchBody(controls.MenuSearchBody)
    , MenuSearchTitle(controls.MenuSearchTitle)
    , MenuKeyPreface(controls.MenuKeyPreface)
    , MenuKeyAppend(controls.MenuKeyAppend)
    , MenuKeyBracket(controls.MenuKeyBracket)
    , MenuKeyNone(controls.MenuKeyNone)
    , MenuKeyWords(controls.MenuKeyWords)
    , MenuOptionsInterrupt(controls.MenuOptionsInterrupt)
    , m_window(window)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_pane(pane)
    , m_web1(web1)
    , m_results(results)
    , m_busy(busy)
    , m_config(config)
{
    // A term is searched exactly as typed, and once.
    connect(connectTypedBox(Combo1, this), &ComboPicks::picked, this, &SearchPanel::Combo1_Click);
    connect(CmdGo, &QPushButton::clicked, this, &SearchPanel::CmdGo_Click);

    connectMenus(this, {
        {MenuSearchAuthor, &SearchPanel::MenuSearchAuthor_Click},
        {MenuSearchBody, &SearchPanel::MenuSearchBody_Click},
        {MenuSearchTitle, &SearchPanel::MenuSearchTitle_Click},
        {MenuKeyPreface, &SearchPanel::MenuKeyPreface_Click},
        {MenuKeyAppend, &SearchPanel::MenuKeyAppend_Click},
        {MenuKeyBracket, &SearchPanel::MenuKeyBracket_Click},
        {MenuKeyNone, &SearchPanel::MenuKeyNone_Click},
        {MenuKeyWords, &SearchPanel::MenuKeyWords_Click},
        {MenuOptionsInterrupt, &SearchPanel::MenuOptionsInterrupt_Click},
    });
    // The design's mode, until the settings say another.
    m_wildcard = MenuKeyBracket->isChecked() ? MenuKeyBracket : nullptr;

    connect(m_web1, &Browser::findTextResult, this, &SearchPanel::web1_FindTextResult);
    connect(results, &ResultsPanel::hitPicked, this, &SearchPanel::searchHitShown);
    connect(pane, &BrowserPane::pageStarting, this, &SearchPanel::searchPageStarting);
    connect(pane, &BrowserPane::messagePageComplete, this, &SearchPanel::highlightSearchHit);
}

SearchPanel::~SearchPanel() = default;

bool SearchPanel::isRunning() const
{
    return m_searchRunning;
}

bool SearchPanel::takesInput() const
{
    return !m_searchRunning && Combo1->isEnabled();
}

void SearchPanel::enableKnowledgeBase(bool on)
{
    CmdGo->setEnabled(on);
    Combo1->setEnabled(on);
}

void SearchPanel::focusSearchBox()
{
    Combo1->setFocus(Qt::ShortcutFocusReason);
    if (QLineEdit *edit = Combo1->lineEdit())
        edit->selectAll();
}

bool SearchPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Only keys are looked at. Other events also come while the window is torn down, when
    // the box may already be gone.
    if (event->type() != QEvent::KeyPress)
        return false;
    QComboBox *const combo1 = Combo1;
    if (watched == combo1) {
        // A disabled box takes no keys: an Enter put into the input while a search runs
        // must not start a second one inside it.
        if (combo1->isEnabled()) {
            if (const int code = keyAscii(static_cast<QKeyEvent *>(event)))
                Combo1_KeyPress(code);
        }
        return false; // the box still handles the key as usual
    }
    if (watched == combo1->lineEdit()) {
        // A key sent to the edit field itself goes the way typed keys go, through the box,
        // so it is seen once and the box's own keys (the arrows) work as when typed.
        if (m_combo1Forwarding)
            return false;
        m_combo1Forwarding = true;
        QCoreApplication::sendEvent(combo1, event);
        m_combo1Forwarding = false;
        event->accept(); // the box has passed it on to the window already where it ignored it
        return true;
    }
    return false;
}

void SearchPanel::Combo1_KeyPress(int keyAscii)
{
    // A key that reaches the box while a search runs (a page load may enable it again)
    // neither starts a second search inside it nor moves its cursor by the closing steps.
    if (m_searchRunning)
        return;
    m_searchRunning = true;
    const auto done = qScopeGuard([this] { m_searchRunning = false; });
    int flaggedCount = 0;
    if (keyAscii == kEnterKey && !Combo1->currentText().isEmpty() && !Combo1_Search(&flaggedCount))
        return;
    Combo1_ClosingSteps(flaggedCount);
}

bool SearchPanel::searchRefused(const QString &text, bool hadFocus)
{
    Combo1->setEditText(QString());
    m_results->setResultsText(text);
    m_busy->EnableWebOn();
    m_busy->EnableOn();
    // Disabling moved the focus on; it is given back, so the user can type again.
    if (hadFocus)
        Combo1->setFocus(Qt::OtherFocusReason);
    return false;
}

bool SearchPanel::showNumberDirectly(const QString &savedCaption)
{
    // Without gaps in the numbering the slider's position is the message number.
    if (!m_viewer->reaches(searchMsgNum) || m_archive->messageCount() != m_archive->lastMessageNumber())
        return false;
    // At the slider's own value no change is raised, and the message in view may be
    // another one since the < > buttons do not move the slider.
    m_viewer->showOnSlider(searchMsgNum);
    CmdGo->setText(savedCaption);
    CmdGo->setToolTip(QStringLiteral("Search message ") + savedCaption);
    CmdGo->setEnabled(true);
    m_busy->EnableWebOn();
    m_busy->EnableOn();
    return true;
}

bool SearchPanel::Combo1_Search(int *flaggedCount)
{
    const bool hadFocus = Combo1->hasFocus();
    m_busy->EnableWebOff();
    m_busy->EnableOff();
    m_results->clearResults();
    m_results->hideResultSlider();

    const QString term = Combo1->currentText();
    if (!QueryBuilder::isValidTerm(term))
        return searchRefused(QStringLiteral(" Invalid Search Term"), hadFocus);

    const QString savedCaption = CmdGo->text();
    CmdGo->setText(QStringLiteral("Wait.."));
    CmdGo->setEnabled(false);
    searchMsgNum = 0;

    QString words = term;
    const QueryBuilder::NumberTerm number = QueryBuilder::numberTerm(term);
    if (number.isNumberTerm) {
        if (!number.number) {
            // No message has a number below 1 or beyond 32 bits.
            Combo1_SearchNoMatch(savedCaption, QStringLiteral(" Invalid Message Number"));
            if (hadFocus)
                Combo1->setFocus(Qt::OtherFocusReason);
            return false;
        }
        searchMsgNum = *number.number;
        words.clear();
        if (showNumberDirectly(savedCaption))
            return false;
    }

    QueryBuilder::TermWords split = QueryBuilder::splitTerm(words);
    m_hitTexts = QueryBuilder::hitTexts(split);
    m_highlightPending = false;
    m_highlightArmed = false;
    m_pane->setPrintingEnabled(false);
    const QueryBuilder::Wildcard mode = wildcardMode(MenuKeyWords, MenuKeyBracket, MenuKeyAppend, MenuKeyPreface);
    split = QueryBuilder::decorate(std::move(split), mode);
    QCoreApplication::processEvents();
    m_window->repaint();
    const QString criteria = QueryBuilder::criteria(split, searchField(MenuSearchBody, MenuSearchAuthor), searchMsgNum, mode);
    m_results->showRunning(QStringLiteral(" Slow computers may appear stopped, please wait..."));

    // The search reads on a place of its own; the user's steps meanwhile go on from the message in view.
    WalkCursor walk(m_archive);
    Recordset *const rs = walk.recordset();
    Recordset::FindResult found = Recordset::FindResult::NoMatch;
    if (rs) {
        rs->moveFirst();
        found = rs->findFirst(criteria);
    }
    if (found != Recordset::FindResult::Found) {
        // The store refuses a pattern it cannot read (an unbalanced "[") with the reason.
        Combo1_SearchNoMatch(savedCaption, found == Recordset::FindResult::Error ? u' ' + rs->lastError()
                                                                                 : QStringLiteral(" No Messages Found"));
        if (hadFocus)
            Combo1->setFocus(Qt::OtherFocusReason);
        return false;
    }

    ResultsPanel::Walked walked;
    if (searchMsgNum > 0)
        m_results->addHit({rs->field(QStringLiteral("messnum")).toInt(), rs->bookmark().id});
    else
        walked = m_results->walkFinds(walk, criteria, kHitLimit);
    // Only a search that found something clears a request to stop.
    m_results->clearInterrupt();
    *flaggedCount = walked.flagged;
    searchEnded(walked.overLimit, walked.failure);
    return true;
}

void SearchPanel::searchEnded(bool overLimit, const QString &failure)
{
    recordSearchTerm();
    emit searched();
    m_results->showSearchCount(overLimit, failure);
    if (MenuSearchTitle->isChecked()) {
        CmdGo->setText(QStringLiteral("Subject"));
        CmdGo->setToolTip(QStringLiteral("Search message Subject"));
    } else if (MenuSearchAuthor->isChecked()) {
        CmdGo->setText(QStringLiteral("Author"));
        CmdGo->setToolTip(QStringLiteral("Search message Author"));
    } else {
        CmdGo->setText(QStringLiteral("Body "));
        CmdGo->setToolTip(QStringLiteral("Search message Body"));
    }
    CmdGo->setEnabled(true);
    m_results->selectFirstListed();
}

void SearchPanel::Combo1_SearchNoMatch(const QString &savedCaption, const QString &text)
{
    // The find that failed began at the first record.
    m_viewer->followShown();
    m_results->endWalk();
    m_results->setResultsText(text);
    m_busy->EnableWebOn();
    m_busy->EnableOn();
    CmdGo->setText(savedCaption);
    CmdGo->setEnabled(true);
}

void SearchPanel::recordSearchTerm()
{
    if (searchMsgNum != 0)
        return;
    QComboBox *const combo1 = Combo1;
    QListWidget *const listSort = ListSort;
    const QString term = combo1->currentText();
    QStringList sorted;
    sorted.reserve(listSort->count() + 1);
    for (int i = 0; i < listSort->count(); ++i)
        sorted << listSort->item(i)->text();
    if (!SearchHistory::record(sorted, term))
        return;
    listSort->addItem(term);
    // Emptying the list would take the text with it.
    while (combo1->count() > 0)
        combo1->removeItem(combo1->count() - 1);
    combo1->addItems(SearchHistory::dropDownOrder(sorted));
    combo1->setCurrentIndex(-1);
    combo1->setEditText(term);
}

void SearchPanel::Combo1_ClosingSteps(int flaggedCount)
{
    m_results->announceListed(m_results->resultCount() == flaggedCount);
    if (Recordset *rs = m_archive->recordset())
        rs->refresh();
    // Reading the table anew put the cursor on the first record; the next step must go on
    // from the message on screen.
    m_viewer->followShown();
    m_busy->EnableWebOn();
    m_busy->EnableOn();
    m_pane->setPageFocusPending(false);
}

QStringList SearchPanel::historyEntries() const
{
    return comboEntries(Combo1);
}

void SearchPanel::loadHistory(const QStringList &entries)
{
    Combo1->addItems(entries);
    Combo1->setCurrentIndex(-1);
    for (int i = 0; i < Combo1->count(); ++i)
        ListSort->addItem(Combo1->itemText(i));
}

void SearchPanel::replaceHistory(const QStringList &entries)
{
    // A running search records the box's text in the history when it ends: emptied, the
    // text would come back as an empty entry and the term would be lost.
    const QString kept = m_searchRunning ? Combo1->currentText() : QString();
    Combo1->clear();
    Combo1->addItems(entries);
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(kept);
    // ListSort gets the entries in the same order, as at start-up, so the next new term
    // is added to the edited history.
    ListSort->clear();
    ListSort->addItems(entries);
}

void SearchPanel::Combo1_Click()
{
    sendEnterKey();
}

void SearchPanel::CmdGo_Click()
{
    Combo1->setFocus(Qt::OtherFocusReason);
    if (Combo1->currentText().isEmpty())
        return;
    m_results->clearResults();
    sendEnterKey();
}

void SearchPanel::sendEnterKey()
{
    // The key goes where typing would go: the focus widget, or this window's own focus
    // widget while another window is active.
    QWidget *target = QApplication::focusWidget();
    if (!target || target->window() != m_window)
        target = m_window->focusWidget();
    if (!target)
        return;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier,
                                                      QStringLiteral("\r")));
}
