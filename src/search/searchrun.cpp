// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchpanel.h"
#include "ui_form1.h"

#include "app/busystates.h"
#include "app/combopicks.h"
#include "widgets/eventyield.h"
#include "widgets/menuwiring.h"
#include "archive/messagearchive.h"
#include "archive/walkcursor.h"
#include "browser/browser.h"
#include "browser/browserpane.h"
#include "view/viewer.h"

#include "archive/deletionmark.h"
#include "search/querybuilder.h"
#include "search/searchhistory.h"
#include "store/recordset.h"
#include "view/resultline.h"
#include "view/resultlist.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopeGuard>

namespace {

constexpr int kHitLimit = 5000;
constexpr int kEnterKey = 13;
// Events run after each of the first hits, then this often.
constexpr int kYieldEveryHitUpTo = 16;
constexpr int kYieldEveryMs = 10;
using ResultList::kDoneColor;
using ResultList::kRunningColor;
using ResultList::setForeColor;

// The first mark set decides, in the order the search has always tested them.
QueryBuilder::Wildcard wildcardMode(const QAction *bracket, const QAction *append, const QAction *preface)
{
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

QString resultLine(const Recordset &rs)
{
    return ResultLine::text(rs.field(QStringLiteral("messnum")).toInt(), rs.field(QStringLiteral("messtitle")).toString());
}

}

SearchPanel::SearchPanel(const Ui::Form1 &ui, MessageArchive *archive, Viewer *viewer, BrowserPane *pane, Browser *web1,
                         BusyStates *busy, StatusStrip *status, const AppConfig &config, QWidget *window)
    : QObject(window)
    , Combo1(ui.Combo1)
    , CmdGo(ui.CmdGo)
    , List1(ui.List1)
    , hscroll2(ui.hscroll2)
    , lblResults(ui.lblResults)
    , HPic2(ui.HPic2)
    , ListSort(ui.ListSort)
    , MenuSearchAuthor(ui.MenuSearchAuthor)
    , MenuSearchBody(ui.MenuSearchBody)
    , MenuSearchTitle(ui.MenuSearchTitle)
    , MenuKeyPreface(ui.MenuKeyPreface)
    , MenuKeyAppend(ui.MenuKeyAppend)
    , MenuKeyBracket(ui.MenuKeyBracket)
    , MenuKeyNone(ui.MenuKeyNone)
    , MenuOptionsInterrupt(ui.MenuOptionsInterrupt)
    , m_window(window)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_pane(pane)
    , m_web1(web1)
    , m_busy(busy)
    , m_status(status)
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
        {MenuOptionsInterrupt, &SearchPanel::MenuOptionsInterrupt_Click},
    });

    // Every line has the same height; knowing it keeps each layout of up to 5,001 lines cheap.
    List1->setUniformItemSizes(true);
    List1->setDetailsSource([this](qint32 messnum) { return readDetails(messnum); });
    // Sorted by a header click: the results slider follows the selected entry to its new place.
    connect(List1, &ResultListWidget::reordered, this, [this](int row) {
        if (row < 0)
            return;
        listSyncing = true;
        hscroll2->setValue(row);
        listSyncing = false;
    });
    // Statements must go before the database closes.
    connect(archive, &MessageArchive::closing, this, [this] { m_detailsStatement.finalize(); });
    connect(m_web1, &Browser::findTextResult, this, &SearchPanel::web1_FindTextResult);

    // A selection change (a click on another entry, the keys, or the program) runs the
    // click handling; a click on the entry already selected changes nothing, so the
    // mouse events catch that one.
    connect(List1, &QListWidget::itemSelectionChanged, this, &SearchPanel::List1_SelectionChanged);
    List1->installEventFilter(this);
    List1->viewport()->installEventFilter(this);
    hscroll2->setTracking(false);
    connect(hscroll2, &QScrollBar::valueChanged, this, &SearchPanel::hscroll2_Change);
    connect(hscroll2, &QScrollBar::sliderMoved, this, &SearchPanel::hscroll2_Scroll);
    connect(viewer, &Viewer::resultStep, this, &SearchPanel::stepResultSlider);

    connect(pane, &BrowserPane::pageStarting, this, &SearchPanel::searchPageStarting);
    connect(pane, &BrowserPane::messagePageComplete, this, [this] {
        if (!m_viewer->keyboardOnSteps())
            List1->setFocus(Qt::OtherFocusReason);
        highlightSearchHit();
    });
    // The index follows the database open now; nothing more is written to a damaged one,
    // the index's pages included, and nothing holds the file when it is taken alone.
    connect(archive, &MessageArchive::opened, this, &SearchPanel::databaseOpened);
    connectConversations(ui);
    connect(archive, &MessageArchive::checkPassed, this, [this] { startSearchIndex(SearchIndexBuilder::Task::Verify); });
    connect(archive, &MessageArchive::damaged, this, &SearchPanel::stopSearchIndex);
    connect(archive, &MessageArchive::closing, this, &SearchPanel::stopSearchIndex);
}

