#include "app/eventyield.h"
#include "app/form1.h"
#include "browser/browser.h"
#include "ui_form1.h"

#include "maint/deletionmark.h"
#include "search/querybuilder.h"
#include "search/searchhistory.h"
#include "store/recordset.h"
#include "view/resultline.h"
#include "view/resultlist.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
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
QueryBuilder::Wildcard wildcardMode(const Ui::Form1 &ui)
{
    if (ui.MenuKeyBracket->isChecked())
        return QueryBuilder::Wildcard::Bracket;
    if (ui.MenuKeyAppend->isChecked())
        return QueryBuilder::Wildcard::Append;
    if (ui.MenuKeyPreface->isChecked())
        return QueryBuilder::Wildcard::Preface;
    return QueryBuilder::Wildcard::None;
}

// Subject unless another mark says otherwise; with both, the body wins.
QueryBuilder::SearchField searchField(const Ui::Form1 &ui)
{
    if (ui.MenuSearchBody->isChecked())
        return QueryBuilder::SearchField::Body;
    if (ui.MenuSearchAuthor->isChecked())
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

void Form1::connectSearching()
{
    // A term is searched exactly as typed, and once.
    connectTypedBox(ui->Combo1, &Form1::Combo1_Click);
    connect(ui->CmdGo, &QPushButton::clicked, this, &Form1::CmdGo_Click);

    connectMenus({
        {ui->MenuSearchAuthor, &Form1::MenuSearchAuthor_Click},
        {ui->MenuSearchBody, &Form1::MenuSearchBody_Click},
        {ui->MenuSearchTitle, &Form1::MenuSearchTitle_Click},
        {ui->MenuKeyPreface, &Form1::MenuKeyPreface_Click},
        {ui->MenuKeyAppend, &Form1::MenuKeyAppend_Click},
        {ui->MenuKeyBracket, &Form1::MenuKeyBracket_Click},
        {ui->MenuKeyNone, &Form1::MenuKeyNone_Click},
        {ui->MenuOptionsInterrupt, &Form1::MenuOptionsInterrupt_Click},
    });

    // Every line has the same height; knowing it keeps each layout of up to 5,001 lines cheap.
    ui->List1->setUniformItemSizes(true);
    connect(m_web1, &Browser::findTextResult, this, &Form1::web1_FindTextResult);
}

void Form1::searchHitShown()
{
    m_highlightPending = !m_hitTexts.isEmpty();
}

void Form1::searchPageStarting(const QString &url)
{
    // Only the load that begins after the hit was picked shows it: one still finishing
    // from before (the message shown at start-up) must not take the highlight.
    m_highlightArmed = m_highlightPending && isMessagePageUrl(url);
    m_highlightPending = false;
}

void Form1::highlightSearchHit()
{
    if (!m_highlightArmed)
        return;
    m_highlightArmed = false;
    m_hitIndex = 0;
    m_findMatches = 0;
    m_findActive = 0;
    m_web1->findText(m_hitTexts.first());
}

void Form1::FindNextHit()
{
    if (m_hitTexts.isEmpty() || !isMessagePageUrl(m_state.completedUrl))
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

void Form1::web1_FindTextResult(int matches, int active)
{
    m_findMatches = matches;
    m_findActive = active;
}

bool Form1::searchEventFilter(QObject *watched, QEvent *event)
{
    QComboBox *const combo1 = ui->Combo1;
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

void Form1::Combo1_KeyPress(int keyAscii)
{
    // A key that reaches the box while a search runs (a page load may enable it again)
    // neither starts a second search inside it nor moves its cursor by the closing steps.
    if (m_searchRunning)
        return;
    m_searchRunning = true;
    const auto done = qScopeGuard([this] { m_searchRunning = false; });
    int flaggedCount = 0;
    if (keyAscii == kEnterKey && !ui->Combo1->currentText().isEmpty() && !Combo1_Search(&flaggedCount))
        return;
    Combo1_ClosingSteps(flaggedCount);
}

bool Form1::Combo1_Search(int *flaggedCount)
{
    QComboBox *const combo1 = ui->Combo1;
    QListWidget *const list1 = ui->List1;
    QLabel *const results = ui->lblResults;
    // Disabling moves the focus on; the early ends give it back, so the user can type again.
    const bool hadFocus = combo1->hasFocus();
    EnableWebOff();
    EnableOff();
    list1->clear();
    ui->HPic2->hide();

    const QString term = combo1->currentText();
    if (!QueryBuilder::isValidTerm(term)) {
        combo1->setEditText(QString());
        results->setText(QStringLiteral(" Invalid Search Term"));
        EnableWebOn();
        EnableOn();
        if (hadFocus)
            combo1->setFocus(Qt::OtherFocusReason);
        return false;
    }

    const QString savedCaption = ui->CmdGo->text();
    ui->CmdGo->setText(QStringLiteral("Wait.."));
    ui->CmdGo->setEnabled(false);
    m_state.searchMsgNum = 0;

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
        m_state.searchMsgNum = *number.number;
        words.clear();
        // Without gaps in the numbering the slider's position is the message number.
        if (m_state.searchMsgNum <= ui->hscroll1->maximum() && m_state.msgCount == m_state.lastMsgNum) {
            // At the slider's own value no change is raised, and the message in view may be
            // another one since the < > buttons do not move the slider.
            if (ui->hscroll1->value() == m_state.searchMsgNum)
                showMessageNumber(m_state.searchMsgNum);
            else
                ui->hscroll1->setValue(m_state.searchMsgNum);
            ui->CmdGo->setText(savedCaption);
            ui->CmdGo->setToolTip(QStringLiteral("Search message ") + savedCaption);
            ui->CmdGo->setEnabled(true);
            EnableWebOn();
            EnableOn();
            return false;
        }
    }

    QueryBuilder::TermWords split = QueryBuilder::splitTerm(words);
    m_hitTexts = QueryBuilder::hitTexts(split);
    m_highlightPending = false;
    m_highlightArmed = false;
    ui->hscroll2->setValue(1);
    for (QAction *a : {ui->MenuFilePrint, ui->MnuPrintPreview, ui->MnuPageSetup, ui->MenuFileSaveAs})
        a->setEnabled(false);
    split = QueryBuilder::decorate(std::move(split), wildcardMode(*ui));
    QCoreApplication::processEvents();
    repaint();
    const QString criteria = QueryBuilder::criteria(split, searchField(*ui), m_state.searchMsgNum);

    setForeColor(results, kRunningColor);
    results->setText(QStringLiteral(" Slow computers may appear stopped, please wait..."));
    results->repaint();

    Recordset::FindResult found = Recordset::FindResult::NoMatch;
    if (m_data1) {
        m_data1->moveFirst();
        found = m_data1->findFirst(criteria);
    }
    if (found != Recordset::FindResult::Found) {
        // The store refuses a pattern it cannot read (an unbalanced "[") with the reason.
        Combo1_SearchNoMatch(savedCaption, found == Recordset::FindResult::Error
                                               ? u' ' + m_data1->lastError()
                                               : QStringLiteral(" No Messages Found"));
        if (hadFocus)
            combo1->setFocus(Qt::OtherFocusReason);
        return false;
    }

    int flagged = 0;
    bool limitReached = false;
    QString failure;
    if (m_state.searchMsgNum > 0) {
        list1->addItem(resultLine(*m_data1));
    } else {
        ResultList::Batch batch(list1);
        ResultList::Progress progress(results);
        EventYield yield(kYieldEveryMs);
        for (;;) {
            // Fetched again each time: the events let run below may have closed the database.
            Recordset *const rs = m_data1.get();
            if (!rs || rs->noMatch())
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
                m_state.interruptFlag = true;
                limitReached = true;
            }
            if (m_state.interruptFlag)
                break;
            // The events may move the shared cursor (the < > buttons, an update run, the
            // window shown again); the search goes on from its own hit, so none is lost or
            // listed twice. They run after every hit until a screenful is listed, then a
            // few milliseconds apart: through the index a hit takes microseconds, and
            // running the events after each would cost more than the search.
            const Recordset::Bookmark at = rs->bookmark();
            bool ran = true;
            if (count <= kYieldEveryHitUpTo)
                QCoreApplication::processEvents();
            else
                ran = yield();
            if (ran && m_data1.get() == rs)
                rs->setBookmark(at);
        }
        batch.flush();
    }
    m_state.interruptFlag = false;

    recordSearchTerm();
    checkSearchIndex();

    QScrollBar *const hscroll2 = ui->hscroll2;
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

    if (ui->MenuSearchTitle->isChecked()) {
        ui->CmdGo->setText(QStringLiteral("Subject"));
        ui->CmdGo->setToolTip(QStringLiteral("Search message Subject"));
    } else if (ui->MenuSearchAuthor->isChecked()) {
        ui->CmdGo->setText(QStringLiteral("Author"));
        ui->CmdGo->setToolTip(QStringLiteral("Search message Author"));
    } else {
        ui->CmdGo->setText(QStringLiteral("Body "));
        ui->CmdGo->setToolTip(QStringLiteral("Search message Body"));
    }
    ui->CmdGo->setEnabled(true);

    if (list1->count() > 1) {
        list1->setCurrentRow(1);
        QCoreApplication::processEvents();
        list1->setCurrentRow(0);
        ui->CmdMarkRange->setEnabled(true);
        ui->HPic2->show();
        // The busy state may still hold the list disabled, and a disabled list takes no focus.
        list1->setEnabled(true);
        list1->setFocus(Qt::OtherFocusReason);
    }
    *flaggedCount = flagged;
    return true;
}

void Form1::Combo1_SearchNoMatch(const QString &savedCaption, const QString &text)
{
    setForeColor(ui->lblResults, kDoneColor);
    ui->lblResults->setText(text);
    EnableWebOn();
    EnableOn();
    ui->CmdGo->setText(savedCaption);
    ui->CmdGo->setEnabled(true);
    ui->CmdMarkRange->setEnabled(false);
}

void Form1::recordSearchTerm()
{
    if (m_state.searchMsgNum != 0)
        return;
    QComboBox *const combo1 = ui->Combo1;
    QListWidget *const listSort = ui->ListSort;
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

void Form1::Combo1_ClosingSteps(int flaggedCount)
{
    setMarkRangeMarked(ui->List1->count() == flaggedCount);
    if (m_data1)
        m_data1->refresh();
    EnableWebOn();
    EnableOn();
    setTimerEnabled(Timer2, false);
}

void Form1::Combo1_Click()
{
    sendEnterKey();
}

void Form1::CmdGo_Click()
{
    ui->Combo1->setFocus(Qt::OtherFocusReason);
    if (ui->Combo1->currentText().isEmpty())
        return;
    ui->List1->clear();
    sendEnterKey();
}

void Form1::sendEnterKey()
{
    // The key goes where typing would go: the focus widget, or this window's own focus
    // widget while another window is active.
    QWidget *target = QApplication::focusWidget();
    if (!target || target->window() != this)
        target = focusWidget();
    if (!target)
        return;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier,
                                                      QStringLiteral("\r")));
}
