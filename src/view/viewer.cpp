// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/viewer.h"

#include "widgets/busystates.h"
#include "archive/messagearchive.h"
#include "browser/browser.h"
#include "browser/browserpane.h"
#include "store/recordset.h"
#include "view/messagepage.h"

#include <QAction>
#include <QScrollBar>
#include <QToolButton>
#include <QWidget>
#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QTimer>

namespace {

// One record on in stored order; at either end the cursor is moved back onto the end
// record and false comes back. A move that fails leaves the cursor where it was.
bool stepRecord(Recordset *rs, bool forward)
{
    if (!rs)
        return false;
    if (forward) {
        rs->moveNext();
        if (rs->eof()) {
            rs->movePrevious();
            return false;
        }
    } else {
        rs->movePrevious();
        if (rs->bof()) {
            rs->moveNext();
            return false;
        }
    }
    return true;
}

}

Viewer::Viewer(const Controls &controls, MessageArchive *archive, Browser *web1, BrowserPane *pane, BusyStates *busy,
               const QString &archiveBase, QObject *parent)
    : QObject(parent)
    , hscroll1(controls.hscroll1)
    , H1Down(controls.H1Down)
    , H1Up(controls.H1Up)
    , H2Down(controls.H2Down)
    , H2Up(controls.H2Up)
    , MenuViewOriginal(controls.MenuViewOriginal)
    , Timer3(new QTimer(this))
    , m_archive(archive)
    , m_web1(web1)
    , m_pane(pane)
    , m_busy(busy)
    , m_archiveBase(archiveBase)
    , m_pagePath(MessagePage::pathIn(archive->folder()))
{
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(250);
    // Each button's mouse down and up; the space key on a focused button raises the same.
    const struct
    {
        QToolButton *button;
        void (Viewer::*down)();
        void (Viewer::*up)();
    } buttons[] = {
        {H1Down, &Viewer::H1Down_MouseDown, &Viewer::H1Down_MouseUp},
        {H1Up, &Viewer::H1Up_MouseDown, &Viewer::H1Up_MouseUp},
        {H2Down, &Viewer::H2Down_MouseDown, &Viewer::H2Down_MouseUp},
        {H2Up, &Viewer::H2Up_MouseDown, &Viewer::H2Up_MouseUp},
    };
    for (const auto &b : buttons) {
        connect(b.button, &QToolButton::pressed, this, b.down);
        connect(b.button, &QToolButton::released, this, b.up);
    }
    connect(Timer3, &QTimer::timeout, this, &Viewer::Timer3_Timer);

    // Without tracking a drag reports the thumb through sliderMoved (the "scroll"
    // notification) and sets the value, raising valueChanged (the "change" notification),
    // once when the thumb is let go; so a drag step is rendered once, not twice. The drag
    // cancels the focus hand-over: the value changes the program makes (start-up, the
    // result list, the buttons) leave it alone.
    hscroll1->setTracking(false);
    // A scroll bar's arrow keys run against its drawing by default: Right would go to a
    // lower message. Right and Up go to the higher number, as the thumb moves right.
    hscroll1->setInvertedControls(false);
    m_stepControls = {H1Down, H1Up, hscroll1, H2Down, H2Up};
    for (QWidget *control : std::as_const(m_stepControls))
        control->installEventFilter(this);
    connect(hscroll1, &QScrollBar::valueChanged, this, &Viewer::hscroll1_Change);
    connect(hscroll1, &QScrollBar::sliderMoved, this, &Viewer::hscroll1_Scroll);

    connect(MenuViewOriginal, &QAction::triggered, this, &Viewer::MenuViewOriginal_Click);
    // "Original" opens the group's page of the message on the message page only.
    connect(pane, &BrowserPane::pageEntered, this, [this](bool messagePage) { MenuViewOriginal->setEnabled(messagePage); });
}

QString Viewer::messagePagePath() const
{
    return m_pagePath;
}

bool Viewer::isMessagePageUrl(const QString &url) const
{
    return MessagePage::isPageAddress(url, m_pagePath);
}

