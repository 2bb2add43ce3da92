// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/jetconverter.h"

#include "base/vbnumber.h"
#include "convert/jetsource.h"
#include "convert/jettable.h"
#include "archive/compaction.h"
#include "archive/databaselock.h"
#include "store/databasefile.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProgressIntervalMs = 100;
constexpr int kHeaderBytes = 0x15;
constexpr qsizetype kTablesNamed = 20;

using Status = JetConverter::Status;
using Result = JetConverter::Result;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString fieldList()
{
    QStringList names;
    for (const char *name : MessageFields::kNames)
        names << QLatin1String(name);
    return names.join(QStringLiteral(", "));
}

Result outcome(Status status, const QString &reason, qint64 messages = 0)
{
    Result result;
    result.status = status;
    result.reason = reason;
    result.messages = messages;
    return result;
}

// A word as a POSIX shell reads it back unchanged.
QString shellWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.,=/:+@%-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

// The sentence that tells why the reader could not give the table (`table` empty: the
// list of tables).
QString refusalText(const JetSource &source, const QString &file, const QString &table, qint64 rowsRead)
{
    const QString where = shown(file);
    switch (source.failure()) {
    case JetSource::Failure::NoReader:
        return QStringLiteral("The Access reader veltra-jetreader could not be started (%1); the program is not "
                              "installed completely.").arg(source.detail());
    case JetSource::Failure::Unreadable:
        if (!QFileInfo::exists(file))
            return QStringLiteral("There is no file %1.").arg(where);
        return QStringLiteral("%1 cannot be read as a Microsoft Access database: it is damaged, or not an Access "
                              "file.").arg(where);
    case JetSource::Failure::Version:
        return QStringLiteral("%1 is an Access 2007 or later database; only Access 97 to 2003 databases (Jet 3 and "
                              "Jet 4) can be converted. Save it in Access 2002-2003 format first.").arg(where);
    case JetSource::Failure::Encrypted:
        return QStringLiteral("%1 is encrypted; decrypt it in Access (Tools > Security > Encode/Decode Database) "
                              "and convert it again.").arg(where);
    case JetSource::Failure::Password:
        return QStringLiteral("%1 is protected by a database password; remove the password in Access (Tools > "
                              "Security > Unset Database Password) and convert it again.").arg(where);
    case JetSource::Failure::NoTable:
        return QStringLiteral("%1 has no table \"%2\".").arg(where, table);
    case JetSource::Failure::NoColumns: {
        QStringList missing = source.detail().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString &name : missing)
            name = QLatin1Char('"') + name + QLatin1Char('"');
        return QStringLiteral("In %1 the table \"%2\" has no column %3.").arg(where, table, missing.join(QStringLiteral(", ")));
    }
    case JetSource::Failure::BinaryColumn: {
        const QStringList parts = source.detail().split(QLatin1Char('\n'));
        return QStringLiteral("In %1 the column \"%2\" holds %3 data, which cannot be a message field.")
            .arg(where, parts.value(0), parts.value(1));
    }
    case JetSource::Failure::Damaged:
        return QStringLiteral("%1 is damaged or not an Access database: %2.").arg(where, source.detail());
    case JetSource::Failure::Broken:
        if (rowsRead > 0)
            return QStringLiteral("%1 is damaged: it could not be read past row %2.").arg(where).arg(rowsRead);
        if (table.isEmpty())
            return QStringLiteral("%1 is damaged: its list of tables could not be read.").arg(where);
        return QStringLiteral("%1 is damaged: its table \"%2\" could not be read.").arg(where, table);
    case JetSource::Failure::None:
    case JetSource::Failure::Cancelled:
        break;
    }
    return {};
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat x;
    struct stat y;
    return ::stat(QFile::encodeName(a).constData(), &x) == 0 && ::stat(QFile::encodeName(b).constData(), &y) == 0
           && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

