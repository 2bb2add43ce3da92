// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/rescue.h"

#include "archive/compaction.h"
#include "archive/faultedrecords.h"
#include "store/recordset.h"
#include "store/indexwords.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"
#include "store/missednumbers.h"
#include "store/readstate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <unistd.h>

namespace {

// The search index's sizes: for each indexed field, its FTS5 table's list of the records
// it holds with the number of words of the text, and the field's column in kRead.
struct IndexedSizes
{
    Criteria::Field field;
    int column;
    QByteArray table() const { return QByteArray(SearchIndex::tableFor(field)) + "_docsize"; }
};
constexpr IndexedSizes kIndexedSizes[] = {
    {Criteria::Field::MessAuthor, 1},
    {Criteria::Field::MessTitle, 3},
    {Criteria::Field::Message, 4},
};
constexpr char kRead[] = "SELECT messnum, messauthor, messdate, messtitle, message FROM veltra WHERE rowid = ?1";
constexpr int kTextColumns = 4; // after messnum
// Records copied between two reports of the progress.
constexpr qint64 kProgressRecords = 1000;

// A record as it is copied: its number and its texts' bytes (nullopt for NULL).
struct Record
{
    qint64 messnum = 0;
    std::array<std::optional<QByteArray>, kTextColumns> texts;
};

// Collects rowids from a query until it ends or meets a broken page; true when it read
// to the end.
bool collectIds(SqliteDb &db, const QByteArray &sql, std::set<qint64> *ids)
{
    SqliteStatement s;
    if (!s.prepare(db, sql, false))
        return false;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::Row)
        ids->insert(s.columnInt64(0));
    return step == SqliteStatement::Step::Done;
}

// What the lists of records of the search index (with their sizes) and of the conversation
// store are worth: they are kept in step with the table while their triggers are in
// place, and hold every record once they have reached the last one. Read here rather than
// through their status, which gives up on a table whose last page is broken.
struct IndexedLists
{
    bool kept = false;
    bool whole = false;
};

// `prefix`: the names of the store's parts begin with it; it has an insert and a delete
// trigger and its build state in a table, named alike.
IndexedLists indexedLists(SqliteDb &db, const QByteArray &prefix)
{
    IndexedLists lists;
    SqliteStatement state;
    if (!state.prepare(db, "SELECT (SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND name IN ('" + prefix
                               + "insert', '" + prefix + "delete')), upto FROM " + prefix + "state", false)
        || state.step() != SqliteStatement::Step::Row)
        return lists;
    lists.kept = state.columnInt64(0) == 2 && !state.columnIsNull(1) && state.columnInt64(1) >= 0;
    const qint64 upto = state.columnInt64(1);
    SqliteStatement last;
    lists.whole = lists.kept && last.prepare(db, "SELECT coalesce(max(rowid), 0) FROM veltra", false)
                  && last.step() == SqliteStatement::Step::Row && upto >= last.columnInt64(0);
    return lists;
}

// The program stores only UTF-8 without NUL characters (an update refuses a page with
// one); anything else was written over.
bool isStoredText(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes); // a fault shows only once decoded
    return !decoder.hasError();
}

// Reads a record of the damaged file and checks it against what else the file knows of it.
class RecordReader final
{
public:
    explicit RecordReader(SqliteDb &source, bool sizesKept)
    {
        m_read.prepare(source, kRead);
        // A file without the index, or with a search index not kept in step, is checked without.
        m_numbered.prepare(source, "SELECT 1 FROM veltra INDEXED BY veltra_messnum WHERE messnum = ?1 AND rowid = ?2");
        for (std::size_t i = 0; i < std::size(kIndexedSizes) && sizesKept; ++i)
            m_sizes[i].prepare(source, "SELECT sz FROM " + kIndexedSizes[i].table() + " WHERE id = ?1");
    }

    bool isUsable() const { return m_read.isPrepared(); }

    // The record of rowid `id` when it reads back as it was stored.
    std::optional<Record> read(qint64 id)
    {
        m_read.reset();
        if (!m_read.bindInt64(1, id) || m_read.step() != SqliteStatement::Step::Row)
            return std::nullopt;
        sqlite3_stmt *row = m_read.handle();
        if (sqlite3_column_type(row, 0) != SQLITE_INTEGER)
            return std::nullopt;
        Record record;
        record.messnum = sqlite3_column_int64(row, 0);
        for (int i = 0; i < kTextColumns; ++i) {
            const int type = sqlite3_column_type(row, i + 1);
            if (type == SQLITE_NULL)
                continue;
            // As bytes: a text read as text would have its faults smoothed over.
            const QByteArray bytes(static_cast<const char *>(sqlite3_column_blob(row, i + 1)), sqlite3_column_bytes(row, i + 1));
            if (type != SQLITE_TEXT || !isStoredText(bytes))
                return std::nullopt;
            record.texts[i] = bytes.isNull() ? QByteArray("") : bytes;
        }
        m_read.reset();
        if (!isNumbered(id, record.messnum) || !hasIndexedSizes(id, record))
            return std::nullopt;
        return record;
    }

private:
    // A broken page of the index itself tells nothing about the record.
    bool isNumbered(qint64 id, qint64 messnum)
    {
        if (!m_numbered.isPrepared())
            return true;
        m_numbered.reset();
        return !m_numbered.bindInt64(1, messnum) || !m_numbered.bindInt64(2, id)
               || m_numbered.step() != SqliteStatement::Step::Done;
    }