bool Viewer::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        m_stepsByKey = true;
        break;
    case QEvent::MouseButtonPress:
        m_stepsByKey = false;
        break;
    case QEvent::FocusIn:
        m_stepsByKey = static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void Viewer::enableKnowledgeBase(bool on)
{
    hscroll1->setEnabled(on);
}

void Viewer::watchSteps(QWidget *control)
{
    m_stepControls << control;
    control->installEventFilter(this);
}

bool Viewer::keyboardOnSteps() const
{
    QWidget *const focus = QApplication::focusWidget();
    return m_stepsByKey && focus && m_stepControls.contains(focus);
}

QString Viewer::shownMessageNumber() const
{
    return shownMsgNum;
}

qint32 Viewer::sliderMessageNumber() const
{
    return sliderMsgNum;
}

void Viewer::pauseRendering(bool paused)
{
    displayEnabled = !paused;
}

// ---- rendering ----

void Viewer::TryToDisplay()
{
    Recordset *const rs = m_archive->recordset();
    MessageRecord record;
    // A deleted record, an empty table or no database at all leaves nothing to show.
    const bool onRecord = rs && rs->current(&record);
    if (displayEnabled && onRecord) {
        const QByteArray page = MessagePage::render(record);
        QString error;
        const bool written = MessagePage::write(m_pagePath, page, &error);
        shownMsgNum = QString::number(record.messnum);
        m_shownPlace = rs->bookmark();
        m_shownGeneration = m_archive->generation();
        m_shownPage = written ? page : QByteArray();
        if (written)
            m_web1->navigate(m_pagePath);
        else
            // Showing the file anyway would put the previous message under this one's number.
            m_web1->showMessagePage(page);
    }

    m_pane->setPrintingEnabled(true);

    if (!onRecord)
        return;
    emit recordShown(MessagePage::isFlagged(record.messdate));
}

bool Viewer::messagePageShows(qint32 messnum) const
{
    if (shownMsgNum != QString::number(messnum))
        return false;
    // The updater downloads its pages into the same file.
    QFile file(m_pagePath);
    return file.open(QIODevice::ReadOnly) && file.size() == m_shownPage.size() && file.readAll() == m_shownPage;
}

void Viewer::MenuViewOriginal_Click()
{
    m_busy->EnableOff();
    if (!shownMsgNum.isEmpty())
        m_web1->navigate(m_archiveBase + QStringLiteral("message/") + shownMsgNum);
}

// ---- the next/previous buttons and their repeat ----

void Viewer::setRepeat(bool on)
{
    // Enabling restarts the interval.
    if (on)
        Timer3->start();
    else
        Timer3->stop();
}

void Viewer::H1Down_MouseDown()
{
    if (!stepRecord(m_archive->recordset(), false))
        return;
    TryToDisplay();
    h1DownHeld = true;
    setRepeat(true);
}

void Viewer::H1Up_MouseDown()
{
    h1UpHeld = true;
    if (!stepRecord(m_archive->recordset(), true))
        return;
    TryToDisplay();
    setRepeat(true);
}

void Viewer::H2Down_MouseDown()
{
    h2DownHeld = true;
    emit resultStep(-1);
    setRepeat(true);
}

void Viewer::H2Up_MouseDown()
{
    h2UpHeld = true;
    emit resultStep(+1);
    setRepeat(true);
}

void Viewer::H1Down_MouseUp()
{
    h1DownHeld = false;
    setRepeat(false);
}

void Viewer::H1Up_MouseUp()
{
    h1UpHeld = false;
    setRepeat(false);
}

void Viewer::H2Down_MouseUp()
{
    h2DownHeld = false;
    setRepeat(false);
}

void Viewer::H2Up_MouseUp()
{
    h2UpHeld = false;
    setRepeat(false);
}

void Viewer::Timer3_Timer()
{
    // At the end of the table the tick renders nothing; the repeat goes on.
    if (h1DownHeld && !stepRecord(m_archive->recordset(), false))
        return;
    if (h1UpHeld && !stepRecord(m_archive->recordset(), true))
        return;
    if (h2DownHeld)
        emit resultStep(-1);
    if (h2UpHeld)
        emit resultStep(+1);
    TryToDisplay();
}