// A veltra.mdb that may be replaced: the Jet file being converted, or a message database
// without messages. Empty when it may; otherwise why not.
QString replaceableTarget(const QString &target, const QString &jetFile)
{
    if (!QFileInfo::exists(target) || sameFile(target, jetFile))
        return {};
    const QString moveAway = QStringLiteral(" Move it away, or convert in another folder.");
    SqliteDb db;
    SqliteStatement count;
    if (JetConverter::looksLikeAccess(target) || !db.open(target, SQLITE_OPEN_READONLY)
        || !count.prepare(db, "SELECT count(*) FROM veltra", false) || count.step() != SqliteStatement::Step::Row)
        return QStringLiteral("%1 is already there and is not an empty message database.").arg(shown(target)) + moveAway;
    if (const qint64 n = count.columnInt64(0); n > 0)
        return QStringLiteral("%1 already holds %2 messages.").arg(shown(target)).arg(n) + moveAway;
    return {};
}

// Keeps the Jet file under `kept` too: a second name for the same file where the file
// system has them, a copy otherwise. Either way its bytes stay as they are.
QString keepJet(const QString &jetFile, const QString &kept)
{
    if (QFileInfo::exists(kept)) {
        if (sameFile(kept, jetFile))
            return {};
        return QStringLiteral("%1 is already there; move it away and convert again.").arg(shown(kept));
    }
    if (::link(QFile::encodeName(jetFile).constData(), QFile::encodeName(kept).constData()) == 0)
        return {};
    const int code = errno;
    if (code != EPERM && code != EXDEV && code != ENOTSUP && code != EMLINK && code != ENOSYS) {
        return QStringLiteral("%1 could not be kept as %2: %3.").arg(shown(jetFile), shown(kept), systemError(code));
    }
    QString why;
    if (!QFile::copy(jetFile, kept) || Compaction::syncToDisk(kept, &why) != 0) {
        QFile::remove(kept);
        return QStringLiteral("%1 could not be kept as %2.").arg(shown(jetFile), shown(kept));
    }
    return {};
}

