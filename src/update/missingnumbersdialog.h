// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/missednumbers.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

// View > Missing Numbers: the numbers updates have not got yet, each with why it was
// missed and how often it was tried, and "Try Again Now", which asks for an update that
// tries every one of them at once.
class MissingNumbersDialog final : public QDialog
{
    Q_OBJECT

public:
    MissingNumbersDialog(const QList<MissedNumbers::Entry> &entries, bool canTry, QWidget *parent);

signals:
    void tryAgainNow();

private:
    QLabel *m_summary;
    QTableWidget *m_table;
    QPushButton *m_tryAgain;
};