SearchPanel::~SearchPanel() = default;

bool SearchPanel::isRunning() const
{
    return m_searchRunning;
}

void SearchPanel::requestInterrupt()
{
    interruptFlag = true;
}

bool SearchPanel::interruptRequested() const
{
    return interruptFlag;
}

void SearchPanel::searchHitShown()
{
    m_highlightPending = !m_hitTexts.isEmpty();
}

void SearchPanel::searchPageStarting(const QString &url)
{
    // Only the load that begins after the hit was picked shows it: one still finishing
    // from before (the message shown at start-up) must not take the highlight.
    m_highlightArmed = m_highlightPending && m_viewer->isMessagePageUrl(url);
    m_highlightPending = false;
}

void SearchPanel::highlightSearchHit()
{
    if (!m_highlightArmed)
        return;
    m_highlightArmed = false;
    m_hitIndex = 0;
    m_findMatches = 0;
    m_findActive = 0;
    m_web1->findText(m_hitTexts.first());
}

void SearchPanel::FindNextHit()
{
    if (m_hitTexts.isEmpty() || !m_viewer->isMessagePageUrl(m_pane->completedUrl()))
        return;
    // Past the last occurrence of one word (or with none of it in the page) F3 goes on
    // to the next word; the engine's find starts that one from the top.
    if (m_findActive >= m_findMatches) {
        m_hitIndex = (m_hitIndex + 1) % int(m_hitTexts.size());
        m_findMatches = 0;
        m_findActive = 0;
    }
    m_web1->findText(m_hitTexts.at(m_hitIndex));
}

void SearchPanel::web1_FindTextResult(int matches, int active)
{
    m_findMatches = matches;
    m_findActive = active;
}

