// The editor for the search history and the address list: a copy of the drop-down list
// in LstEdit, written back by "Save / Exit" and thrown away by "Undo / Exit". Nothing
// here writes a file; the lists reach History.txt and UrlList.txt at shut-down.
#include "app/form1.h"
#include "ui_form1.h"

#include <QSignalBlocker>

#include <limits>
#include <optional>

namespace {

const QString kHistory = QStringLiteral("history");
const QString kAddress = QStringLiteral("address");

// The row of the selected entry, -1 without one. The current row alone does not count:
// the list makes its first row current (unselected) when the keyboard focus enters it.
int selectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

QStringList listEntries(const QListWidget *list)
{
    QStringList entries;
    entries.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    return entries;
}

// Empties the box's list and text and fills the list; no entry is current, so the text
// stays empty. `keptText` goes back into the box afterwards when set.
void refill(QComboBox *box, const QStringList &entries, const std::optional<QString> &keptText)
{
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
    box->setEditText(keptText.value_or(QString()));
}

}

void Form1::connectListEditor()
{
    connectMenus({
        {ui->MnuEditHistory, &Form1::MnuEditHistory_Click},
        {ui->MnuClearHistory, &Form1::MnuClearHistory_Click},
        {ui->MnuEditAddress, &Form1::MnuEditAddress_Click},
        {ui->MnuClearAddress, &Form1::MnuClearAddress_Click},
    });
    // A selection by mouse or arrow key; a click on the entry already selected also
    // brings its text back into the edit box.
    connect(ui->LstEdit, &QListWidget::itemSelectionChanged, this, &Form1::LstEdit_Click);
    connect(ui->LstEdit, &QListWidget::itemClicked, this, &Form1::LstEdit_Click);
    connect(ui->Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui->CmdDelete, &QPushButton::clicked, this, &Form1::CmdDelete_Click);
    connect(ui->cmdSaveExit, &QPushButton::clicked, this, &Form1::cmdSaveExit_Click);
    connect(ui->CmdExit, &QPushButton::clicked, this, &Form1::CmdExit_Click);
    // TxtNull only takes the focus from the buttons; it lies behind the list.
    ui->TxtNull->setFocusPolicy(Qt::NoFocus);
    // A list file can hold longer entries than an edit box takes by default; cut, an entry
    // would count as changed as soon as it was selected.
    ui->Text1->setMaxLength(std::numeric_limits<int>::max());
}

void Form1::MnuEditHistory_Click()
{
    openListEditor(ui->Combo1, kHistory);
}

void Form1::MnuEditAddress_Click()
{
    openListEditor(ui->Combo2, kAddress);
}

void Form1::openListEditor(const QComboBox *source, const QString &which)
{
    if (source->count() == 0)
        return;
    m_state.editList = which;
    {
        // Filling is no selection by the user.
        const QSignalBlocker blocker(ui->LstEdit);
        ui->LstEdit->clear();
        ui->LstEdit->addItems(comboEntries(source));
    }
    ui->PicEdit->show();
    ui->PicDeleteMarked->hide();
}

void Form1::LstEdit_Click()
{
    const int row = selectedRow(ui->LstEdit);
    if (row < 0)
        return;
    ui->CmdDelete->setEnabled(true);
    ui->Command2->setEnabled(false);
    ui->Text1->setText(ui->LstEdit->item(row)->text());
}

void Form1::Text1_Change()
{
    const int row = selectedRow(ui->LstEdit);
    if (row >= 0 && ui->Text1->text() != ui->LstEdit->item(row)->text())
        ui->Command2->setEnabled(true);
}

void Form1::Command2_Click()
{
    const int row = selectedRow(ui->LstEdit);
    if (row >= 0)
        ui->LstEdit->item(row)->setText(ui->Text1->text());
    ui->cmdSaveExit->setEnabled(true);
    ui->TxtNull->setFocus();
    ui->Command2->setEnabled(false);
}

void Form1::CmdDelete_Click()
{
    const int row = selectedRow(ui->LstEdit);
    if (row >= 0) {
        // No entry is selected afterwards; left to itself the list may select a neighbour.
        const QSignalBlocker blocker(ui->LstEdit);
        delete ui->LstEdit->takeItem(row);
        ui->LstEdit->clearSelection();
        ui->LstEdit->setCurrentItem(nullptr);
    }
    ui->CmdDelete->setEnabled(false);
    ui->cmdSaveExit->setEnabled(true);
    ui->TxtNull->setFocus();
    ui->Text1->clear();
}

void Form1::cmdSaveExit_Click()
{
    const QStringList entries = listEntries(ui->LstEdit);
    if (m_state.editList == kHistory)
        replaceHistory(entries);
    else if (m_state.editList == kAddress)
        replaceAddressList(entries);
    ui->cmdSaveExit->setEnabled(false);
    ui->TxtNull->setFocus();
    ui->PicEdit->hide();
    ui->CmdDelete->setEnabled(false);
}

void Form1::CmdExit_Click()
{
    ui->PicEdit->hide();
    ui->CmdDelete->setEnabled(false);
    ui->cmdSaveExit->setEnabled(false);
}

void Form1::MnuClearHistory_Click()
{
    replaceHistory({});
}

void Form1::MnuClearAddress_Click()
{
    replaceAddressList({});
}

void Form1::replaceHistory(const QStringList &entries)
{
    // A running search records the box's text in the history when it ends: emptied, the
    // text would come back as an empty entry and the term would be lost.
    refill(ui->Combo1, entries, m_searchRunning ? std::optional(ui->Combo1->currentText()) : std::nullopt);
    // ListSort gets the entries in the same order, as at start-up, so the next new term
    // is added to the edited history.
    ui->ListSort->clear();
    ui->ListSort->addItems(entries);
}

void Form1::replaceAddressList(const QStringList &entries)
{
    refill(ui->Combo2, entries, std::nullopt);
}
