// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultlistwidget.h"

#include "store/messagedate.h"
#include "results/resultline.h"

#include <QHeaderView>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include <algorithm>
#include <numeric>

namespace {

const QString kSeparator = QStringLiteral(" : ");
// The subject takes what the others leave: at the list's first width about a third.
constexpr int kDefaultWidths[] = {48, 0, 110, 74};
constexpr int kPadding = 3;

QString unflaggedDate(const QString &stored)
{
    return stored.startsWith(QLatin1String("-1")) ? stored.mid(2) : stored;
}

// The day alone, in a form that reads the same in every order; the page shows the whole
// date. A date that cannot be read is shown as stored.
QString shownDate(const QString &stored)
{
    if (const auto moment = MessageDate::read(stored))
        return moment->toString(QStringLiteral("yyyy-MM-dd"));
    return unflaggedDate(stored);
}

// An entry with the key it is sorted by in the chosen column.
struct SortEntry
{
    QString line;
    qint32 number = 0;
    QString text;       // subject or author
    qint64 when = 0;    // date, as milliseconds
    bool dated = false; // undated entries come after the dated ones
};

std::vector<SortEntry> sortEntriesOf(const ResultListWidget &list, int column)
{
    std::vector<SortEntry> entries(static_cast<size_t>(list.count()));
    for (int row = 0; row < list.count(); ++row) {
        SortEntry &entry = entries[size_t(row)];
        entry.line = list.item(row)->text();
        entry.number = ResultLine::number(entry.line).value_or(0);
        if (column == ResultListWidget::SubjectColumn) {
            entry.text = ResultListWidget::subjectText(entry.line);
        } else if (column == ResultListWidget::AuthorColumn) {
            // A name in quotes sorts under its first letter, not before every other.
            entry.text = list.details(entry.number).author;
            entry.text.remove(0, qsizetype(entry.text.startsWith(u'"')));
        } else if (column == ResultListWidget::DateColumn) {
            const QString date = list.details(entry.number).date;
            if (const auto moment = MessageDate::read(date)) {
                entry.when = moment->toMSecsSinceEpoch();
                entry.dated = true;
            } else {
                entry.text = unflaggedDate(date);
            }
        }
    }
    return entries;
}

bool sortsBefore(const SortEntry &x, const SortEntry &y, int column)
{
    switch (column) {
    case ResultListWidget::SubjectColumn:
    case ResultListWidget::AuthorColumn:
        return x.text.compare(y.text, Qt::CaseInsensitive) < 0;
    case ResultListWidget::DateColumn:
        if (x.dated != y.dated)
            return x.dated;
        return x.dated ? x.when < y.when : x.text.compare(y.text, Qt::CaseInsensitive) < 0;
    default:
        return x.number < y.number;
    }
}

// The rows of `entries` in the column's order.
std::vector<int> sortedRows(const std::vector<SortEntry> &entries, int column, Qt::SortOrder order)
{
    std::vector<int> rows(entries.size());
    std::iota(rows.begin(), rows.end(), 0);
    // Equal keys keep the entries' number order whichever way the column is sorted.
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const SortEntry &x = entries[size_t(a)];
        const SortEntry &y = entries[size_t(b)];
        if (sortsBefore(x, y, column))
            return order == Qt::AscendingOrder;
        if (sortsBefore(y, x, column))
            return order == Qt::DescendingOrder;
        return x.number < y.number;
    });
    return rows;
}

// Draws an entry's columns where the header's sections are.
class ColumnsDelegate final : public QStyledItemDelegate
{
public:
    explicit ColumnsDelegate(ResultListWidget *list)
        : QStyledItemDelegate(list)
        , m_list(list)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString line = opt.text;
        opt.text.clear();
        QStyle *const style = opt.widget ? opt.widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const auto number = ResultLine::number(line);
        const ResultListWidget::Details details = number ? m_list->details(*number) : ResultListWidget::Details();
        const QString texts[ResultListWidget::ColumnCount] = {ResultListWidget::numberText(line),
                                                              ResultListWidget::subjectText(line), details.author,
                                                              shownDate(details.date)};
        const QHeaderView *const header = m_list->header();
        painter->save();
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                          selected ? QPalette::HighlightedText : QPalette::Text));
        for (int column = 0; column < ResultListWidget::ColumnCount; ++column) {
            if (header->isSectionHidden(column))
                continue;
            QRect cell(header->sectionViewportPosition(column), opt.rect.top(), header->sectionSize(column),
                       opt.rect.height());
            cell.adjust(kPadding, 0, -kPadding, 0);
            if (cell.width() <= 0)
                continue;
            const Qt::Alignment align =
                Qt::AlignVCenter | (column == ResultListWidget::NumberColumn ? Qt::AlignRight : Qt::AlignLeft);
            painter->drawText(cell, int(align), opt.fontMetrics.elidedText(texts[column], Qt::ElideRight, cell.width()));
        }
        painter->restore();
    }

