// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/faultedrecords.h"

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitevarint.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtEndian>

#include <sqlite3.h>

#include <vector>

namespace {

constexpr int kFileHeaderSize = 100;
constexpr int kWalHeaderSize = 32;
constexpr int kFrameHeaderSize = 24;
constexpr uchar kTableLeafPage = 0x0d;
// Table veltra's records: the rowid alias (stored as NULL) and the five message fields.
constexpr int kMessageColumns = 6;
// Every fault, however many pages are broken; the check's default stops at 100.
constexpr char kQuickCheck[] = "PRAGMA quick_check(2000000000)";

struct Cell
{
    quint32 page = 0;
    int index = 0;
};

// "On tree page 31 cell 0: ..." (SQLite 3.40), "Tree 2 page 31 cell 0: ..." (later ones).
std::vector<Cell> faultedCells(const QString &path)
{
    std::vector<Cell> cells;
    SqliteDb db;
    SqliteStatement check;
    // A file cut short is read as far as it goes rather than refused.
    if (!db.open(path, SQLITE_OPEN_READONLY) || !db.exec("PRAGMA writable_schema = ON")
        || !check.prepare(db, kQuickCheck, false))
        return cells;
    // The faults come as lines of one text.
    static const QRegularExpression cellText(QStringLiteral("page (\\d+) cell (\\d+):"));
    while (check.step() == SqliteStatement::Step::Row) {
        for (const QRegularExpressionMatch &match : cellText.globalMatch(check.columnText(0)))
            cells.push_back({match.captured(1).toUInt(), match.captured(2).toInt()});
    }
    return cells;
}

// The pages of a database file as SQLite reads them: a page the write-ahead log holds in
// a committed transaction is read from there.
class PageReader final
{
public:
    explicit PageReader(const QString &path)
        : m_file(path)
        , m_wal(path + QStringLiteral("-wal"))
    {
        if (!m_file.open(QIODevice::ReadOnly))
            return;
        const QByteArray header = m_file.read(kFileHeaderSize);
        if (header.size() < kFileHeaderSize)
            return;
        const int size = qFromBigEndian<quint16>(header.constData() + 16);
        m_pageSize = size == 1 ? 65536 : size;
        if (m_pageSize < 512 || (m_pageSize & (m_pageSize - 1)) != 0) {
            m_pageSize = 0;
            return;
        }
        m_usable = m_pageSize - quint8(header.at(20));
        readLog();
    }

    int usable() const { return m_usable; }

    QByteArray page(quint32 number)
    {
        if (m_pageSize == 0 || number == 0)
            return {};
        QFile &from = m_frames.contains(number) ? m_wal : m_file;
        const qint64 at = m_frames.contains(number) ? m_frames.value(number) : qint64(number - 1) * m_pageSize;
        if (!from.seek(at))
            return {};
        const QByteArray bytes = from.read(m_pageSize);
        return bytes.size() == m_pageSize ? bytes : QByteArray();
    }

private:
    // Frames count from the log's header on while they carry its salt; those after the
    // last commit belong to a transaction that never ended.
    void readLog()
    {
        if (!m_wal.open(QIODevice::ReadOnly))
            return;
        const QByteArray header = m_wal.read(kWalHeaderSize);
        if (header.size() < kWalHeaderSize || qFromBigEndian<quint32>(header.constData() + 8) != quint32(m_pageSize))
            return;
        const QByteArray salt = header.mid(16, 8);
        QHash<quint32, qint64> pending;
        for (qint64 at = kWalHeaderSize;; at += kFrameHeaderSize + m_pageSize) {
            if (!m_wal.seek(at))
                return;
            const QByteArray frame = m_wal.read(kFrameHeaderSize);
            if (frame.size() < kFrameHeaderSize || frame.mid(8, 8) != salt || m_wal.size() < at + kFrameHeaderSize + m_pageSize)
                return;
            pending.insert(qFromBigEndian<quint32>(frame.constData()), at + kFrameHeaderSize);
            if (qFromBigEndian<quint32>(frame.constData() + 4) != 0) {
                m_frames.insert(pending);
                pending.clear();
            }
        }
    }

    QFile m_file;
    QFile m_wal;
    int m_pageSize = 0;
    int m_usable = 0;
    QHash<quint32, qint64> m_frames; // page number -> offset of its newest committed copy
};

// The rowid of a table leaf's cell holding a message record; nullopt for any other cell
// (an index's, another table's, or one that cannot be read).
std::optional<qint64> messageRowid(const QByteArray &page, quint32 number, int index, int usable)
{
    const qsizetype header = number == 1 ? kFileHeaderSize : 0;
    if (page.size() < header + 8 || quint8(page.at(header)) != kTableLeafPage
        || index >= qFromBigEndian<quint16>(page.constData() + header + 3))
        return std::nullopt;
    const qsizetype pointer = header + 8 + 2 * qsizetype(index);
    if (pointer + 2 > page.size())
        return std::nullopt;
    const QByteArrayView cell = QByteArrayView(page).first(usable);
    qsizetype at = qFromBigEndian<quint16>(page.constData() + pointer);
    const std::optional<quint64> payloadSize = readSqliteVarint(cell, &at);
    const std::optional<quint64> rowid = readSqliteVarint(cell, &at);
    // The record's header: its size, then one serial type a column.
    const qsizetype recordStart = at;
    const std::optional<quint64> headerSize = readSqliteVarint(cell, &at);
    if (!payloadSize || !rowid || !headerSize)
        return std::nullopt;
    int columns = 0;
    std::optional<quint64> first;
    while (at < recordStart + qsizetype(*headerSize)) {
        const std::optional<quint64> type = readSqliteVarint(cell, &at);
        if (!type)
            return std::nullopt;
        if (columns++ == 0)
            first = type;
    }
    if (columns != kMessageColumns || first != 0u)
        return std::nullopt;
    return qint64(*rowid);
}

}

namespace FaultedRecords {

std::set<qint64> find(const QString &databasePath)
{
    std::set<qint64> rowids;
    const std::vector<Cell> cells = faultedCells(databasePath);
    if (cells.empty())
        return rowids;
    PageReader pages(databasePath);
    for (const Cell &cell : cells) {
        if (const std::optional<qint64> rowid = messageRowid(pages.page(cell.page), cell.page, cell.index, pages.usable()))
            rowids.insert(*rowid);
    }
    return rowids;
}

}
