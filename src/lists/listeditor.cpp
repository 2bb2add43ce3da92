// SPDX-License-Identifier: GPL-3.0-or-later
// The editor for the search history and the address list: a copy of the drop-down list
// in LstEdit, written back by "Save / Exit" and thrown away by "Undo / Exit". Nothing
// here writes a file; the lists reach History.txt and UrlList.txt at shut-down.
#include "lists/listeditor.h"

#include "widgets/combopicks.h"
#include "widgets/menuwiring.h"
#include "browser/browserpane.h"
#include "search/searchpanel.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <QSignalBlocker>

#include <limits>

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

}

ListEditor::ListEditor(const Controls &controls, SearchPanel *search, BrowserPane *pane, QObject *parent)
    : QObject(parent)
    , LstEdit(controls.LstEdit)
    , Text1(controls.Text1)
    , Command2(controls.Command2)
    , CmdDelete(controls.CmdDelete)
    , cmdSaveExit(controls.cmdSaveExit)
    , CmdExit(controls.CmdExit)
    , TxtNull(controls.TxtNull)
    , PicEdit(controls.PicEdit)
    , m_search(search)
    , m_pane(pane)
{
    connectMenus(this, {
        {controls.MnuEditHistory, &ListEditor::MnuEditHistory_Click},
        {controls.MnuClearHistory, &ListEditor::MnuClearHistory_Click},
        {controls.MnuEditAddress, &ListEditor::MnuEditAddress_Click},
        {controls.MnuClearAddress, &ListEditor::MnuClearAddress_Click},
    });
    // A selection by mouse or arrow key; a click on the entry already selected also
    // brings its text back into the edit box.
    connect(LstEdit, &QListWidget::itemSelectionChanged, this, &ListEditor::LstEdit_Click);
    connect(LstEdit, &QListWidget::itemClicked, this, &ListEditor::LstEdit_Click);
    connect(Text1, &QLineEdit::textChanged, this, &ListEditor::Text1_Change);
    connect(Command2, &QPushButton::clicked, this, &ListEditor::Command2_Click);
    connect(CmdDelete, &QPushButton::clicked, this, &ListEditor::CmdDelete_Click);
    connect(cmdSaveExit, &QPushButton::clicked, this, &ListEditor::cmdSaveExit_Click);
    connect(CmdExit, &QPushButton::clicked, this, &ListEditor::CmdExit_Click);
    // TxtNull only takes the focus from the buttons; it lies behind the list.
    TxtNull->setFocusPolicy(Qt::NoFocus);
    // A list file can hold longer entries than an edit box takes by default; cut, an entry
    // would count as changed as soon as it was selected.
    Text1->setMaxLength(std::numeric_limits<int>::max());
}

void ListEditor::MnuEditHistory_Click()
{
    openListEditor(m_search->historyEntries(), kHistory);
}

void ListEditor::MnuEditAddress_Click()
{
    openListEditor(m_pane->addressEntries(), kAddress);
}

void ListEditor::openListEditor(const QStringList &entries, const QString &which)
{
    if (entries.isEmpty())
        return;
    editList = which;
    {
        // Filling is no selection by the user.
        const QSignalBlocker blocker(LstEdit);
        LstEdit->clear();
        LstEdit->addItems(entries);
    }
    PicEdit->show();
    emit opened();
}

void ListEditor::hidePanel()
{
    PicEdit->hide();
}

QString ListEditor::editedList() const
{
    return editList;
}

void ListEditor::LstEdit_Click()
{
    const int row = selectedRow(LstEdit);
    if (row < 0)
        return;
    CmdDelete->setEnabled(true);
    Command2->setEnabled(false);
    Text1->setText(LstEdit->item(row)->text());
}

void ListEditor::Text1_Change()
{
    const int row = selectedRow(LstEdit);
    if (row >= 0 && Text1->text() != LstEdit->item(row)->text())
        Command2->setEnabled(true);
}

void ListEditor::Command2_Click()
{
    const int row = selectedRow(LstEdit);
    if (row >= 0)
        LstEdit->item(row)->setText(Text1->text());
    cmdSaveExit->setEnabled(true);
    TxtNull->setFocus();
    Command2->setEnabled(false);
}

void ListEditor::CmdDelete_Click()
{
    const int row = selectedRow(LstEdit);
    if (row >= 0) {
        // No entry is selected afterwards; left to itself the list may select a neighbour.
        const QSignalBlocker blocker(LstEdit);
        delete LstEdit->takeItem(row);
        LstEdit->clearSelection();
        LstEdit->setCurrentItem(nullptr);
    }
    CmdDelete->setEnabled(false);
    cmdSaveExit->setEnabled(true);
    TxtNull->setFocus();
    Text1->clear();
}

void ListEditor::cmdSaveExit_Click()
{
    const QStringList entries = listEntries(LstEdit);
    if (editList == kHistory)
        m_search->replaceHistory(entries);
    else if (editList == kAddress)
        m_pane->replaceAddressList(entries);
    cmdSaveExit->setEnabled(false);
    TxtNull->setFocus();
    PicEdit->hide();
    CmdDelete->setEnabled(false);
}

void ListEditor::CmdExit_Click()
{
    PicEdit->hide();
    CmdDelete->setEnabled(false);
    cmdSaveExit->setEnabled(false);
}

void ListEditor::MnuClearHistory_Click()
{
    m_search->replaceHistory({});
}

void ListEditor::MnuClearAddress_Click()
{
    m_pane->replaceAddressList({});
}
