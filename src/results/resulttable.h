// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTableView>

class ResultModel;

// The result list: a table of the hits (No., Subject, Author, Date) over a ResultModel, one
// row selected at a time. A screen reader meets it as a table with column headers and
// hears a row's four cells. A header click sorts it; every new listing is in number order.
class ResultTable final : public QTableView
{
    Q_OBJECT

public:
    explicit ResultTable(QWidget *parent = nullptr);

    void setHitModel(ResultModel *model);
    ResultModel *hits() const;

    int count() const;
    // The row of the current entry, -1 when none.
    int currentRow() const;
    // Selects the row's entry alone and makes it current (in view); -1 selects none.
    void setCurrentRow(int row);
    // The selected entry's row, -1 when none is selected.
    int selectedRow() const;
    // The entry's text, "n : subject".
    QString text(int row) const;

    int sortColumn() const;
    Qt::SortOrder sortOrder() const;
    // Puts the entries in the column's order; the selected entry stays selected without a
    // selection change being signalled.
    void sortEntries(int column, Qt::SortOrder order);

    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int> &widths);

signals:
    void currentRowChanged(int row);
    // Another entry was selected, or the selection was taken away.
    void entrySelectionChanged();
    // The entries were put in another order; `selectedRow` is where the selected one is now.
    void reordered(int selectedRow);

private:
    void keepHiddenPartsStill();
    void listingReset();

    ResultModel *m_hits = nullptr;
    bool m_reordering = false;
};