void removeWriting(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

Result writeFailed(const QString &writing, const QString &reason)
{
    removeWriting(writing);
    return outcome(Status::Failed,
                   QStringLiteral("The new message database %1 could not be written: %2").arg(shown(writing), reason));
}

// Every running copy holds the folder's lock; converting needs it alone. Then the
// veltra.mdb there, and the name the Jet file is kept under, must be free to take.
std::optional<Result> claimFolder(DatabaseLock *lock, const QString &folder, const QString &jetFile, bool inPlace)
{
    const QDir dir(folder);
    QString why;
    if (!lock->lockShared(folder, 0, &why) || !lock->tryExclusive(&why))
        return outcome(Status::Failed, QStringLiteral("Another copy of the program has the message database in %1 "
                                                      "open; close it and convert again.").arg(shown(folder)));
    if (const QString refusal = replaceableTarget(dir.filePath(QLatin1String(JetConverter::kDatabase)), jetFile);
        !refusal.isEmpty())
        return outcome(Status::Refused, refusal);
    const QString kept = dir.filePath(QLatin1String(JetConverter::kKeptJet));
    if (inPlace && QFileInfo::exists(kept) && !sameFile(kept, jetFile))
        return outcome(Status::Refused, QStringLiteral("%1 is already there; move it away and convert again.").arg(shown(kept)));
    return std::nullopt;
}

// Tells the caller how far the conversion is, at most every kProgressIntervalMs; a
// handler that answers false cancels.
class Reporter final
{
public:
    explicit Reporter(const JetConverter::ProgressHandler &progress)
        : m_progress(progress)
    {
        m_sinceReport.start();
    }

    bool keepGoing()
    {
        if (!m_progress || !m_sinceReport.hasExpired(kProgressIntervalMs))
            return true;
        m_sinceReport.restart();
        cancelled = !m_progress(state);
        return !cancelled;
    }

    JetConverter::Progress state;
    bool cancelled = false;

private:
    const JetConverter::ProgressHandler &m_progress;
    QElapsedTimer m_sinceReport;
};

// Which value of a row each field takes.
std::array<std::size_t, MessageFields::kCount> fieldSources(const JetColumns &columns)
{
    const QStringList distinct = columns.distinctColumns();
    std::array<std::size_t, MessageFields::kCount> from{};
    for (std::size_t i = 0; i < from.size(); ++i) {
        for (qsizetype j = 0; j < distinct.size(); ++j) {
            if (distinct[j].compare(columns.columns[i], Qt::CaseInsensitive) == 0)
                from[i] = std::size_t(j);
        }
    }
    return from;
}

// A number that cannot be read is kept as 0 and counted in `unreadable`.
bool insertRow(SqliteStatement &insert, const std::vector<QByteArray> &values,
               const std::array<std::size_t, MessageFields::kCount> &from, qint64 *unreadable)
{
    const QByteArray &numberText = values[from[MessageFields::kMessnum]];
    const auto read = VbNumber::leadingNumberIfAny(QString::fromUtf8(numberText));
    const std::optional<qint32> number = read ? VbNumber::roundToInt32(*read) : std::nullopt;
    if (!number)
        ++*unreadable;
    insert.reset();
    bool bound = insert.bindInt64(1, number.value_or(0));
    for (int field = 1; field < MessageFields::kCount && bound; ++field)
        bound = insert.bindText(field + 1, values[from[std::size_t(field)]]);
    return bound && insert.step() == SqliteStatement::Step::Done;
}

// Copies every row the source gives into the new database at `writing`, in one
// transaction. Nullopt when all were written; otherwise the outcome, with the new
// database removed.
std::optional<Result> writeRows(JetSource &source, const QString &writing, const QString &jetFile,
                                const JetColumns &columns, Reporter &reporter, qint64 *unreadable)
{
    const auto from = fieldSources(columns);
    const JetSource::KeepGoing keepGoing = [&reporter] { return reporter.keepGoing(); };
    SqliteDb db;
    if (!db.open(writing, SQLITE_OPEN_READWRITE))
        return writeFailed(writing, db.lastError());
    // Nothing to roll back to: a failed file is removed whole. The commit still
    // writes it through to the disk before it is checked.
    db.exec("PRAGMA journal_mode = OFF");
    db.exec("PRAGMA synchronous = FULL");
    SqliteTransaction transaction(db);
    SqliteStatement insert;
    if (!transaction.isActive()
        || !insert.prepare(db, "INSERT INTO veltra (messnum, messauthor, messdate, messtitle, message)"
                               " VALUES (?1, ?2, ?3, ?4, ?5)"))
        return writeFailed(writing, db.lastError());
    std::vector<QByteArray> values;
    while (source.next(&values, keepGoing)) {
        if (!insertRow(insert, values, from, unreadable))
            return writeFailed(writing, db.lastError());
        ++reporter.state.done;
        keepGoing();
    }
    if (source.failure() == JetSource::Failure::Cancelled || reporter.cancelled) {
        transaction.rollback();
        db.close();
        removeWriting(writing);
        return outcome(Status::Cancelled, {});
    }
    if (source.failure() != JetSource::Failure::None) {
        transaction.rollback();
        db.close();
        removeWriting(writing);
        return outcome(Status::Refused, refusalText(source, jetFile, columns.table, reporter.state.done));
    }
    if (!transaction.commit())
        return writeFailed(writing, db.lastError());
    return std::nullopt;
}

// The checked new database becomes veltra.mdb; converting the folder's own veltra.mdb
// keeps the Jet file first. Nullopt when it is in place.
std::optional<Result> putInPlace(const QString &writing, const QString &folder, const QString &jetFile, bool inPlace,
                                 qint64 written)
{
    const QDir dir(folder);
    const QString target = dir.filePath(QLatin1String(JetConverter::kDatabase));
    Compaction::Figures figures;
    QString why;
    if (!Compaction::check(writing, &figures, &why))
        return writeFailed(writing, why);
    if (figures.records != written)
        return writeFailed(writing, QStringLiteral("it holds %1 messages of the %2 read.").arg(figures.records).arg(written));

    if (inPlace) {
        if (const QString kept = keepJet(jetFile, dir.filePath(QLatin1String(JetConverter::kKeptJet))); !kept.isEmpty()) {
            removeWriting(writing);
            return outcome(Status::Failed, kept);
        }
    } else {
        // The logs of an empty database replaced must not be read as the new one's.
        QFile::remove(target + QStringLiteral("-wal"));
        QFile::remove(target + QStringLiteral("-shm"));
    }
    if (::rename(QFile::encodeName(writing).constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        removeWriting(writing);
        return outcome(Status::Failed, QStringLiteral("%1 could not be renamed to %2: %3.")
                                           .arg(shown(writing), shown(target), systemError(code)));
    }
    return std::nullopt;
}

}

std::optional<JetColumns> JetColumns::parse(const QString &table, const QString &mapping, QString *error)
{
    JetColumns result;
    if (!table.isEmpty())
        result.table = table;
    std::array<bool, MessageFields::kCount> named{};
    for (const QString &pair : mapping.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString field = pair.left(equals).trimmed();
        const QString column = equals < 0 ? QString() : pair.mid(equals + 1).trimmed();
        if (equals < 0 || column.isEmpty()) {
            *error = QStringLiteral("--jet-columns needs FIELD=COLUMN pairs separated by commas, not \"%1\".").arg(pair);
            return std::nullopt;
        }
        int index = -1;
        for (int i = 0; i < MessageFields::kCount; ++i) {
            if (field.compare(QLatin1String(MessageFields::kNames[i]), Qt::CaseInsensitive) == 0)
                index = i;
        }
        if (index < 0) {
            *error = QStringLiteral("--jet-columns: \"%1\" is not a message field (%2).").arg(field, fieldList());
            return std::nullopt;
        }
        if (std::exchange(named[std::size_t(index)], true)) {
            *error = QStringLiteral("--jet-columns names the field %1 twice.").arg(field);
            return std::nullopt;
        }
        result.columns[std::size_t(index)] = column;
    }
    return result;
}

QString JetColumns::mapping() const
{
    QStringList pairs;
    for (int i = 0; i < MessageFields::kCount; ++i)
        pairs << QLatin1String(MessageFields::kNames[i]) + QLatin1Char('=') + columns[std::size_t(i)];
    return pairs.join(QLatin1Char(','));
}

QStringList JetColumns::distinctColumns() const
{
    QStringList distinct;
    for (const QString &column : columns) {
        if (!distinct.contains(column, Qt::CaseInsensitive))
            distinct << column;
    }
    return distinct;
}

JetConverter::JetConverter(const QString &readerProgram)
    : m_reader(readerProgram.isEmpty() ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("veltra-jetreader"))
                                       : readerProgram)
{
}

