// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/recordset.h"

#include "store/databasefile.h"
#include "store/indexedfind.h"
#include "store/indextrust.h"
#include "store/messagefields.h"
#include "store/orderedplacement.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/statementcatalogue.h"

#include <QDebug>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

QString closedText()
{
    return QStringLiteral("The database is closed");
}

QString noCurrentText()
{
    return QStringLiteral("No current record");
}

QString damagedText()
{
    return QStringLiteral("The message database is damaged; nothing more is written to it.");
}

int columnIndex(const QString &name)
{
    for (int i = 0; i < MessageFields::kCount; ++i) {
        if (name.compare(QLatin1String(MessageFields::kNames[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace

struct Recordset::Private
{
    mutable SqliteDb db; // records the failures of const reads too
    QString path;
    bool bof = true;
    bool eof = true;
    qint64 id = 0; // the current record when neither bof nor eof
    bool deleted = false;
    bool noMatch = false;
    // New ids go above every id deleted in this session, so a position kept on a deleted
    // record never comes to stand on a new one.
    qint64 highestDeleted = 0;
    mutable QString lastError;
    bool indexTrusted = false;
    bool indexVouched = false;
    // Set by const reads too: damage is found wherever SQLite happens to meet it.
    mutable bool damaged = false;
    mutable QString damageReason;
    DamageHandler damageHandler;
    mutable StatementCatalogue statements{db};
    mutable IndexedFind finder{db};

    Private()
    {
        statements.setFailureHandler([this] { failSql(); });
        finder.setFailureHandler([this] { failSql(); });
    }

    bool fail(const QString &why) const
    {
        lastError = why;
        return false;
    }

    bool failSql() const
    {
        if (sqliteDamage(db.lastCode()) != SqliteDamage::None) {
            // The index is derived from the messages: damage to it alone is no reason to stop
            // writing the messages. It is built anew (the window asks for that); finds read
            // every record meanwhile.
            if (db.lastCode() == SQLITE_CORRUPT_VTAB || db.lastError().contains(QLatin1String("veltra_fts_")))
                finder.markIndexFailed();
            else
                noteDamage(db.lastError());
        }
        return fail(db.lastError());
    }

    void noteDamage(const QString &reason) const
    {
        if (damaged)
            return;
        damaged = true;
        damageReason = reason;
        // Closing the last connection would fold the log into the damaged file: a write.
        if (db.isOpen())
            sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        if (damageHandler)
            damageHandler(reason);
    }

    // For the writes: false, with the reason, once the file is known to be damaged.
    bool mayWrite() const
    {
        if (!db.isOpen())
            return fail(closedText());
        if (damaged)
            return fail(damagedText());
        return true;
    }

    bool standsOnRecord() const { return !bof && !eof && !deleted; }

    // For the operations on the current record: false, with the reason, when there is none.
    bool needsCurrent() const
    {
        if (!db.isOpen())
            return fail(closedText());
        if (!standsOnRecord())
            return fail(noCurrentText());
        return true;
    }

    void standOn(qint64 record)
    {
        bof = false;
        eof = false;
        deleted = false;
        id = record;
    }

    // The first or last record; an empty table leaves BOF and EOF both true.
    bool moveToEnd(StatementCatalogue::Slot end)
    {
        if (!db.isOpen())
            return fail(closedText());
        std::optional<qint64> record;
        if (!statements.queryId(end, std::nullopt, &record))
            return false;
        if (record) {
            standOn(*record);
        } else {
            bof = true;
            eof = true;
        }
        return true;
    }

    // One record on or back in stored order. Past the end stands EOF (before the start,
    // BOF); from there the step back comes to the end record again, as DAO's does. From
    // BOF on an empty table EOF is reached and BOF stays true as well.
    bool step(bool forward)
    {
        if (!db.isOpen())
            return fail(closedText());
        const bool beyondStart = forward ? bof : eof; // the side the step comes from
        const bool beyondEnd = forward ? eof : bof;   // the side it goes to
        if (beyondEnd && !beyondStart)
            return fail(noCurrentText());
        std::optional<qint64> record;
        const bool ok = beyondStart ? statements.queryId(forward ? StatementCatalogue::First : StatementCatalogue::Last,
                                                         std::nullopt, &record)
                                    : statements.queryId(forward ? StatementCatalogue::Next : StatementCatalogue::Previous,
                                                         id, &record);
        if (!ok)
            return false;
        if (record) {
            standOn(*record);
        } else {
            (forward ? eof : bof) = true;
            deleted = false;
        }
        return true;
    }

    FindResult find(const QString &criteria, qint64 after)
    {
        const IndexedFind::Result result = finder.next(criteria, after);
        if (result.malformed)
            fail(*result.malformed);
        noMatch = result.outcome != FindResult::Found;
        if (!noMatch)
            standOn(result.id);
        return result.outcome;
    }

    void finalizeAll()
    {
        finder.clear();
        statements.clear();
    }
};

Recordset::Recordset()
    : d(std::make_unique<Private>())
{
}

Recordset::~Recordset()
{
    close();
}

Recordset::OpenResult Recordset::open(const QString &databasePath, const QString &table)
{
    OpenResult result;
    std::unique_ptr<Recordset> rs(new Recordset);
    Private &p = *rs->d;
    p.path = databasePath;
    DatabaseFile file(databasePath);
    result.status = file.open(p.db, table);
    if (result.status != OpenStatus::Ok) {
        result.reason = file.reason();
        return result;
    }
    p.indexTrusted = file.indexTrusted();
    p.statements.setTable(file.quotedTable());
    p.finder.setTable(file.tableName(), file.quotedTable());
    if (!rs->moveFirst()) {
        result.status = rs->isDamaged() ? OpenStatus::Damaged : OpenStatus::Unreadable;
        result.reason = DatabaseFile::cannotBeRead(databasePath, rs->lastError());
        return result;
    }
    result.recordset = std::move(rs);
    return result;
}

bool Recordset::createEmpty(const QString &databasePath, QString *error)
{
    return DatabaseFile::create(databasePath, error);
}

bool Recordset::isReadOnly() const
{
    return d->db.isReadOnly();
}

bool Recordset::isOpen() const
{
    return d->db.isOpen();
}

void Recordset::close()
{
    d->finalizeAll();
    // A clean close: the mark is the last write, with every statement done.
    if (d->indexVouched && d->db.isOpen() && !d->db.isReadOnly() && !d->damaged && !d->finder.indexFailed()
        && !IndexTrust::mark(d->db, d->path))
        qInfo().noquote() << "search index: not marked trusted at closing:" << d->db.lastError();
    d->indexVouched = false;
    d->db.close();
    d->bof = true;
    d->eof = true;
    d->deleted = false;
}

QString Recordset::databasePath() const
{
    return d->path;
}

QString Recordset::lastError() const
{
    return d->lastError;
}

bool Recordset::moveFirst()
{
    return d->moveToEnd(StatementCatalogue::First);
}

bool Recordset::moveLast()
{
    return d->moveToEnd(StatementCatalogue::Last);
}

bool Recordset::moveNext()
{
    return d->step(true);
}

bool Recordset::movePrevious()
{
    return d->step(false);
}

Recordset::Bookmark Recordset::bookmark() const
{
    return {d->id, d->bof, d->eof, d->deleted, d->noMatch};
}

void Recordset::setBookmark(const Bookmark &bookmark)
{
    d->id = bookmark.id;
    d->bof = bookmark.bof;
    d->eof = bookmark.eof;
    d->deleted = bookmark.deleted;
    d->noMatch = bookmark.noMatch;
}

bool Recordset::bof() const
{
    return d->bof;
}

bool Recordset::eof() const
{
    return d->eof;
}

bool Recordset::hasCurrent() const
{
    if (!isOpen() || !d->standsOnRecord())
        return false;
    std::optional<qint64> exists;
    return d->statements.queryId(StatementCatalogue::Exists, d->id, &exists) && exists;
}

int Recordset::recordCount() const
{
    if (!isOpen()) {
        d->fail(closedText());
        return 0;
    }
    SqliteStatement *s = d->statements.statement(StatementCatalogue::Count);
    if (!s)
        return 0;
    ResetOnExit resetter(*s);
    if (s->step() != SqliteStatement::Step::Row) {
        d->failSql();
        return 0;
    }
    return int(std::min<qint64>(s->columnInt64(0), std::numeric_limits<int>::max()));
}

Recordset::FindResult Recordset::findFirst(const QString &criteria)
{
    if (!isOpen()) {
        d->noMatch = true;
        d->fail(closedText());
        return FindResult::Error;
    }
    return d->find(criteria, std::numeric_limits<qint64>::min());
}

Recordset::FindResult Recordset::findNext(const QString &criteria)
{
    if (!isOpen()) {
        d->noMatch = true;
        d->fail(closedText());
        return FindResult::Error;
    }
    if (d->eof && !d->bof) {
        d->noMatch = true;
        return FindResult::NoMatch;
    }
    return d->find(criteria, d->bof ? std::numeric_limits<qint64>::min() : d->id);
}

bool Recordset::noMatch() const
{
    return d->noMatch;
}

void Recordset::setSearchIndexUse(bool use)
{
    d->finder.setIndexUse(use);
}

bool Recordset::searchIndexInUse() const
{
    return isOpen() && d->finder.indexUsable();
}

bool Recordset::searchIndexComplete() const
{
    if (!isOpen())
        return false;
    return d->finder.indexComplete();
}

QString Recordset::searchIndexQuery(const QString &criteria)
{
    if (!isOpen())
        return {};
    const auto query = d->finder.indexQuery(criteria);
    return query ? QString::fromUtf8(query->table + ": " + query->match) : QString();
}

void Recordset::setSearchIndexChunk(int candidates)
{
    d->finder.setChunk(candidates);
}

bool Recordset::searchIndexFailed() const
{
    return d->finder.indexFailed();
}

bool Recordset::searchIndexTrusted() const
{
    return d->indexTrusted;
}

void Recordset::setSearchIndexVouched(bool vouched)
{
    d->indexVouched = vouched;
}

QVariant Recordset::field(const QString &name) const
{
    if (!isOpen()) {
        d->fail(closedText());
        return {};
    }
    const int column = columnIndex(name);
    if (column < 0) {
        d->fail(QStringLiteral("Unknown field \"%1\"").arg(name));
        return {};
    }
    if (!d->standsOnRecord()) {
        d->fail(noCurrentText());
        return {};
    }
    SqliteStatement *s = d->statements.statement(StatementCatalogue::ReadField + column);
    if (!s)
        return {};
    ResetOnExit resetter(*s);
    if (!s->bindInt64(1, d->id)) {
        d->failSql();
        return {};
    }
    switch (s->step()) {
    case SqliteStatement::Step::Row:
        if (column == MessageFields::kMessnum)
            return s->columnIsNull(0) ? QVariant(QMetaType::fromType<int>()) : QVariant(int(s->columnInt64(0)));
        return QVariant(s->columnText(0));
    case SqliteStatement::Step::Done:
        d->fail(noCurrentText());
        return {};
    case SqliteStatement::Step::Error:
        break;
    }
    d->failSql();
    return {};
}

bool Recordset::current(MessageRecord *out, Body body) const
{
    if (!d->needsCurrent())
        return false;
    SqliteStatement *s =
        d->statements.statement(body == Body::Read ? StatementCatalogue::ReadRecord : StatementCatalogue::ReadHeading);
    if (!s)
        return false;
    ResetOnExit resetter(*s);
    if (!s->bindInt64(1, d->id))
        return d->failSql();
    switch (s->step()) {
    case SqliteStatement::Step::Row:
        if (out) {
            out->messnum = qint32(s->columnInt64(0));
            out->messauthor = s->columnText(1);
            out->messdate = s->columnText(2);
            out->messtitle = s->columnText(3);
            out->message = body == Body::Read ? s->columnText(4) : QString();
        }
        return true;
    case SqliteStatement::Step::Done:
        return d->fail(noCurrentText());
    case SqliteStatement::Step::Error:
        break;
    }
    return d->failSql();
}

bool Recordset::updateField(const QString &name, const QVariant &value)
{
    if (!d->mayWrite())
        return false;
    const int column = columnIndex(name);
    if (column < 0)
        return d->fail(QStringLiteral("Unknown field \"%1\"").arg(name));
    if (!d->standsOnRecord())
        return d->fail(noCurrentText());
    SqliteStatement *s = d->statements.statement(StatementCatalogue::Update + column);
    if (!s)
        return false;
    ResetOnExit resetter(*s);
    bool bound = false;
    if (!value.isValid()) {
        bound = s->bindNull(1);
    } else if (column == MessageFields::kMessnum) {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            return d->fail(QStringLiteral("messnum takes a whole number, not \"%1\"").arg(value.toString().left(30)));
        bound = s->bindInt64(1, n);
    } else {
        bound = s->bindText(1, value.toString());
    }
    if (!bound || !s->bindInt64(2, d->id))
        return d->failSql();
    if (s->step() != SqliteStatement::Step::Done)
        return d->failSql();
    if (sqlite3_changes(d->db.handle()) != 1)
        return d->fail(noCurrentText());
    return true;
}

bool Recordset::addNew(const MessageRecord &record)
{
    if (!d->mayWrite())
        return false;
    SqliteStatement *s = d->statements.statement(StatementCatalogue::Insert);
    if (!s)
        return false;
    ResetOnExit resetter(*s);
    // One statement commits by itself, or joins the caller's transaction on handle().
    const bool bound = s->bindInt64(1, d->highestDeleted) && s->bindInt64(2, record.messnum)
                       && s->bindText(3, record.messauthor) && s->bindText(4, record.messdate)
                       && s->bindText(5, record.messtitle) && s->bindText(6, record.message);
    if (!bound || s->step() != SqliteStatement::Step::Done)
        return d->failSql();
    return true;
}

Recordset::AddResult Recordset::addInOrder(const MessageRecord &record)
{
    if (!d->mayWrite())
        return AddResult::Failed;
    return OrderedPlacement::add(d->statements, record, d->highestDeleted);
}

std::optional<qint32> Recordset::highestNumber() const
{
    if (!isOpen()) {
        d->fail(closedText());
        return std::nullopt;
    }
    std::optional<StatementCatalogue::Numbered> highest;
    if (!d->statements.queryNumbered(StatementCatalogue::Highest, std::nullopt, &highest))
        return std::nullopt;
    return highest ? qint32(highest->number) : 0;
}

SqliteDb &Recordset::connection()
{
    return d->db;
}

bool Recordset::deleteCurrent()
{
    if (!d->mayWrite() || !d->needsCurrent())
        return false;
    SqliteStatement *s = d->statements.statement(StatementCatalogue::Delete);
    if (!s)
        return false;
    ResetOnExit resetter(*s);
    if (!s->bindInt64(1, d->id) || s->step() != SqliteStatement::Step::Done)
        return d->failSql();
    if (sqlite3_changes(d->db.handle()) != 1)
        return d->fail(noCurrentText());
    d->deleted = true;
    d->highestDeleted = std::max(d->highestDeleted, d->id);
    return true;
}

bool Recordset::refresh()
{
    if (!isOpen())
        return d->fail(closedText());
    d->noMatch = false;
    return moveFirst();
}

void Recordset::setDamageHandler(DamageHandler handler)
{
    d->damageHandler = std::move(handler);
    if (d->damaged && d->damageHandler)
        d->damageHandler(d->damageReason);
}

void Recordset::markDamaged(const QString &reason)
{
    d->noteDamage(reason);
}

bool Recordset::isDamaged() const
{
    return d->damaged;
}

QString Recordset::damageReason() const
{
    return d->damageReason;
}

sqlite3 *Recordset::handle() const
{
    return d->db.handle();
}
