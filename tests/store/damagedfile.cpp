// SPDX-License-Identifier: GPL-3.0-or-later
#include "damagedfile.h"

#include "store/recordset.h"

#include <QFile>
#include <QtEndian>

#include <sqlite3.h>

namespace DamagedFile {

namespace {

bool spoil(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray header = file.read(100);
    const int pageSize = header.size() == 100 ? qFromBigEndian<quint16>(header.constData() + 16) : 0;
    if (pageSize < 512)
        return false;
    // 'g' is no b-tree page type, so SQLite knows each of these pages for damaged.
    const QByteArray junk = QByteArray("garbage!").repeated(pageSize / 8);
    const qint64 middle = file.size() / pageSize / 2;
    for (qint64 page = middle; page < middle + 8; ++page) {
        if (!file.seek(page * pageSize) || file.write(junk) != junk.size())
            return false;
    }
    return true;
}

} // namespace

bool write(const QString &path, bool damaged)
{
    if (!Recordset::createEmpty(path))
        return false;
    {
        auto opened = Recordset::open(path);
        if (!opened.recordset)
            return false;
        Recordset &rs = *opened.recordset;
        sqlite3_exec(rs.handle(), "BEGIN", nullptr, nullptr, nullptr);
        for (int n = 1; n <= kMessages; ++n) {
            // Bodies well under a page: no overflow pages, so the spoiled pages are the table's.
            const MessageRecord r{n, QStringLiteral("Author %1").arg(n), QStringLiteral("Mon Mar 3, 2003 10:00 am"),
                                  QStringLiteral("[vclub] Subject %1").arg(n),
                                  QStringLiteral("<p>Body of message %1.</p>").arg(n).repeated(30)};
            if (!rs.addNew(r))
                return false;
        }
        if (sqlite3_exec(rs.handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return !damaged || (spoil(path) && firstUnreadable(path) > 1);
}

qint64 firstUnreadable(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    qint64 found = 0;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT message FROM veltra WHERE rowid = ?1", -1, &stmt, nullptr) == SQLITE_OK) {
        for (qint64 id = 1; id <= kMessages && !found; ++id) {
            sqlite3_bind_int64(stmt, 1, id);
            if ((sqlite3_step(stmt) & 0xff) == SQLITE_CORRUPT)
                found = id;
            sqlite3_reset(stmt);
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return found;
}

}