void JetConverter::setStallLimit(int ms)
{
    m_stallMs = ms;
}

bool JetConverter::looksLikeAccess(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return DatabaseFile::isAccessHeader(file.read(kHeaderBytes));
}

QString JetConverter::unreadableNumbersText(qint64 count)
{
    if (count == 0)
        return {};
    return QStringLiteral("%1 message(s) had a number that could not be read; they were kept with the number 0.").arg(count);
}

JetConverter::Result JetConverter::probe(const QString &jetFile, const JetColumns &columns) const
{
    JetSource source(m_reader, m_stallMs);
    if (!source.open(jetFile, columns.table, columns.distinctColumns(), {}))
        return refused(source, jetFile, columns);
    return outcome(Status::Ready, {}, source.expectedRows());
}

JetConverter::Result JetConverter::refused(const JetSource &source, const QString &jetFile, const JetColumns &columns) const
{
    if (source.failure() != JetSource::Failure::NoTable)
        return outcome(Status::Refused, refusalText(source, jetFile, columns.table, 0));
    QString why;
    const std::optional<QList<JetTable>> held = tables(jetFile, &why);
    Result result = outcome(Status::Refused, held ? missingTableText(jetFile, columns.table, *held)
                                                  : refusalText(source, jetFile, columns.table, 0));
    result.missingTable = true;
    return result;
}