    bool hasIndexedSizes(qint64 id, const Record &record)
    {
        for (std::size_t i = 0; i < std::size(kIndexedSizes); ++i) {
            SqliteStatement &size = m_sizes[i];
            if (!size.isPrepared())
                continue;
            size.reset();
            if (!size.bindInt64(1, id) || size.step() != SqliteStatement::Step::Row)
                continue;
            const QByteArrayView blob(static_cast<const char *>(sqlite3_column_blob(size.handle(), 0)),
                                      sqlite3_column_bytes(size.handle(), 0));
            const std::optional<QByteArray> &text = record.texts[kIndexedSizes[i].column - 1];
            const std::optional<qint64> counted = SearchIndex::recordedSize(blob);
            if (counted && *counted != IndexWords::count(text.value_or(QByteArray())))
                return false;
        }
        return true;
    }

    SqliteStatement m_read;
    SqliteStatement m_numbered;
    std::array<SqliteStatement, std::size(kIndexedSizes)> m_sizes;
};

// Keeps `from` under the name `to` as well: a hard link where the file system has them,
// a copy otherwise. A missing `from` is no error.
bool keep(const QString &from, const QString &to, QString *reason)
{
    if (!QFileInfo::exists(from))
        return true;
    QFile::remove(to);
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 || QFile::copy(from, to))
        return true;
    *reason = QStringLiteral("%1 could not be kept as %2.").arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to));
    return false;
}

// The numbers updates are still to fetch again go along, so none of them is lost with
// the damaged file; what cannot be read of them is passed over.
void copyMissedNumbers(SqliteDb &source, SqliteDb &target)
{
    SqliteStatement read;
    if (!read.prepare(source, "SELECT messnum, reason, tries, lasttry FROM veltra_missed", false))
        return;
    MissedNumbers missed(target);
    SqliteStatement write;
    if (!missed.prepare()
        || !write.prepare(target, "INSERT OR IGNORE INTO veltra_missed (messnum, reason, tries, lasttry)"
                                  " VALUES (?1, ?2, ?3, ?4)", false))
        return;
    while (read.step() == SqliteStatement::Step::Row) {
        write.reset();
        if (write.bindInt64(1, read.columnInt64(0)) && write.bindText(2, read.columnText(1))
            && write.bindInt64(3, read.columnInt64(2)) && write.bindInt64(4, read.columnInt64(3)))
            write.step();
    }
}

void report(const Compaction::Progress &progress, qint64 done, qint64 total)
{
    if (progress)
        progress(done, total);
}

// The records the damaged file knows of, from every list of them that can be read.
struct KnownRecords
{
    std::set<qint64> ids;
    // Exact once one list of every record was read whole.
    bool complete = false;
    // The search index's sizes were kept in step with the table, so they can check a record.
    bool sizesKept = false;
};

KnownRecords knownRecords(SqliteDb &source)
{
    KnownRecords known;
    std::set<qint64> &ids = known.ids;
    bool complete = collectIds(source, "SELECT rowid FROM veltra ORDER BY rowid", &ids);
    collectIds(source, "SELECT rowid FROM veltra ORDER BY rowid DESC", &ids);
    complete = collectIds(source, "SELECT rowid FROM veltra INDEXED BY veltra_messnum ORDER BY messnum", &ids) || complete;
    collectIds(source, "SELECT rowid FROM veltra INDEXED BY veltra_messnum ORDER BY messnum DESC", &ids);
    const IndexedLists lists = indexedLists(source, "veltra_fts_");
    for (const IndexedSizes &sizes : kIndexedSizes) {
        if (!lists.kept)
            break;
        const QByteArray table = sizes.table();
        complete = (collectIds(source, "SELECT id FROM " + table + " ORDER BY id", &ids) && lists.whole) || complete;
        collectIds(source, "SELECT id FROM " + table + " ORDER BY id DESC", &ids);
    }
    // The conversation store has a row for every record it covers.
    if (const IndexedLists topics = indexedLists(source, "veltra_topic_"); topics.kept) {
        complete = (collectIds(source, "SELECT id FROM veltra_topic ORDER BY id", &ids) && topics.whole) || complete;
        collectIds(source, "SELECT id FROM veltra_topic ORDER BY id DESC", &ids);
    }
    known.complete = complete;
    known.sizesKept = lists.kept;
    return known;
}