bool SearchPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Only keys and clicks are looked at. Other events also come while the window is torn
    // down, when the box or the list named below may already be gone.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        break;
    default:
        return false;
    }
    if (listEventFilter(watched, event))
        return true;
    QComboBox *const combo1 = Combo1;
    if (watched == combo1) {
        // A disabled box takes no keys: an Enter put into the input while a search runs
        // must not start a second one inside it.
        if (event->type() == QEvent::KeyPress && combo1->isEnabled()) {
            if (const int code = keyAscii(static_cast<QKeyEvent *>(event)))
                Combo1_KeyPress(code);
        }
        return false; // the box still handles the key as usual
    }
    if (watched == combo1->lineEdit()) {
        // A key sent to the edit field itself goes the way typed keys go, through the box,
        // so it is seen once and the box's own keys (the arrows) work as when typed.
        if (event->type() != QEvent::KeyPress || m_combo1Forwarding)
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

bool SearchPanel::Combo1_Search(int *flaggedCount)
{
    QComboBox *const combo1 = Combo1;
    QListWidget *const list1 = List1;
    QLabel *const results = lblResults;
    // Disabling moves the focus on; the early ends give it back, so the user can type again.
    const bool hadFocus = combo1->hasFocus();
    m_busy->EnableWebOff();
    m_busy->EnableOff();
    list1->clear();
    HPic2->hide();

    const QString term = combo1->currentText();
    if (!QueryBuilder::isValidTerm(term)) {
        combo1->setEditText(QString());
        results->setText(QStringLiteral(" Invalid Search Term"));
        m_busy->EnableWebOn();
        m_busy->EnableOn();
        if (hadFocus)
            combo1->setFocus(Qt::OtherFocusReason);
        return false;
    }

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
                combo1->setFocus(Qt::OtherFocusReason);
            return false;
        }
        searchMsgNum = *number.number;
        words.clear();
        // Without gaps in the numbering the slider's position is the message number.
        if (m_viewer->reaches(searchMsgNum) && m_archive->messageCount() == m_archive->lastMessageNumber()) {
            // At the slider's own value no change is raised, and the message in view may be
            // another one since the < > buttons do not move the slider.
            m_viewer->showOnSlider(searchMsgNum);
            CmdGo->setText(savedCaption);
            CmdGo->setToolTip(QStringLiteral("Search message ") + savedCaption);
            CmdGo->setEnabled(true);
            m_busy->EnableWebOn();
            m_busy->EnableOn();
            return false;
        }
    }

    QueryBuilder::TermWords split = QueryBuilder::splitTerm(words);
    m_hitTexts = QueryBuilder::hitTexts(split);
    m_highlightPending = false;
    m_highlightArmed = false;
    hscroll2->setValue(1);
    m_pane->setPrintingEnabled(false);
    split = QueryBuilder::decorate(std::move(split), wildcardMode(MenuKeyBracket, MenuKeyAppend, MenuKeyPreface));
    QCoreApplication::processEvents();
    m_window->repaint();
    const QString criteria = QueryBuilder::criteria(split, searchField(MenuSearchBody, MenuSearchAuthor), searchMsgNum);

    setForeColor(results, kRunningColor);
    results->setText(QStringLiteral(" Slow computers may appear stopped, please wait..."));
    results->repaint();

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
        Combo1_SearchNoMatch(savedCaption, found == Recordset::FindResult::Error
                                               ? u' ' + rs->lastError()
                                               : QStringLiteral(" No Messages Found"));
        if (hadFocus)
            combo1->setFocus(Qt::OtherFocusReason);
        return false;
    }

    int flagged = 0;
    bool limitReached = false;
    QString failure;
    if (searchMsgNum > 0) {
        list1->addItem(resultLine(*rs));
    } else {
        ResultList::Batch batch(list1);
        ResultList::Progress progress(results);
        EventYield yield(kYieldEveryMs);
        for (;;) {
            if (rs->noMatch())
                break;
            // One read for the line and the flag: a search through the index spends as
            // long on these reads as on finding the hit.
            MessageRecord hit;
            rs->current(&hit, Recordset::Body::Skipped);
            if (DeletionMark::isMarked(hit.messdate))
                ++flagged;
            batch.add(ResultLine::text(hit.messnum, hit.messtitle));
            const int count = batch.count();
            if (rs->findNext(criteria) == Recordset::FindResult::Error)
                failure = rs->lastError();
            if (progress.due())
                progress.show(rs->field(QStringLiteral("messnum")).toInt(), count);
            if (count > kHitLimit) {
                interruptFlag = true;
                limitReached = true;
            }
            if (interruptFlag)
                break;
            // The events run on the user's place (the < > buttons, an update run, the window
            // shown again); the search goes on from its own hit, so none is lost or listed
            // twice, and ends when the database was closed meanwhile. They run after every
            // hit until a screenful is listed, then a few milliseconds apart: through the
            // index a hit takes microseconds, and running the events after each would cost
            // more than the search.
            const bool open = walk.letEventsRun([&] {
                if (count > kYieldEveryHitUpTo)
                    return yield();
                QCoreApplication::processEvents();
                return true;
            });
            if (!open)
                break;
        }
        batch.flush();
    }
    interruptFlag = false;

    recordSearchTerm();
    checkSearchIndex();

    const int lines = list1->count();
    hscroll2->setMaximum(1);
    if (lines > 1) {
        hscroll2->setMaximum(lines - 1);
        hscroll2->setValue(0);
    }
    hscroll2->setValue(0);

    setForeColor(results, kDoneColor);
    if (lines == 0) {
        results->setText(QStringLiteral(" No messages found"));
    } else {
        list1->setCurrentRow(0);
        QString text = limitReached ? QStringLiteral("Found>5,000") : u' ' + QString::number(lines) + QStringLiteral(" Found");
        // A store that fails part way must not pass for a complete search.
        if (!failure.isEmpty())
            text += QStringLiteral(" - the search stopped: ") + failure;
        results->setText(text);
    }

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

    if (list1->count() > 1) {
        list1->setCurrentRow(1);
        QCoreApplication::processEvents();
        list1->setCurrentRow(0);
        HPic2->show();
        // The busy state may still hold the list disabled, and a disabled list takes no focus.
        list1->setEnabled(true);
        list1->setFocus(Qt::OtherFocusReason);
    }
    *flaggedCount = flagged;
    return true;
}

void SearchPanel::Combo1_SearchNoMatch(const QString &savedCaption, const QString &text)
{
    // The find that failed began at the first record.
    m_viewer->followShown();
    setForeColor(lblResults, kDoneColor);
    lblResults->setText(text);
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
    emit listed(List1->count() == flaggedCount);
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
    List1->clear();
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
