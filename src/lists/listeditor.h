// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class BrowserPane;
class QAction;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;
class SearchPanel;

// The editor for the search history and the address list: a copy of the drop-down list
// in LstEdit, written back by "Save / Exit" and thrown away by "Undo / Exit".
class ListEditor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListEditor)

public:
    struct Controls
    {
        QListWidget *LstEdit;
        QLineEdit *Text1;
        QPushButton *Command2;
        QPushButton *CmdDelete;
        QPushButton *cmdSaveExit;
        QPushButton *CmdExit;
        QWidget *TxtNull;
        QWidget *PicEdit;
        QAction *MnuEditHistory;
        QAction *MnuClearHistory;
        QAction *MnuEditAddress;
        QAction *MnuClearAddress;
    };

    ListEditor(const Controls &controls, SearchPanel *search, BrowserPane *pane, QObject *parent);

    void hidePanel();
    // "history" or "address": the list the panel was last opened on.
    QString editedList() const;

signals:
    void opened();

private:
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
    // Opens the panel on a copy of a drop-down list; nothing for an empty list.
    void openListEditor(const QStringList &entries, const QString &which);

    QListWidget *LstEdit;
    QLineEdit *Text1;
    QPushButton *Command2;
    QPushButton *CmdDelete;
    QPushButton *cmdSaveExit;
    QPushButton *CmdExit;
    QWidget *TxtNull;
    QWidget *PicEdit;
    SearchPanel *m_search;
    BrowserPane *m_pane;
    QString editList;
};