private:
    ResultListWidget *m_list;
};

}

ResultListWidget::ResultListWidget(QWidget *parent)
    : QListWidget(parent)
    , m_header(new QHeaderView(Qt::Horizontal, this))
    , m_headerModel(new QStandardItemModel(0, ColumnCount, this))
{
    m_headerModel->setHorizontalHeaderLabels(
        {QStringLiteral("No."), QStringLiteral("Subject"), QStringLiteral("Author"), QStringLiteral("Date")});
    m_header->setObjectName(QStringLiteral("List1Header"));
    m_header->setModel(m_headerModel);
    m_header->setSectionsClickable(true);
    m_header->setSortIndicatorShown(true);
    m_header->setSortIndicator(NumberColumn, Qt::AscendingOrder);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setMinimumSectionSize(24);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setSectionResizeMode(SubjectColumn, QHeaderView::Stretch);
    setColumnWidths({});
    setItemDelegate(new ColumnsDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);

    connect(m_header, &QHeaderView::sectionResized, viewport(), qOverload<>(&QWidget::update));
    // The header turns its indicator before it tells of the click: the first click on a
    // column sorts it upwards, the next one the other way.
    for (int column = 0; column < ColumnCount; ++column)
        m_headerModel->setHeaderData(column, Qt::Horizontal, int(Qt::AscendingOrder), Qt::InitialSortOrderRole);
    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int column) { sortEntries(column, m_header->sortIndicatorOrder()); });
    connect(model(), &QAbstractItemModel::modelReset, this, &ResultListWidget::listCleared);
}

ResultListWidget::~ResultListWidget()
{
    // The list's model is cleared while the base class tears down, after this class's
    // members are gone.
    disconnect(model(), nullptr, this, nullptr);
}

void ResultListWidget::setDetailsSource(DetailsSource source)
{
    m_source = std::move(source);
    forgetDetails();
}

void ResultListWidget::forgetDetails()
{
    m_details.clear();
    viewport()->update();
}

ResultListWidget::Details ResultListWidget::details(qint32 messnum) const
{
    if (const auto found = m_details.constFind(messnum); found != m_details.constEnd())
        return *found;
    Details details;
    if (m_source)
        details = m_source(messnum).value_or(Details());
    m_details.insert(messnum, details);
    return details;
}

QHeaderView *ResultListWidget::header() const
{
    return m_header;
}

int ResultListWidget::sortColumn() const
{
    return m_header->sortIndicatorSection();
}

Qt::SortOrder ResultListWidget::sortOrder() const
{
    return m_header->sortIndicatorOrder();
}

QString ResultListWidget::numberText(const QString &line)
{
    const qsizetype at = line.indexOf(kSeparator);
    return at < 0 ? line : line.left(at);
}

QString ResultListWidget::subjectText(const QString &line)
{
    const qsizetype at = line.indexOf(kSeparator);
    return at < 0 ? QString() : line.mid(at + kSeparator.size());
}

void ResultListWidget::sortEntries(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_header->setSortIndicator(column, order);
    const int rows = count();
    if (rows < 2)
        return;

    const std::vector<SortEntry> entries = sortEntriesOf(*this, column);
    const std::vector<int> sorted = sortedRows(entries, column, order);
    const int selected = currentRow();
    QStringList lines;
    lines.reserve(rows);
    int selectedNow = -1;
    for (int i = 0; i < rows; ++i) {
        const int from = sorted[size_t(i)];
        if (from == selected)
            selectedNow = i;
        lines << entries[size_t(from)].line;
    }
    {
        // The same entries in another order: no entry was picked, so no selection change is told.
        const QSignalBlocker blockList(this);
        const QSignalBlocker blockSelection(selectionModel());
        m_reordering = true;
        clear();
        addItems(lines);
        m_reordering = false;
        if (selectedNow >= 0) {
            setCurrentRow(selectedNow);
            scrollToItem(item(selectedNow));
        }
    }
    viewport()->update();
    emit reordered(selectedNow);
}

QList<int> ResultListWidget::columnWidths() const
{
    QList<int> widths;
    for (int column = 0; column < ColumnCount; ++column)
        widths << m_header->sectionSize(column);
    return widths;
}

void ResultListWidget::setColumnWidths(const QList<int> &widths)
{
    const bool given = widths.size() == ColumnCount;
    for (int column = 0; column < ColumnCount; ++column) {
        if (column == SubjectColumn)
            continue; // takes what the others leave
        m_header->resizeSection(column, given ? widths.at(column) : kDefaultWidths[column]);
    }
}

void ResultListWidget::updateGeometries()
{
    const int height = m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - height, area.width(), height);
    QListWidget::updateGeometries();
}

void ResultListWidget::listCleared()
{
    if (m_reordering)
        return;
    // A new listing is in number order, the order its run meets the records.
    m_header->setSortIndicator(NumberColumn, Qt::AscendingOrder);
    m_details.clear();
}
