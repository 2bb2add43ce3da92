// Deletion marks: the flag button of the message in view, the walk that flags or
// unflags every listed message, and the list of every flagged message.
#include "app/form1.h"
#include "ui_form1.h"

#include "app/eventyield.h"
#include "app/icons.h"
#include "maint/deletionmark.h"
#include "store/recordset.h"
#include "view/resultline.h"
#include "view/resultlist.h"

#include <QApplication>

namespace {

// More than this many entries end the listing of flagged messages.
constexpr int kFlaggedListLimit = 30000;

QString numberCriteria(const QString &messnum)
{
    return QStringLiteral("messnum = ") + messnum;
}

}

void Form1::connectMarking()
{
    connect(ui->CmdMarkDelete, &QToolButton::clicked, this, &Form1::CmdMarkDelete_Click);
    connect(ui->CmdMarkRange, &QToolButton::clicked, this, &Form1::CmdMarkRange_Click);
    connect(ui->cmdCheckDelete, &QToolButton::clicked, this, &Form1::cmdCheckDelete_Click);
}

void Form1::setMarkDeleteMarked(bool marked, MarkWording wording)
{
    // The button is given the holders' own picture objects, never copies, so
    // markRangeShowsSave can tell them apart by identity.
    ui->CmdMarkDelete->setIcon(marked ? Icons::trashIcon() : Icons::saveIcon());
    if (!marked)
        ui->CmdMarkDelete->setToolTip(QStringLiteral("Add deletion flag to current message"));
    else if (wording == MarkWording::From)
        ui->CmdMarkDelete->setToolTip(QStringLiteral("Remove deletion flag from current message"));
    else
        ui->CmdMarkDelete->setToolTip(QStringLiteral("Remove deletion flag to current message"));
}

void Form1::setMarkRangeMarked(bool marked)
{
    QLabel *const holder = marked ? ui->PicTrash : ui->PicSave;
    ui->CmdMarkRange->setIcon(marked ? Icons::trashIcon() : Icons::saveIcon());
    ui->CmdMarkRange->setToolTip(holder->toolTip());
}

bool Form1::markRangeShowsSave() const
{
    return ui->CmdMarkRange->icon().cacheKey() == Icons::saveIcon().cacheKey();
}

void Form1::reportMarkFailure(const QString &what, const QString &reason)
{
    ui->lblResults->setText(u' ' + what + QStringLiteral(": ") + reason);
}

void Form1::CmdMarkDelete_Click()
{
    Recordset *const rs = m_data1.get();
    if (!rs) {
        reportMarkFailure(QStringLiteral("The message could not be flagged"), QStringLiteral("no message database is open"));
        return;
    }
    // A search leaves the cursor on the first record and a walk on its last entry; the
    // button acts on the message in view.
    // No current record reads as no number.
    if (rs->field(QStringLiteral("messnum")).toString() != m_state.shownMsgNum)
        rs->findFirst(numberCriteria(m_state.shownMsgNum));
    const QVariant date = rs->field(QStringLiteral("messdate"));
    if (!date.isValid() || rs->field(QStringLiteral("messnum")).toString() != m_state.shownMsgNum) {
        reportMarkFailure(QStringLiteral("Message %1 could not be flagged").arg(m_state.shownMsgNum), rs->lastError());
        return;
    }
    const QString text = date.toString();
    const bool marking = !DeletionMark::isMarked(text);
    if (!rs->updateField(QStringLiteral("messdate"), marking ? DeletionMark::marked(text) : DeletionMark::unmarked(text))) {
        // The button keeps showing what the record holds.
        reportMarkFailure(QStringLiteral("Message %1 could not be flagged").arg(m_state.shownMsgNum), rs->lastError());
        return;
    }
    setMarkDeleteMarked(marking, MarkWording::To);
}

