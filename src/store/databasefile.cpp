// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/databasefile.h"

#include "store/conversationindex.h"
#include "store/indextrust.h"
#include "store/jetlike.h"
#include "store/messagefields.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <sqlite3.h>

namespace {

constexpr char kSchema[] =
    "CREATE TABLE veltra ("
    " id INTEGER PRIMARY KEY,"
    " messnum INTEGER,"
    " messauthor TEXT,"
    " messdate TEXT,"
    " messtitle TEXT,"
    " message TEXT);"
    "CREATE INDEX veltra_messnum ON veltra(messnum);"
    "PRAGMA user_version = 1;";

constexpr QByteArrayView kSqliteMagic("SQLite format 3\0", 16);
constexpr int kSqliteHeaderSize = 100;
constexpr int kBusyTimeoutMs = 2000;
// The index build holds the write lock for a few tens of milliseconds at a time and
// pauses briefly between: a writer waiting for it looks often, so it gets in at the pause.
constexpr int kBusyPollMs = 1;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray quoteIdentifier(const QString &name)
{
    return '"' + name.toUtf8().replace('"', "\"\"") + '"';
}

} // namespace

DatabaseFile::DatabaseFile(const QString &path)
    : m_path(path)
{
}

QString DatabaseFile::cannotBeRead(const QString &path, const QString &why)
{
    return QStringLiteral("The message database %1 cannot be read: %2.").arg(shown(path), why);
}

QString DatabaseFile::reason() const
{
    return m_reason;
}

bool DatabaseFile::indexTrusted() const
{
    return m_indexTrusted;
}

QString DatabaseFile::tableName() const
{
    return m_tableName;
}

QByteArray DatabaseFile::quotedTable() const
{
    return m_table;
}

DatabaseFile::Status DatabaseFile::open(SqliteDb &db, const QString &table)
{
    QByteArray header;
    Status status = checkHeader(&header);
    if (status == Status::Ok)
        status = connect(db, header);
    if (status == Status::Ok)
        status = checkTable(db, table);
    // Judged before anything is written: this opening's own first write (the journal mode
    // below) is what makes the mark stale for the next one.
    if (status == Status::Ok && m_tableName == QLatin1String("veltra"))
        m_indexTrusted = IndexTrust::trusted(db, m_path);
    if (status == Status::Ok && !db.isReadOnly())
        prepareForWrites(db);
    return status;
}

DatabaseFile::Status DatabaseFile::refuse(Status status, const QString &reason)
{
    m_reason = reason;
    return status;
}

DatabaseFile::Status DatabaseFile::refuseRead(const SqliteDb &db, Status otherwise, const QString &reason)
{
    switch (sqliteDamage(db.lastCode())) {
    case SqliteDamage::Corrupt:
        return refuse(Status::Damaged, reason);
    case SqliteDamage::NotADatabase:
        return refuse(Status::NotADatabase, reason);
    case SqliteDamage::None:
        break;
    }
    return refuse(otherwise, reason);
}

DatabaseFile::Status DatabaseFile::cannotRead(const SqliteDb &db)
{
    return refuseRead(db, Status::Unreadable, cannotBeRead(m_path, db.lastError()));
}

// The header is checked before SQLite sees the file: SQLite would take an empty file for
// a new database and write one into it.
DatabaseFile::Status DatabaseFile::checkHeader(QByteArray *header)
{
    const QString where = shown(m_path);
    const QFileInfo info(m_path);
    if (!info.exists())
        return refuse(Status::Missing, QStringLiteral("The message database %1 does not exist.").arg(where));
    if (info.isDir())
        return refuse(Status::Unreadable, QStringLiteral("%1 is a folder, not a message database.").arg(where));
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(Status::Unreadable, cannotBeRead(m_path, file.errorString()));
        *header = file.read(kSqliteHeaderSize);
        if (file.error() != QFileDevice::NoError)
            return refuse(Status::Unreadable, cannotBeRead(m_path, file.errorString()));
    }
    if (header->isEmpty())
        return refuse(Status::NotADatabase, QStringLiteral("%1 is an empty file, not a message database.").arg(where));
    if (!header->startsWith(kSqliteMagic)) {
        if (isAccessHeader(*header))
            return refuse(Status::NotADatabase,
                          QStringLiteral("%1 is a Microsoft Access (Jet) database; this program needs a message database "
                                         "in its own (SQLite) format.").arg(where));
        return refuse(Status::NotADatabase, QStringLiteral("%1 is not a message database (not an SQLite file).").arg(where));
    }
    if (header->size() < kSqliteHeaderSize)
        return refuse(Status::NotADatabase, QStringLiteral("%1 is damaged: the file is cut short.").arg(where));
    return Status::Ok;
}

