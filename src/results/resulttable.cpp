// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resulttable.h"

#include "results/resultmodel.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>

namespace {

// The subject takes what the others leave: at the list's first width about a third. The
// date column fits a date in bold, as an unread entry shows it.
constexpr int kDefaultWidths[] = {48, 0, 110, 84};

}

ResultTable::ResultTable(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab moves on to the next control, as it does everywhere else.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // Every row has the same height: laying out 5,001 of them costs nothing.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    verticalHeader()->setMinimumSectionSize(1);

    keepHiddenPartsStill();

    QHeaderView *const columns = horizontalHeader();
    columns->setObjectName(QStringLiteral("List1Header"));
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(0, Qt::AscendingOrder);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(24);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The header turns its indicator before it tells of the click: the first click on a
    // column sorts it upwards (the model's initial order), the next one the other way.
    connect(columns, &QHeaderView::sectionClicked, this,
            [this](int column) { sortEntries(column, horizontalHeader()->sortIndicatorOrder()); });
}

void ResultTable::keepHiddenPartsStill()
{
    // The table is switched off and on with every search, and each widget inside it that
    // changes with it is announced to a screen reader twice: the parts never shown (the row
    // header, the scroll bars that are always off, the header's own) are off for good.
    QList<QWidget *> still{verticalHeader()};
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(this),
                                      static_cast<QAbstractScrollArea *>(horizontalHeader())}) {
        if (area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
            still << area->horizontalScrollBar()->parentWidget();
        if (area != this)
            still << area->verticalScrollBar()->parentWidget();
    }
    for (QWidget *part : still)
        part->setEnabled(false);
}

void ResultTable::setHitModel(ResultModel *model)
{
    m_hits = model;
    setModel(model);
    QHeaderView *const columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    setColumnWidths({});
    connect(model, &QAbstractItemModel::modelReset, this, &ResultTable::listingReset);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { emit currentRowChanged(current.isValid() ? current.row() : -1); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_reordering)
            emit entrySelectionChanged();
    });
}

ResultModel *ResultTable::hits() const
{
    return m_hits;
}

int ResultTable::count() const
{
    return m_hits ? m_hits->rowCount() : 0;
}

int ResultTable::currentRow() const
{
    return selectionModel() ? selectionModel()->currentIndex().row() : -1;
}

void ResultTable::setCurrentRow(int row)
{
    if (!selectionModel())
        return;
    if (row < 0 || row >= count()) {
        selectionModel()->clear();
        return;
    }
    const int column = std::max(0, currentIndex().column());
    selectionModel()->setCurrentIndex(model()->index(row, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int ResultTable::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString ResultTable::text(int row) const
{
    return m_hits->lineText(row);
}

int ResultTable::sortColumn() const
{
    return horizontalHeader()->sortIndicatorSection();
}

Qt::SortOrder ResultTable::sortOrder() const
{
    return horizontalHeader()->sortIndicatorOrder();
}

void ResultTable::sortEntries(int column, Qt::SortOrder order)
{
    if (!m_hits || column < 0 || column >= model()->columnCount())
        return;
    horizontalHeader()->setSortIndicator(column, order);
    if (count() < 2)
        return;
    {
        // The same entries in another order: no entry was picked, so no change is told.
        const QSignalBlocker blockSelection(selectionModel());
        m_reordering = true;
        m_hits->sort(column, order);
        m_reordering = false;
    }
    const int selected = selectedRow();
    if (selected >= 0)
        scrollTo(model()->index(selected, 0));
    viewport()->update();
    emit reordered(selected);
}

QList<int> ResultTable::columnWidths() const
{
    QList<int> widths;
    for (int column = 0; column < horizontalHeader()->count(); ++column)
        widths << horizontalHeader()->sectionSize(column);
    return widths;
}

void ResultTable::setColumnWidths(const QList<int> &widths)
{
    const int columns = horizontalHeader()->count();
    const bool given = widths.size() == columns;
    for (int column = 0; column < columns && column < int(std::size(kDefaultWidths)); ++column) {
        if (column == 1)
            continue; // the subject takes what the others leave
        horizontalHeader()->resizeSection(column, given ? widths.at(column) : kDefaultWidths[column]);
    }
}

void ResultTable::listingReset()
{
    // A new listing is in number order, the order its run meets the records.
    horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
}
