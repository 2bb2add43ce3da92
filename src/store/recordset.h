// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;
class CompiledCriteria;
class SqliteDb;

// The shared, updatable cursor over table veltra of the message database, in stored
// (insertion) order. It behaves like the data control's recordset the program was built
// around: a current record that persists between commands, BOF/EOF after moving before
// the first or past the last record, find-first/find-next by Jet-style criteria with a
// no-match flag, edit, add and delete.
//
// Operations never throw. Those that can fail return false (or FindResult::Error) and
// leave a readable reason in lastError().
class Recordset final
{
public:
    enum class FindResult { Found, NoMatch, Error };

    // Damaged: an SQLite file that SQLite finds corrupt (its messages may be rescued).
    enum class OpenStatus { Ok, Missing, NotADatabase, NoTable, Unreadable, Damaged };
    struct OpenResult
    {
        OpenStatus status = OpenStatus::Ok;
        QString reason;                       // human-readable, names the file
        std::unique_ptr<Recordset> recordset; // set when status is Ok
    };

    // Opens an existing file; never creates, overwrites or deletes one. The cursor is on
    // the first record (or at BOF/EOF when the table is empty).
    static OpenResult open(const QString &databasePath, const QString &table = QStringLiteral("veltra"));
    // Creates a new database file with an empty message table. Fails if the file exists.
    static bool createEmpty(const QString &databasePath, QString *error = nullptr);

    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    bool isOpen() const;
    // True when the file could only be opened for reading (a folder or file this user
    // cannot write): every write fails.
    bool isReadOnly() const;
    void close();
    QString databasePath() const;
    QString lastError() const;

    bool moveFirst();
    bool moveLast();
    bool moveNext();
    bool movePrevious();
    bool bof() const;
    bool eof() const;
    // True when the cursor stands on a record that can be read (not BOF/EOF/deleted).
    bool hasCurrent() const;
    int recordCount() const;

    // Criteria in the Jet filter syntax (see criteria.h). FindFirst searches from the first
    // record, FindNext from the record after the current position (also after a delete).
    // On no match (and on error) the current record stays where it was.
    FindResult findFirst(const QString &criteria);
    FindResult findNext(const QString &criteria);
    bool noMatch() const;

    // Finds jump through the candidates of the substring index (see searchindex.h) among
    // the records it covers, and read the records after those; what they find is the same
    // as reading every record. Off: every find reads every record. Setting it clears a
    // failure (searchIndexFailed).
    void setSearchIndexUse(bool use);
    // True when finds use the index now; complete: it covers every record.
    bool searchIndexInUse() const;
    bool searchIndexComplete() const;
    // How many candidates finds read from the index at a time (2048); tests make it small.
    void setSearchIndexChunk(int candidates);
    // True once the index failed a lookup (damaged): finds read every record from then on.
    bool searchIndexFailed() const;
    // True when the opening found the index as this program left it at a clean close after
    // it had been checked (see indextrust.h): it may be used before any check.
    bool searchIndexTrusted() const;
    // Said by the index's keeper: the index has passed its check (or was trusted) in this
    // session. A clean close then marks it trusted for the next opening, unless the file was
    // found damaged, the index failed a lookup since, or the file is read-only.
    void setSearchIndexVouched(bool vouched);
    // What finds with these criteria ask the index now: "table: query"; empty when they
    // read every record. For benchmarks and diagnostics.
    QString searchIndexQuery(const QString &criteria);

    // Field of the current record by name (messnum, messauthor, messdate, messtitle,
    // message; case-insensitive). Invalid QVariant when there is no current record.
    QVariant field(const QString &name) const;
    // The whole current record, or all but its body (one read for a list line); false
    // when there is none.
    enum class Body { Read, Skipped };
    bool current(MessageRecord *out, Body body = Body::Read) const;

    // Edit: assigns messdate (or any text field) of the current record and commits.
    bool updateField(const QString &name, const QVariant &value);
    // Appends a record at the end of the stored order and commits at once.
    // The current record stays what it was.
    bool addNew(const MessageRecord &record);
    // Stores a record in its place by number: after the highest number below its own and
    // before the lowest above it, so that stepping through stored order still walks the
    // archive by number. Commits at once, or joins the caller's transaction on
    // connection(). A number already stored is left alone. The current record stays.
    enum class AddResult { Added, AlreadyStored, Failed };
    AddResult addInOrder(const MessageRecord &record);
    // The highest message number stored that is a whole number from 1 to 2147483647
    // (0 when there is none); damaged or hand-written numbers outside that are passed over.
    // Nullopt on failure.
    std::optional<qint32> highestNumber() const;

    // Deletes the current record. The position is kept, so moveNext/findNext continue
    // after the deleted record.
    bool deleteCurrent();
    // Re-reads the table; the current record becomes the first record.
    bool refresh();

    // The cursor's position with its no-match flag, as a DAO bookmark keeps it: a long
    // command that lets other commands run (they move the shared cursor too) puts its own
    // position back before it goes on.
    struct Bookmark
    {
        qint64 id = 0;
        bool bof = true;
        bool eof = true;
        bool deleted = false;
        bool noMatch = false;
    };
    Bookmark bookmark() const;
    void setBookmark(const Bookmark &bookmark);

    // Damage: once SQLite reports the file corrupt (or not a database) on any read or write,
    // or damage found elsewhere is reported with markDamaged, the recordset stays damaged.
    // Reads go on, so what is readable stays readable; every write is refused,
    // so nothing more is lost. The handler is called once, on the first damage, possibly in
    // the middle of a walk: it must not call back into the recordset.
    using DamageHandler = std::function<void(const QString &reason)>;
    // Called at once when damage is already known.
    void setDamageHandler(DamageHandler handler);
    void markDamaged(const QString &reason);
    bool isDamaged() const;
    QString damageReason() const;

    sqlite3 *handle() const; // for tools and benchmarks
    // The connection, for tables kept beside the messages that share its transactions.
    SqliteDb &connection();

private:
    Recordset();
    struct Private;
    std::unique_ptr<Private> d;
};