std::optional<QList<JetTable>> JetConverter::tables(const QString &jetFile, QString *reason) const
{
    JetSource source(m_reader, m_stallMs);
    QList<JetTable> found;
    if (!source.list(jetFile, &found, {})) {
        *reason = refusalText(source, jetFile, {}, 0);
        return std::nullopt;
    }
    std::sort(found.begin(), found.end(), [](const JetTable &a, const JetTable &b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return found;
}

QString JetConverter::missingTableText(const QString &jetFile, const QString &table, const QList<JetTable> &tables)
{
    const QString missing = QStringLiteral("%1 has no table \"%2\".").arg(shown(jetFile), table);
    if (tables.isEmpty())
        return missing + QStringLiteral(" It holds no tables at all.");
    QStringList names;
    for (const JetTable &held : tables.first(std::min(tables.size(), kTablesNamed)))
        names << held.name;
    QString text = missing + QStringLiteral(" Its tables: ") + names.join(QStringLiteral(", "));
    if (tables.size() > kTablesNamed)
        text += QStringLiteral(" and %1 more").arg(tables.size() - kTablesNamed);
    const JetTable *example = JetTable::example(tables);
    if (!example && std::any_of(tables.begin(), tables.end(), [](const JetTable &t) { return t.columns.isEmpty(); }))
        return text + QStringLiteral(". Their columns cannot be read: the file is damaged.");
    if (!example)
        return text + QStringLiteral(". None of them has a column a message could be read from.");
    return text + QStringLiteral(". Convert one of them with its columns named, e.g.:\n  veltra-kb --convert-jet %1 "
                                 "--jet-table %2 --jet-columns %3")
                      .arg(shellWord(shown(jetFile)), shellWord(example->name),
                           shellWord(example->suggestedColumns()->mapping()));
}

JetConverter::Result JetConverter::convert(const QString &jetFile, const QString &folder, const JetColumns &columns,
                                           const ProgressHandler &progress) const
{
    const QDir dir(folder);
    const QString writing = dir.filePath(QLatin1String(kWriting));
    const bool inPlace = sameFile(dir.filePath(QLatin1String(kDatabase)), jetFile);

    DatabaseLock lock;
    if (auto refused = claimFolder(&lock, folder, jetFile, inPlace))
        return *refused;

    Reporter reporter(progress);
    removeWriting(writing);
    if (QString why; !DatabaseFile::create(writing, &why))
        return outcome(Status::Failed, why);
    JetSource source(m_reader, m_stallMs);
    if (!source.open(jetFile, columns.table, columns.distinctColumns(), [&reporter] { return reporter.keepGoing(); })) {
        removeWriting(writing);
        if (source.failure() == JetSource::Failure::Cancelled)
            return outcome(Status::Cancelled, {});
        return refused(source, jetFile, columns);
    }
    reporter.state.expected = source.expectedRows();

    qint64 unreadable = 0;
    if (auto stopped = writeRows(source, writing, jetFile, columns, reporter, &unreadable))
        return *stopped;
    if (progress && !progress(reporter.state)) {
        removeWriting(writing);
        return outcome(Status::Cancelled, {});
    }
    if (auto failed = putInPlace(writing, folder, jetFile, inPlace, reporter.state.done))
        return *failed;
    Compaction::syncToDisk(folder, nullptr); // in place; a failed flush changes nothing now
    Result result = outcome(Status::Converted, {}, reporter.state.done);
    result.unreadableNumbers = unreadable;
    return result;
}
