// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultmodel.h"

#include "archive/messagearchive.h"
#include "convert/htmltext.h"
#include "results/resultline.h"
#include "store/messagedate.h"
#include "store/readstate.h"
#include "store/recordset.h"


#include <algorithm>
#include <numeric>

namespace {

// Rows read by one run of the page statement: about two screenfuls.
constexpr int kPageRows = 64;
// Fields kept for this many rows at most; more are read again when needed.
constexpr qsizetype kCachedRows = 4096;
// A cell shows no more of a text than this: a line is never that wide, and laying out a
// subject of 100,000 characters to elide it would hold up every paint of its row.
constexpr qsizetype kShownChars = 1000;

QString shown(const QString &text)
{
    return text.size() > kShownChars ? text.left(kShownChars) : text;
}

// The read state comes in the same read, so marking unread rows costs no query of its own.
QByteArray pageStatement(const QByteArray &unreadColumn)
{
    QByteArray sql = "SELECT id, messtitle, messauthor, messdate, " + unreadColumn + " FROM veltra WHERE id IN (?1";
    for (int i = 2; i <= kPageRows; ++i)
        sql += ",?" + QByteArray::number(i);
    return sql + ')';
}

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

// A row's key in the column sorted.
struct SortKey
{
    QString text;       // subject or author, case folded
    qint64 when = 0;    // date, as milliseconds
    bool dated = false; // undated rows come after the dated ones
};

SortKey sortKey(int column, const QString &subject, const QString &author, const QString &date)
{
    SortKey key;
    if (column == ResultModel::SubjectColumn) {
        key.text = subject.toCaseFolded();
    } else if (column == ResultModel::AuthorColumn) {
        // A name in quotes sorts under its first letter, not before every other.
        key.text = author.toCaseFolded();
        key.text.remove(0, qsizetype(key.text.startsWith(u'"')));
    } else if (column == ResultModel::DateColumn) {
        if (const auto moment = MessageDate::read(date)) {
            key.when = moment->toMSecsSinceEpoch();
            key.dated = true;
        } else {
            key.text = unflaggedDate(date).toCaseFolded();
        }
    }
    return key;
}

// -1, 0 or 1 as x sorts before, with or after y in the column (number order aside).
int compareKeys(const SortKey &x, const SortKey &y, int column)
{
    if (column == ResultModel::DateColumn) {
        if (x.dated != y.dated)
            return x.dated ? -1 : 1;
        if (x.dated)
            return x.when < y.when ? -1 : (y.when < x.when ? 1 : 0);
    }
    const int c = x.text.compare(y.text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}

ResultModel::ResultModel(MessageArchive *archive, QObject *parent)
    : QAbstractTableModel(parent)
    , m_archive(archive)
{
    // The hits belong to the database open now; statements must go before it closes.
    connect(archive, &MessageArchive::closing, this, &ResultModel::databaseClosing);
}

ResultModel::~ResultModel() = default;

int ResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int ResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const int row = index.row();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter
                                   | (index.column() == NumberColumn ? Qt::AlignRight : Qt::AlignLeft));
    if (role == Qt::FontRole)
        return isUnread(row) ? m_unreadFont : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case NumberColumn:
        return role == Qt::DisplayRole ? QVariant(QString::number(m_hits[size_t(row)].messnum)) : QVariant();
    case SubjectColumn:
        return shown(fields(row).subject);
    case AuthorColumn:
        return shown(fields(row).author);
    case DateColumn:
        return role == Qt::DisplayRole ? shownDate(fields(row).date) : unflaggedDate(fields(row).date);
    default:
        return QVariant();
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role != Qt::DisplayRole)
        return QVariant();
    static const char *const titles[ColumnCount] = {"No.", "Subject", "Author", "Date"};
    return QString::fromLatin1(titles[section]);
}

void ResultModel::clear()
{
    setHits({});
}

void ResultModel::setHits(std::vector<Hit> hits)
{
    beginResetModel();
    m_hits = std::move(hits);
    m_cache.clear();
    endResetModel();
}

void ResultModel::append(const std::vector<Hit> &hits)
{
    if (hits.empty())
        return;
    beginInsertRows(QModelIndex(), count(), count() + int(hits.size()) - 1);
    m_hits.insert(m_hits.end(), hits.begin(), hits.end());
    endInsertRows();
}

int ResultModel::count() const
{
    return int(m_hits.size());
}

qint32 ResultModel::number(int row) const
{
    return m_hits.at(size_t(row)).messnum;
}

QString ResultModel::lineText(int row) const
{
    return ResultLine::text(number(row), fields(row).subject);
}

QString ResultModel::subject(int row) const
{
    return fields(row).subject;
}

QString ResultModel::author(int row) const
{
    return fields(row).author;
}

QString ResultModel::storedDate(int row) const
{
    return fields(row).date;
}

int ResultModel::rowOf(qint32 messnum) const
{
    const auto at = std::find_if(m_hits.begin(), m_hits.end(), [&](const Hit &hit) { return hit.messnum == messnum; });
    return at == m_hits.end() ? -1 : int(at - m_hits.begin());
}

QList<qint32> ResultModel::numbers() const
{
    QList<qint32> out;
    out.reserve(count());
    for (const Hit &hit : m_hits)
        out << hit.messnum;
    return out;
}

