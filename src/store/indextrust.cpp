// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/indextrust.h"

#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QByteArray>
#include <QFile>

#include <sqlite3.h>
#include <sys/stat.h>

#include <optional>

namespace {

constexpr char kCreate[] = "CREATE TABLE IF NOT EXISTS veltra_index_trust(counter INTEGER NOT NULL, born INTEGER NOT NULL,"
                           " pages INTEGER NOT NULL, device INTEGER NOT NULL, inode INTEGER NOT NULL)";

struct Header
{
    quint32 counter = 0;
    quint32 pages = 0;
    quint32 validFor = 0; // the counter the page count was written with
    bool rollback = false; // file format numbers 1: rollback journal, not write-ahead log
};

quint32 bigEndian(const unsigned char *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// The header as the file holds it, read through SQLite's own file handle: another
// descriptor's close would drop the connection's POSIX locks.
std::optional<Header> readHeader(SqliteDb &db)
{
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(db.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
        || !file->pMethods)
        return std::nullopt;
    unsigned char h[100];
    if (file->pMethods->xRead(file, h, int(sizeof h), 0) != SQLITE_OK)
        return std::nullopt;
    Header header;
    header.rollback = h[18] == 1 && h[19] == 1;
    header.counter = bigEndian(h + 24);
    header.pages = bigEndian(h + 28);
    header.validFor = bigEndian(h + 92);
    return header;
}

struct FileId
{
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
};

FileId fileId(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size)};
}

std::optional<qint64> pragmaNumber(SqliteDb &db, const char *sql)
{
    SqliteStatement s;
    if (!s.prepare(db, sql, false) || s.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    return s.columnInt64(0);
}

bool keptIndex(const SearchIndex::Status &status)
{
    return status.state == SearchIndex::State::Ready || status.state == SearchIndex::State::Partial;
}

bool judge(SqliteDb &db, const QString &path)
{
    SqliteStatement mark;
    if (!mark.prepare(db, "SELECT counter, born, pages, device, inode FROM veltra_index_trust", false)
        || mark.step() != SqliteStatement::Step::Row)
        return false;
    const qint64 counter = mark.columnInt64(0);
    const qint64 born = mark.columnInt64(1);
    const qint64 pages = mark.columnInt64(2);
    const qint64 device = mark.columnInt64(3);
    const qint64 inode = mark.columnInt64(4);
    if (mark.step() != SqliteStatement::Step::Done)
        return false;
    mark.finalize();
    // Read inside the transaction the statement above began: no writer can get in now.
    const std::optional<Header> header = readHeader(db);
    if (!header || !header->rollback || header->counter != quint32(counter) || header->validFor != header->counter
        || header->pages != quint32(pages))
        return false;
    const std::optional<qint64> pageSize = pragmaNumber(db, "PRAGMA page_size");
    const FileId id = fileId(path);
    if (!pageSize || id.device != device || id.inode != inode || id.size != pages * *pageSize)
        return false;
    const SearchIndex::Status status = SearchIndex::status(db);
    return keptIndex(status) && status.born == born;
}

} // namespace

namespace IndexTrust {

quint32 changeCounter(SqliteDb &db)
{
    const std::optional<Header> header = readHeader(db);
    return header ? header->counter : 0;
}

bool trusted(SqliteDb &db, const QString &path)
{
    if (!db.isOpen() || db.isReadOnly() || !db.exec("BEGIN"))
        return false;
    const bool trust = judge(db, path);
    db.exec("COMMIT");
    return trust;
}

bool mark(SqliteDb &db, const QString &path)
{
    if (!db.isOpen() || db.isReadOnly() || db.inTransaction())
        return false;
    {
        // Folds the log into the file; refused while another connection holds the file.
        SqliteStatement mode;
        if (!mode.prepare(db, "PRAGMA journal_mode = DELETE", false) || mode.step() != SqliteStatement::Step::Row
            || mode.columnText(0).compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0)
            return false;
    }
    // The table first: its page is then there before the mark's own transaction.
    if (!db.exec(kCreate))
        return false;
    const SearchIndex::Status status = SearchIndex::status(db);
    if (!keptIndex(status)) {
        db.exec("DELETE FROM veltra_index_trust");
        return false;
    }
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    // With the write lock held and nothing written yet, the file holds the last commit's
    // header; this transaction's commit raises its counter by one.
    const std::optional<Header> before = readHeader(db);
    const std::optional<qint64> pages = pragmaNumber(db, "PRAGMA page_count");
    const FileId id = fileId(path);
    bool ok = before && before->rollback && pages && id.inode >= 0;
    if (ok) {
        SqliteStatement insert;
        ok = db.exec("DELETE FROM veltra_index_trust")
             && insert.prepare(db, "INSERT INTO veltra_index_trust(counter, born, pages, device, inode)"
                                   " VALUES (?1, ?2, ?3, ?4, ?5)", false)
             && insert.bindInt64(1, qint64(quint32(before->counter + 1))) && insert.bindInt64(2, status.born)
             && insert.bindInt64(3, *pages) && insert.bindInt64(4, id.device) && insert.bindInt64(5, id.inode)
             && insert.step() == SqliteStatement::Step::Done;
    }
    if (!ok) {
        db.exec("ROLLBACK");
        return false;
    }
    if (!db.exec("COMMIT"))
        return false;
    // Checked as the next opening will: a mark that does not hold is not left behind.
    if (!trusted(db, path)) {
        db.exec("DELETE FROM veltra_index_trust");
        return false;
    }
    return true;
}

} // namespace IndexTrust
