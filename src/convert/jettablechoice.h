// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "convert/jettable.h"

#include <QDialog>

#include <array>

class QComboBox;
class QPushButton;

// Choosing where the messages of an Access file without a table "veltra" come from: one of
// its tables, and for each message field one of that table's columns (binary ones are not
// offered). Each field starts at the column the converter would suggest.
class JetTableChoice final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JetTableChoice)

public:
    JetTableChoice(const QString &intro, const QList<JetTable> &tables, QWidget *parent);

    // The table and columns chosen.
    JetColumns chosen() const;

private:
    void CboTable_Change();

    QList<JetTable> m_tables;
    QComboBox *CboTable;
    std::array<QComboBox *, MessageFields::kCount> m_fields{};
    QPushButton *CmdConvert;
};
