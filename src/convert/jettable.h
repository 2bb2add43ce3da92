// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "convert/jetconverter.h"
#include "convert/jetframe.h"

#include <QList>
#include <QString>
#include <QStringList>

// A user table of a Jet file, as the reader lists it, and the columns its message fields
// would come from when the user names none.
struct JetTable
{
    struct Column
    {
        QString name;
        JetFrame::ColumnKind kind = JetFrame::ColumnKind::Other;
    };
    QString name;
    QList<Column> columns; // none when its definition cannot be read

    // The columns a message field can come from: all but the binary ones, in the table's order.
    QStringList fieldColumns() const;
    // Each field from the column of its own name (in any letter case), else from the first
    // column not yet taken of the field's kind (whole numbers for messnum, dates for
    // messdate, memos for message, texts for the others), else from the first column not
    // yet taken, else from the table's first column. Nullopt without columns.
    std::optional<JetColumns> suggestedColumns() const;
    // How many fields the suggestion fills from a column of the field's name or kind.
    int fittingFields() const;

    // The table to show as an example among `tables`: the first whose suggestion fits
    // best. Null when none has a column to convert.
    static const JetTable *example(const QList<JetTable> &tables);
};