void ResultModel::forgetFields()
{
    m_cache.clear();
    if (count() > 0)
        emit dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1));
}

bool ResultModel::isUnread(int row) const
{
    const ReadState *state = m_archive->readState();
    return fields(row).unread && state && !state->isMarked(number(row));
}

void ResultModel::setUnreadFont(const QVariant &font)
{
    m_unreadFont = font;
}

void ResultModel::readChanged(qint32 messnum)
{
    for (int row = 0; row < count(); ++row) {
        if (m_hits[size_t(row)].messnum == messnum)
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::FontRole});
    }
}

void ResultModel::databaseClosing()
{
    clear();
    m_page.finalize();
    m_firstRecord.finalize();
}

bool ResultModel::prepare() const
{
    Recordset *const rs = m_archive->recordset();
    if (!rs)
        return false;
    const ReadState *state = m_archive->readState();
    const bool readKept = state && state->isUsable();
    if (m_generation == m_archive->generation() && m_readKept == readKept && m_page.isPrepared()
        && m_firstRecord.isPrepared())
        return true;
    m_page.finalize();
    m_firstRecord.finalize();
    m_cache.clear();
    m_generation = m_archive->generation();
    m_readKept = readKept;
    // The first record of a number is the one picking its entry shows.
    return m_page.prepare(rs->connection(), pageStatement(state ? state->unreadColumn() : QByteArray("0")))
           && m_firstRecord.prepare(rs->connection(), "SELECT id FROM veltra WHERE messnum = ? ORDER BY id LIMIT 1");
}

void ResultModel::resolveRowids(int first, int last) const
{
    for (int row = first; row < last; ++row) {
        Hit &hit = m_hits[size_t(row)];
        if (hit.rowid != 0)
            continue;
        const ResetOnExit reset(m_firstRecord);
        if (m_firstRecord.bindInt64(1, hit.messnum) && m_firstRecord.step() == SqliteStatement::Step::Row)
            hit.rowid = m_firstRecord.columnInt64(0);
        else
            hit.rowid = -1; // no record: shown with its number alone
    }
}

template<typename Take>
void ResultModel::readRows(int first, int rows, Take take) const
{
    const int last = std::min(count(), first + rows);
    if (!prepare()) {
        for (int row = first; row < last; ++row)
            take(row, Fields());
        return;
    }
    for (int from = first; from < last; from += kPageRows) {
        const int to = std::min(last, from + kPageRows);
        resolveRowids(from, to);
        const ResetOnExit reset(m_page);
        for (int i = 0; i < kPageRows; ++i) {
            if (from + i < to)
                m_page.bindInt64(i + 1, m_hits[size_t(from + i)].rowid);
            else
                m_page.bindNull(i + 1);
        }
        // The rows come in rowid order; each is matched to its hits in the page.
        std::vector<bool> met(size_t(to - from), false);
        while (m_page.step() == SqliteStatement::Step::Row) {
            const qint64 id = m_page.columnInt64(0);
            const Fields read{HtmlText::shownField(m_page.columnBytes(1)), HtmlText::shownField(m_page.columnBytes(2)),
                              m_page.columnText(3), m_page.columnInt64(4) != 0};
            for (int row = from; row < to; ++row) {
                if (m_hits[size_t(row)].rowid == id) {
                    met[size_t(row - from)] = true;
                    take(row, read);
                }
            }
        }
        for (int row = from; row < to; ++row) {
            if (!met[size_t(row - from)])
                take(row, Fields());
        }
    }
}

const ResultModel::Fields &ResultModel::fields(int row) const
{
    static const Fields none;
    if (row < 0 || row >= count())
        return none;
    // Fields read from another database, or none while there is none, are not kept.
    if (!prepare())
        return none;
    if (const auto found = m_cache.constFind(m_hits[size_t(row)].rowid); found != m_cache.constEnd())
        return *found;
    if (m_cache.size() >= kCachedRows)
        m_cache.clear();
    // The page the row is in, as the view draws rows in screenfuls.
    readRows(row - row % kPageRows, kPageRows, [this](int at, const Fields &read) {
        m_cache.insert(m_hits[size_t(at)].rowid, read);
    });
    const auto found = m_cache.constFind(m_hits[size_t(row)].rowid);
    return found != m_cache.constEnd() ? *found : none;
}

void ResultModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || count() < 2)
        return;
    std::vector<SortKey> keys(m_hits.size());
    if (column != NumberColumn) {
        readRows(0, count(), [&](int row, const Fields &read) {
            keys[size_t(row)] = sortKey(column, read.subject, read.author, read.date);
        });
    }
    std::vector<int> rows(m_hits.size());
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const int c = column == NumberColumn ? 0 : compareKeys(keys[size_t(a)], keys[size_t(b)], column);
        if (c != 0)
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        const qint32 x = m_hits[size_t(a)].messnum;
        const qint32 y = m_hits[size_t(b)].messnum;
        if (column == NumberColumn && order == Qt::DescendingOrder)
            return y < x;
        return x < y;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(rows.size());
    std::vector<Hit> sorted(m_hits.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        sorted[i] = m_hits[size_t(rows[i])];
        newRowOf[size_t(rows[i])] = int(i);
    }
    m_hits = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after << this->index(newRowOf[size_t(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