// ---- the slider ----

void Viewer::showMessageNumber(qint32 messnum)
{
    Recordset *const rs = m_archive->recordset();
    if (!rs)
        return;
    rs->moveFirst();
    // An error (there is none for this criterion on a sound file) is taken as no match.
    if (rs->findFirst(QStringLiteral("messnum = ") + QString::number(messnum)) == Recordset::FindResult::Found)
        TryToDisplay();
    else
        // The view keeps the previous message, and so does the cursor.
        followShown();
}

void Viewer::followShown()
{
    Recordset *const rs = m_archive->recordset();
    if (!rs)
        return;
    if (shownMsgNum.isEmpty())
        return;
    if (m_shownGeneration == m_archive->generation()) {
        rs->setBookmark(m_shownPlace);
        if (rs->hasCurrent() && rs->field(QStringLiteral("messnum")).toString() == shownMsgNum)
            return;
    }
    // Deleted, or the database opened anew: the first record of its number, if any is left.
    rs->moveFirst();
    if (rs->findFirst(QStringLiteral("messnum = ") + shownMsgNum) != Recordset::FindResult::Found)
        rs->moveFirst();
}

void Viewer::showFirstStored()
{
    Recordset *const rs = m_archive->recordset();
    if (rs && rs->moveFirst() && rs->hasCurrent())
        TryToDisplay();
}

void Viewer::step(int delta)
{
    followShown();
    if (stepRecord(m_archive->recordset(), delta > 0))
        TryToDisplay();
}

void Viewer::showOnSlider(qint32 n)
{
    sliderMsgNum = n;
    if (hscroll1->value() != n && n >= hscroll1->minimum() && n <= hscroll1->maximum()) {
        hscroll1->setValue(n); // its change handling finds and renders n
    } else {
        // The slider would raise no change (it stands at n already, so the view may show
        // a message the buttons stepped to) or would put n out of its range.
        showMessageNumber(n);
    }
}

void Viewer::showAgain(qint32 n)
{
    sliderMsgNum = n;
    // The page is written again only when it no longer holds this message: the buttons
    // may have rendered another one since, and the updater uses the file as scratch space.
    if (messagePageShows(n))
        m_web1->navigate(m_pagePath);
    else
        showMessageNumber(n);
}

void Viewer::hscroll1_Change()
{
    sliderMsgNum = hscroll1->value();
    showMessageNumber(sliderMsgNum);
}

void Viewer::hscroll1_Scroll()
{
    m_pane->setPageFocusPending(false);
    // While the thumb is held the value still names where the drag began.
    sliderMsgNum = hscroll1->sliderPosition();
    showMessageNumber(sliderMsgNum);
}

void Viewer::setLastNumber(qint32 last)
{
    hscroll1->setMaximum(last);
}

void Viewer::extendTo(qint32 n)
{
    // A number fetched again later lies below the others: the slider keeps its reach.
    if (n > hscroll1->maximum())
        hscroll1->setMaximum(n);
}

bool Viewer::reaches(qint32 n) const
{
    return n <= hscroll1->maximum();
}

void Viewer::showFirst()
{
    showOnSlider(1);
}

void Viewer::start(qint32 last, bool counted, qint32 startAt)
{
    if (counted)
        hscroll1->setMaximum(last);
    if (startAt > 0 && counted) {
        Recordset *const rs = m_archive->recordset();
        if (rs && rs->moveFirst()
            && rs->findFirst(QStringLiteral("messnum = ") + QString::number(startAt)) == Recordset::FindResult::Found) {
            showOnSlider(startAt);
            return;
        }
    }
    // From 1 to 2 and back: the first message is rendered even where the slider stood at 1.
    hscroll1->setValue(1);
    hscroll1->setValue(2);
    hscroll1->setValue(1);
}

void Viewer::resume(qint32 last, bool counted)
{
    if (counted)
        extendTo(last);
    if (shownMsgNum.isEmpty())
        start(last, counted);
    else
        followShown();
}