bool writeRecord(SqliteStatement &write, qint64 id, const Record &record)
{
    write.reset();
    bool bound = write.bindInt64(1, id) && write.bindInt64(2, record.messnum);
    for (int i = 0; i < kTextColumns && bound; ++i)
        bound = record.texts[i] ? write.bindText(i + 3, *record.texts[i]) : write.bindNull(i + 3);
    return bound && write.step() == SqliteStatement::Step::Done;
}

// Copies the known records that read back as stored and are not in `faulted`, counting
// them in `rescued`. False with the connection's error.
bool copyRecords(SqliteDb &source, SqliteDb &target, const KnownRecords &known, const std::set<qint64> &faulted,
                 const Compaction::Progress &progress, qint64 *rescued, QString *error)
{
    RecordReader reader(source, known.sizesKept);
    SqliteStatement write;
    if (!reader.isUsable()) {
        *error = source.lastError();
        return false;
    }
    if (!write.prepare(target, "INSERT INTO veltra (rowid, messnum, messauthor, messdate, messtitle, message)"
                               " VALUES (?1, ?2, ?3, ?4, ?5, ?6)")) {
        *error = target.lastError();
        return false;
    }
    qint64 looked = 0;
    const qint64 count = qint64(known.ids.size());
    report(progress, 0, count);
    for (const qint64 id : known.ids) {
        if (++looked % kProgressRecords == 0)
            report(progress, looked, count);
        const std::optional<Record> record = faulted.count(id) ? std::nullopt : reader.read(id);
        if (!record)
            continue;
        if (!writeRecord(write, id, *record)) {
            *error = target.lastError();
            return false;
        }
        ++*rescued;
    }
    return true;
}

}

namespace Rescue {

Result copyReadable(const QString &damagedPath, const QString &rescuedPath, const Compaction::Progress &progress)
{
    Result result;
    QString error;
    if (!Recordset::createEmpty(rescuedPath, &error)) {
        result.reason = error;
        return result;
    }
    auto failed = [&](const QString &why) {
        result.reason = why;
        QFile::remove(rescuedPath);
        return result;
    };

    // Before the connection below is opened: the file is read directly meanwhile.
    const std::set<qint64> faulted = FaultedRecords::find(damagedPath);

    SqliteDb source;
    // A file cut short is read as far as it goes rather than refused.
    if (!source.open(damagedPath, SQLITE_OPEN_READONLY) || !source.exec("PRAGMA writable_schema = ON"))
        return failed(source.lastError());
    const KnownRecords known = knownRecords(source);

    SqliteDb target;
    if (!target.open(rescuedPath, SQLITE_OPEN_READWRITE))
        return failed(target.lastError());
    SqliteTransaction transaction(target);
    if (!copyRecords(source, target, known, faulted, progress, &result.rescued, &error))
        return failed(error);
    // Writing the records out and checking the new file: nothing to count there.
    report(progress, 0, 0);
    result.lost = qint64(known.ids.size()) - result.rescued;
    result.lostExact = known.complete;
    copyMissedNumbers(source, target);
    // Which messages were read goes along; a failure there only leaves them new again.
    ReadState::copy(source, target);
    if (!transaction.commit())
        return failed(target.lastError());
    target.close();
    source.close();

    Compaction::Figures figures;
    if (!Compaction::check(rescuedPath, &figures, &error))
        return failed(error);
    result.ok = true;
    return result;
}

Result rescueFolder(const QString &folder, const Compaction::Progress &progress)
{
    const QDir dir(folder);
    const QString database = dir.filePath(QLatin1String(Compaction::kDatabase));
    const QString rescued = dir.filePath(QLatin1String(kRescued));
    const QString damaged = dir.filePath(QLatin1String(kDamaged));
    QFile::remove(rescued);
    Result result = copyReadable(database, rescued, progress);
    if (!result.ok)
        return result;
    // The damaged file and its log are kept together; the log must not stay beside the
    // new file, which would read it as its own.
    QString why;
    if (!keep(database, damaged, &why) || !keep(database + QStringLiteral("-wal"), damaged + QStringLiteral("-wal"), &why)) {
        QFile::remove(rescued);
        result.ok = false;
        result.reason = why;
        return result;
    }
    QFile::remove(database + QStringLiteral("-wal"));
    QFile::remove(database + QStringLiteral("-shm"));
    if (::rename(QFile::encodeName(rescued).constData(), QFile::encodeName(database).constData()) != 0) {
        result.ok = false;
        result.reason = QStringLiteral("%1 could not be renamed to %2: %3.")
                            .arg(QDir::toNativeSeparators(rescued), QDir::toNativeSeparators(database),
                                 QString::fromLocal8Bit(std::strerror(errno)));
    }
    return result;
}

}