void Form1::CmdMarkRange_Click()
{
    EnableOff();
    m_state.displayEnabled = false;
    const bool marking = markRangeShowsSave();
    setMarkRangeMarked(marking);
    QCoreApplication::processEvents();

    QListWidget *const list1 = ui->List1;
    if (list1->count() > 1) {
        list1->setCurrentRow(1);
        QCoreApplication::processEvents();
        list1->setCurrentRow(0);
    }
    EventYield yield;
    // The count is read afresh: the events let run may have emptied the list.
    for (int i = 0; i < list1->count(); ++i) {
        if (m_state.interruptFlag)
            break;
        const QString line = list1->item(i)->text();
        // Selecting moves the cursor only when the number differs from the one selected
        // last; a search leaves the cursor on the first record.
        list1->setCurrentRow(i);
        Recordset *rs = m_data1.get();
        const std::optional<qint32> number = ResultLine::number(line);
        if (!rs)
            break;
        if (!number)
            continue;
        const QString messnum = QString::number(*number);
        if (rs->field(QStringLiteral("messnum")).toString() != messnum) {
            if (rs->findFirst(numberCriteria(messnum)) == Recordset::FindResult::Error) {
                reportMarkFailure(QStringLiteral("Flagging stopped at message %1").arg(messnum), rs->lastError());
                break;
            }
        }
        if (!yieldInWalk(yield, rs))
            break;

        const QVariant date = rs->field(QStringLiteral("messdate"));
        if (!date.isValid() || rs->field(QStringLiteral("messnum")).toString() != messnum) {
            reportMarkFailure(QStringLiteral("Message %1 was skipped").arg(messnum),
                              date.isValid() ? QStringLiteral("it is no longer in the database") : rs->lastError());
            continue;
        }
        const QString text = date.toString();
        setMarkDeleteMarked(marking, MarkWording::To);
        if (!rs->updateField(QStringLiteral("messdate"), marking ? DeletionMark::marked(text) : DeletionMark::unmarked(text)))
            reportMarkFailure(QStringLiteral("Message %1 was skipped").arg(messnum), rs->lastError());
    }

    m_state.displayEnabled = true;
    EnableOn();
    if (list1->count() > 0)
        ui->CmdMarkDelete->setEnabled(true);
}

bool Form1::yieldInWalk(EventYield &yield, Recordset *rs)
{
    // Other commands may move the shared cursor meanwhile; the walk goes on from its own.
    const Recordset::Bookmark at = rs->bookmark();
    if (!yield())
        return true;
    if (m_data1.get() != rs)
        return false;
    rs->setBookmark(at);
    return true;
}

QString Form1::walkFlagCandidates(const QString &startText, const std::function<bool(Recordset &)> &visit)
{
    QLabel *const results = ui->lblResults;
    EnableOff();
    ui->List1->clear();
    m_state.interruptFlag = false;
    ResultList::setForeColor(results, ResultList::kRunningColor);
    ui->HPic2->hide();
    results->clear();

    const QString criteria = DeletionMark::candidateCriteria();
    QString failure;
    Recordset *rs = m_data1.get();
    Recordset::FindResult found = Recordset::FindResult::NoMatch;
    if (rs) {
        rs->moveFirst();
        results->setText(startText);
        QCoreApplication::processEvents();
        rs = m_data1.get();
        if (rs)
            found = rs->findFirst(criteria);
    }
    EventYield yield;
    while (rs && found == Recordset::FindResult::Found) {
        if (!visit(*rs))
            break;
        if (!yieldInWalk(yield, rs))
            break;
        // On from the current position, so one pass over the table suffices. A find that
        // fails ends the walk like one that finds nothing, with the reason.
        found = rs->findNext(criteria);
        if (found == Recordset::FindResult::Error)
            failure = rs->lastError();
        if (m_state.interruptFlag) {
            rs->moveFirst();
            ui->hscroll1->setValue(1);
            break;
        }
    }
    ResultList::setForeColor(results, ResultList::kDoneColor);
    return failure;
}

void Form1::cmdCheckDelete_Click()
{
    QListWidget *const list1 = ui->List1;
    QLabel *const results = ui->lblResults;
    ResultList::Batch batch(list1);
    ResultList::Progress progress(results);
    const QString failure = walkFlagCandidates(QStringLiteral(" Searcing"), [&](Recordset &rs) {
        const qint32 messnum = rs.field(QStringLiteral("messnum")).toInt();
        if (DeletionMark::isMarked(rs.field(QStringLiteral("messdate")).toString()))
            batch.add(ResultLine::text(messnum, rs.field(QStringLiteral("messtitle")).toString()));
        if (batch.count() > kFlaggedListLimit)
            return false;
        progress.show(messnum, batch.count());
        return true;
    });
    batch.flush();

    const int count = list1->count();
    if (count >= 1) {
        ui->CmdMarkRange->setEnabled(true);
        setMarkRangeMarked(true);
        QString text = u' ' + QString::number(count) + QStringLiteral(" Found");
        if (!failure.isEmpty())
            text += QStringLiteral(" - the search stopped: ") + failure;
        results->setText(text);
        ui->hscroll2->setMaximum(count - 1);
        ui->HPic2->show();
        list1->setCurrentRow(0);
        // The busy state still holds the list disabled, and a disabled list takes no focus.
        list1->setEnabled(true);
        list1->setFocus(Qt::OtherFocusReason);
    } else {
        results->setText(failure.isEmpty() ? QStringLiteral(" There Are Crrently No Messages Marked For Deletion")
                                           : QStringLiteral(" The search stopped: ") + failure);
        if (m_data1)
            m_data1->moveFirst();
        ui->hscroll1->setValue(1);
    }
    EnableOn();
}
