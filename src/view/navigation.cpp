#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browser.h"
#include "store/recordset.h"
#include "view/resultline.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <optional>
#include <utility>

void Form1::connectViewing()
{
    // Each button's mouse down and up; the space key on a focused button raises the same.
    const struct
    {
        QToolButton *button;
        void (Form1::*down)();
        void (Form1::*up)();
    } buttons[] = {
        {ui->H1Down, &Form1::H1Down_MouseDown, &Form1::H1Down_MouseUp},
        {ui->H1Up, &Form1::H1Up_MouseDown, &Form1::H1Up_MouseUp},
        {ui->H2Down, &Form1::H2Down_MouseDown, &Form1::H2Down_MouseUp},
        {ui->H2Up, &Form1::H2Up_MouseDown, &Form1::H2Up_MouseUp},
    };
    for (const auto &b : buttons) {
        connect(b.button, &QToolButton::pressed, this, b.down);
        connect(b.button, &QToolButton::released, this, b.up);
    }
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);

    // Without tracking a drag reports the thumb through sliderMoved (the "scroll"
    // notification) and sets the value, raising valueChanged (the "change" notification),
    // once when the thumb is let go; so a drag step is rendered once, not twice. The drag
    // cancels the focus hand-over: the value changes the program makes (start-up, the
    // result list, the buttons) leave it alone.
    ui->hscroll1->setTracking(false);
    ui->hscroll2->setTracking(false);
    connect(ui->hscroll1, &QScrollBar::valueChanged, this, &Form1::hscroll1_Change);
    connect(ui->hscroll1, &QScrollBar::sliderMoved, this, &Form1::hscroll1_Scroll);
    connect(ui->hscroll2, &QScrollBar::valueChanged, this, &Form1::hscroll2_Change);
    connect(ui->hscroll2, &QScrollBar::sliderMoved, this, &Form1::hscroll2_Scroll);

    // A selection change (a click on another entry, the keys, or the program) runs the
    // click handling; a click on the entry already selected changes nothing, so the
    // mouse events catch that one.
    connect(ui->List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_SelectionChanged);
    ui->List1->installEventFilter(this);
    ui->List1->viewport()->installEventFilter(this);

    connect(ui->MenuViewOriginal, &QAction::triggered, this, &Form1::MenuViewOriginal_Click);
}

bool Form1::viewEventFilter(QObject *watched, QEvent *event)
{
    QListWidget *const list = ui->List1;
    if (watched == list && event->type() == QEvent::KeyPress) {
        // Tab moves on to the next control, as it does everywhere else.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (!text.isEmpty())
            List1_KeyPress(text.at(0).unicode());
        return false; // the list still handles the key
    }
    if (watched != list->viewport() || !list->isEnabled())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int row = list->indexAt(mouse->position().toPoint()).row();
        m_list1PressedRow = (mouse->button() == Qt::LeftButton && row >= 0 && row == selectedResultRow()) ? row : -1;
        break;
    }
    case QEvent::MouseButtonDblClick:
        // The second press of a double click is no click of its own.
        m_list1PressedRow = -1;
        break;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int pressed = std::exchange(m_list1PressedRow, -1);
        if (mouse->button() == Qt::LeftButton && pressed >= 0
            && list->indexAt(mouse->position().toPoint()).row() == pressed && pressed == selectedResultRow())
            List1_Click();
        break;
    }
    default:
        break;
    }
    return false;
}

// ---- the next/previous buttons and their repeat ----

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

// One position along the results slider, unless that would pass its end.
void stepSlider(QScrollBar *slider, int delta)
{
    const int value = slider->value() + delta;
    if (value >= slider->minimum() && value <= slider->maximum())
        slider->setValue(value);
}

}

void Form1::H1Down_MouseDown()
{
    if (!stepRecord(m_data1.get(), false))
        return;
    TryToDisplay();
    m_state.h1DownHeld = true;
    setTimerEnabled(Timer3, true);
}

void Form1::H1Up_MouseDown()
{
    m_state.h1UpHeld = true;
    if (!stepRecord(m_data1.get(), true))
        return;
    TryToDisplay();
    setTimerEnabled(Timer3, true);
}

void Form1::H2Down_MouseDown()
{
    m_state.h2DownHeld = true;
    stepSlider(ui->hscroll2, -1);
    setTimerEnabled(Timer3, true);
}

