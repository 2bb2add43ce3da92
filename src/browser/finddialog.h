// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWebEnginePage;

// The browser's find-on-page dialog, opened by Ctrl+F while the page has the focus.
// Modeless, so the user can keep reading while stepping through the hits.
class FindDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindDialog)
public:
    FindDialog(QWebEnginePage *page, QWidget *parent = nullptr);

    void findNext();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    QWebEnginePage *m_page;
    QLineEdit *m_text;
    QCheckBox *m_matchCase;
    QCheckBox *m_up;
    QLabel *m_result;
};