DatabaseFile::Status DatabaseFile::connect(SqliteDb &db, const QByteArray &header)
{
    const QFileInfo info(m_path);
    // A file or folder this user cannot write is opened for reading. SQLite reads a
    // write-ahead-log file only through its shared-memory file, which a folder that cannot
    // be written has no room for; unchanging as such a folder is, the file is then read
    // as immutable.
    const bool folderWritable = QFileInfo(info.absolutePath()).isWritable();
    const bool walFile = quint8(header.at(18)) == 2;
    const QString sidecar = m_path + QStringLiteral("-shm");
    bool opened = false;
    if (!folderWritable && walFile && !QFileInfo(sidecar).isWritable()) {
        QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=ro&immutable=1"));
        opened = db.open(uri.toString(QUrl::FullyEncoded), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    } else {
        opened = db.open(m_path, info.isWritable() ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    }
    if (!opened)
        return refuse(Status::Unreadable,
                      QStringLiteral("The message database %1 cannot be opened: %2.").arg(shown(m_path), db.lastError()));
    sqlite3_busy_handler(
        db.handle(),
        [](void *, int count) -> int {
            if (count * kBusyPollMs >= kBusyTimeoutMs)
                return 0;
            sqlite3_sleep(kBusyPollMs);
            return 1;
        },
        nullptr);
    QString error;
    if (!JetLike::registerSqlFunction(db.handle(), &error))
        return refuse(Status::Unreadable,
                      QStringLiteral("The message database %1 cannot be used: %2.").arg(shown(m_path), error));
    return Status::Ok;
}

// The first read of the schema is where SQLite finds out what the file really holds.
DatabaseFile::Status DatabaseFile::checkTable(SqliteDb &db, const QString &table)
{
    const QString where = shown(m_path);
    {
        SqliteStatement lookup;
        if (!lookup.prepare(db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", false)
            || !lookup.bindText(1, table))
            return cannotRead(db);
        switch (lookup.step()) {
        case SqliteStatement::Step::Row:
            m_tableName = lookup.columnText(0);
            break;
        case SqliteStatement::Step::Done:
            return refuse(Status::NoTable, QStringLiteral("%1 holds no table \"%2\".").arg(where, table));
        case SqliteStatement::Step::Error:
            return cannotRead(db);
        }
    }
    m_table = quoteIdentifier(m_tableName);

    {
        SqliteStatement columns;
        if (!columns.prepare(db, "SELECT name FROM pragma_table_info(?1)", false) || !columns.bindText(1, m_tableName))
            return cannotRead(db);
        QStringList present;
        SqliteStatement::Step step;
        while ((step = columns.step()) == SqliteStatement::Step::Row)
            present << columns.columnText(0).toLower();
        if (step == SqliteStatement::Step::Error)
            return cannotRead(db);
        QStringList missing;
        for (const char *column : MessageFields::kNames) {
            if (!present.contains(QLatin1String(column)))
                missing << QString::fromLatin1(column);
        }
        if (!missing.isEmpty())
            return refuse(Status::NoTable, QStringLiteral("In %1 the table \"%2\" lacks the field(s) %3.")
                                               .arg(where, m_tableName, missing.join(QStringLiteral(", "))));
    }
    {
        // Stored order is rowid order; a table without rowids has no stored order to follow.
        SqliteStatement rowids;
        if (!rowids.prepare(db, "SELECT rowid FROM " + m_table + " LIMIT 1", false))
            return refuseRead(db, Status::NoTable, QStringLiteral("In %1 the table \"%2\" cannot be used: %3.")
                                                       .arg(where, m_tableName, db.lastError()));
    }
    return Status::Ok;
}

void DatabaseFile::prepareForWrites(SqliteDb &db)
{
    chooseJournalMode(db);
    ensureMessnumIndex(db);
    // Triggers left over from an index or store missing parts would make every write fail;
    // the next build puts the whole of it back.
    if (m_tableName == QLatin1String("veltra") && SearchIndex::status(db).state == SearchIndex::State::Broken)
        SearchIndex::disarm(db);
    if (m_tableName == QLatin1String("veltra") && ConversationIndex::status(db).state == ConversationIndex::State::Broken)
        ConversationIndex::disarm(db);
}

void DatabaseFile::chooseJournalMode(SqliteDb &db)
{
    // WAL needs files beside the database; in a read-only folder the default journal stays.
    if (!QFileInfo(QFileInfo(m_path).absolutePath()).isWritable())
        return;
    SqliteStatement mode;
    if (!mode.prepare(db, "PRAGMA journal_mode = WAL", false))
        return;
    const bool wal = mode.step() == SqliteStatement::Step::Row
                     && mode.columnText(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    mode.finalize();
    if (!wal)
        return;
    if (!db.exec("SELECT count(*) FROM sqlite_schema")) {
        db.exec("PRAGMA journal_mode = DELETE");
        return;
    }
    // In WAL mode NORMAL still keeps every committed record when the process is killed.
    db.exec("PRAGMA synchronous = NORMAL");
}

// The messnum index is what makes a find by number fast; an older file may lack it.
void DatabaseFile::ensureMessnumIndex(SqliteDb &db)
{
    SqliteStatement probe;
    if (!probe.prepare(db, "SELECT 1 FROM pragma_index_list(?1) AS l, pragma_index_info(l.name) AS i"
                           " WHERE i.seqno = 0 AND i.name = 'messnum' COLLATE NOCASE LIMIT 1", false))
        return;
    ResetOnExit resetter(probe);
    if (!probe.bindText(1, m_tableName) || probe.step() != SqliteStatement::Step::Done)
        return;
    const QByteArray indexName = quoteIdentifier(m_tableName + QStringLiteral("_messnum"));
    // A failure here (locked or read-only after all) only costs speed.
    db.exec(QByteArray("CREATE INDEX IF NOT EXISTS " + indexName + " ON " + m_table + " (messnum)").constData());
}

bool DatabaseFile::create(const QString &path, QString *error)
{
    const QString where = shown(path);
    auto failWith = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return failWith(QStringLiteral("%1 already exists; it has been left as it is.").arg(where));

    QFile file(path);
    // NewOnly: a file that turns up meanwhile is still never overwritten.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return failWith(QStringLiteral("%1 cannot be created: %2.").arg(where, file.errorString()));
    file.close();

    QString failure;
    {
        SqliteDb db;
        if (!db.open(path, SQLITE_OPEN_READWRITE)) {
            failure = db.lastError();
        } else {
            SqliteTransaction transaction(db);
            if (!transaction.isActive() || !db.exec(kSchema) || !transaction.commit())
                failure = db.lastError();
        }
    }
    if (!failure.isEmpty()) {
        // Only what this call created is removed.
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        return failWith(QStringLiteral("The message database %1 cannot be created: %2.").arg(where, failure));
    }
    return true;
}

bool DatabaseFile::isAccessHeader(const QByteArray &header)
{
    // The engine's name stands after a four-byte version field.
    const QByteArray engine = header.mid(4, 15);
    return engine == "Standard Jet DB" || engine == "Standard ACE DB";
}