void Form1::H2Up_MouseDown()
{
    m_state.h2UpHeld = true;
    stepSlider(ui->hscroll2, +1);
    setTimerEnabled(Timer3, true);
}

void Form1::H1Down_MouseUp()
{
    m_state.h1DownHeld = false;
    setTimerEnabled(Timer3, false);
}

void Form1::H1Up_MouseUp()
{
    m_state.h1UpHeld = false;
    setTimerEnabled(Timer3, false);
}

void Form1::H2Down_MouseUp()
{
    m_state.h2DownHeld = false;
    setTimerEnabled(Timer3, false);
}

void Form1::H2Up_MouseUp()
{
    m_state.h2UpHeld = false;
    setTimerEnabled(Timer3, false);
}

void Form1::Timer3_Timer()
{
    // At the end of the table the tick renders nothing; the repeat goes on.
    if (m_state.h1DownHeld && !stepRecord(m_data1.get(), false))
        return;
    if (m_state.h1UpHeld && !stepRecord(m_data1.get(), true))
        return;
    if (m_state.h2DownHeld)
        stepSlider(ui->hscroll2, -1);
    if (m_state.h2UpHeld)
        stepSlider(ui->hscroll2, +1);
    TryToDisplay();
}

// ---- the sliders ----

void Form1::showMessageNumber(qint32 messnum)
{
    if (!m_data1)
        return;
    m_data1->moveFirst();
    // An error (there is none for this criterion on a sound file) is taken as no match.
    if (m_data1->findFirst(QStringLiteral("messnum = ") + QString::number(messnum)) == Recordset::FindResult::Found)
        TryToDisplay();
}

void Form1::hscroll1_Change()
{
    m_state.sliderMsgNum = ui->hscroll1->value();
    showMessageNumber(m_state.sliderMsgNum);
}

void Form1::hscroll1_Scroll()
{
    setTimerEnabled(Timer2, false);
    // While the thumb is held the value still names where the drag began.
    m_state.sliderMsgNum = ui->hscroll1->sliderPosition();
    showMessageNumber(m_state.sliderMsgNum);
}

void Form1::hscroll2_Change()
{
    hscroll2_Select(ui->hscroll2->value());
}

void Form1::hscroll2_Scroll()
{
    setTimerEnabled(Timer2, false);
    hscroll2_Select(ui->hscroll2->sliderPosition());
}

void Form1::hscroll2_Select(int index)
{
    QListWidget *const list = ui->List1;
    if (index > list->count() - 1 || m_state.listSyncing)
        return;
    if (selectedResultRow() < 0)
        return;
    list->setCurrentRow(index);
    list->setFocus(Qt::OtherFocusReason);
}

// ---- the result list ----

int Form1::selectedResultRow() const
{
    const QList<QListWidgetItem *> selected = ui->List1->selectedItems();
    return selected.isEmpty() ? -1 : ui->List1->row(selected.first());
}

void Form1::List1_SelectionChanged()
{
    // A selection that was only taken away selects nothing to show.
    if (selectedResultRow() >= 0)
        List1_Click();
}

void Form1::List1_Click()
{
    setTimerEnabled(Timer2, false);
    QListWidget *const list = ui->List1;
    if (list->count() == 0)
        return;
    const int row = selectedResultRow();
    if (row < 0)
        return;
    const std::optional<qint32> number = ResultLine::number(list->item(row)->text());
    if (!number)
        return;
    const qint32 n = *number;
    m_state.sliderMsgNum = n;
    searchHitShown();

    if (n == m_state.listMsgNum) {
        // Brings the message back after the user has browsed elsewhere. The page is
        // written again only when it no longer holds this message: the buttons may have
        // rendered another one since, and the updater uses the file as scratch space.
        if (messagePageShows(n))
            m_web1->navigate(messagePagePath());
        else
            showMessageNumber(n);
        return;
    }

    m_state.listMsgNum = n;
    QScrollBar *const slider = ui->hscroll1;
    if (slider->value() != n && n >= slider->minimum() && n <= slider->maximum()) {
        slider->setValue(n); // its change handling finds and renders n
    } else {
        // The slider would raise no change (it stands at n already, so the view may show
        // a message the buttons stepped to) or would put n out of its range.
        showMessageNumber(n);
    }
    m_state.listSyncing = true;
    ui->hscroll2->setValue(row);
    m_state.listSyncing = false;
}

void Form1::List1_KeyPress(int)
{
    setTimerEnabled(Timer2, false);
    setFocus(Qt::OtherFocusReason);
}
