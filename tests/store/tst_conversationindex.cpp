// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation store: lookups through it agree with reading every subject, through
// writes of every kind (by the program, and by plain SQL without its functions), in the
// middle of a build and after it; a build called off goes on later; a file of the earlier
// form or with the store broken gets it made; a file that cannot be written is refused
// cleanly; compaction keeps it.
#include "damagedfile.h"
#include "fixtures.h"
#include "archive/compaction.h"
#include "messagegenerator.h"
#include "store/conversationindex.h"
#include "store/conversationtopic.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <unistd.h>

namespace {

using Member = ConversationIndex::Member;

// The conversation of a subject as the test works it out on its own: every record read,
// its subject's topic compared.
std::vector<Member> expected(const QString &path, const QString &title)
{
    std::vector<Member> found;
    const QString topic = ConversationTopic::of(title);
    SqliteDb db;
    SqliteStatement s;
    if (topic.isEmpty() || !db.open(path, SQLITE_OPEN_READONLY)
        || !s.prepare(db, "SELECT rowid, messnum, messtitle, messauthor, messdate FROM veltra ORDER BY messnum, rowid"))
        return found;
    while (s.step() == SqliteStatement::Step::Row) {
        if (ConversationTopic::of(s.columnText(2)) == topic)
            found.push_back({s.columnInt64(0), qint32(s.columnInt64(1)), s.columnText(2), s.columnText(3), s.columnText(4)});
    }
    return found;
}

QList<qint64> rowids(const std::vector<Member> &members)
{
    QList<qint64> ids;
    for (const Member &m : members)
        ids << m.rowid;
    return ids;
}

qint64 number(const QString &path, const QByteArray &sql)
{
    SqliteDb db;
    SqliteStatement s;
    if (!db.open(path, SQLITE_OPEN_READONLY) || !s.prepare(db, sql) || s.step() != SqliteStatement::Step::Row)
        return -1;
    return s.columnInt64(0);
}

void exec(const QString &path, const QByteArray &sql)
{
    // A connection as the sqlite3 tool has it: none of the program's functions.
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READWRITE));
    QVERIFY2(db.exec(sql.constData()), qPrintable(db.lastError()));
}

std::unique_ptr<Recordset> openRecordset(const QString &path)
{
    return std::move(Recordset::open(path).recordset);
}

// Generated threads, with the subjects of other mail programs and languages mixed in.
QList<MessageRecord> corpus(int count)
{
    QList<MessageRecord> records = MessageGenerator::generate(7, count);
    const QStringList forms = {QStringLiteral("Fwd: %1"), QStringLiteral("AW: [vclub] %1"), QStringLiteral("RE[2]: %1"),
                               QStringLiteral("re :  %1  ")};
    for (qsizetype i = 0; i < records.size(); ++i) {
        QString &title = records[i].messtitle;
        const QString bare = title.mid(MessageGenerator::subjectLead().size());
        if (i % 5 == 0)
            title = forms[(i / 5) % forms.size()].arg(i % 3 ? bare : bare.toUpper());
        if (i % 97 == 0)
            title = QStringLiteral("[vclb] Re: BREMSFLÜSSIGKEIT wechseln");
        if (i % 101 == 0)
            title = QStringLiteral("Fwd: bremsflüssigkeit WECHSELN");
        if (i % 89 == 0)
            title = QStringLiteral("[vclb] Re: ");
    }
    return records;
}

// Subjects to look up: some of every kind in the file, and ones no record has.
QStringList probes(const QString &path)
{
    QStringList titles = {QStringLiteral("Re: bremsflüssigkeit wechseln"), QStringLiteral("no such subject"),
                          QStringLiteral("Re: Re:"), QString()};
    SqliteDb db;
    SqliteStatement s;
    if (db.open(path, SQLITE_OPEN_READONLY) && s.prepare(db, "SELECT messtitle FROM veltra WHERE rowid % 23 = 1")) {
        while (s.step() == SqliteStatement::Step::Row)
            titles << s.columnText(0);
    }
    return titles;
}

ConversationIndexBuilder::Report build(const QString &path)
{
    return ConversationIndexBuilder::run(path);
}

qint64 backlog(const QString &path)
{
    SqliteDb db;
    return db.open(path, SQLITE_OPEN_READONLY) ? ConversationIndex::backlog(db) : -2;
}

} // namespace

class TestConversationIndex final : public QObject
{
    Q_OBJECT

private slots:
    void followsEveryWrite();
    void buildCalledOffGoesOnLater();
    void storeMadeOrBuiltAnew_data();
    void storeMadeOrBuiltAnew();
    void refusedFiles_data();
    void refusedFiles();
    void compactionKeepsTheStore();

private:
    // Lookups on the connection agree with the test's own reading of every record.
    static void checkAgreement(const QString &path, SqliteDb &db);
    static void checkAgreement(const QString &path);
};

void TestConversationIndex::checkAgreement(const QString &path, SqliteDb &db)
{
    int listed = 0;
    for (const QString &title : probes(path)) {
        QString error;
        const std::vector<Member> found = ConversationIndex::members(db, title, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const std::vector<Member> wanted = expected(path, title);
        QCOMPARE(rowids(found), rowids(wanted));
        QVERIFY(found == wanted);
        listed += found.size() > 1 ? 1 : 0;
    }
    QVERIFY(listed > 5); // conversations of several messages were among them
}

void TestConversationIndex::checkAgreement(const QString &path)
{
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READONLY));
    checkAgreement(path, db);
}

void TestConversationIndex::followsEveryWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(600)));
    QCOMPARE(build(path).outcome, ConversationIndexBuilder::Outcome::Ready);
    QCOMPARE(backlog(path), 0);
    auto rs = openRecordset(path);
    QVERIFY(rs);
    SqliteDb &db = rs->connection();
    checkAgreement(path, db);

    const QString subject = QStringLiteral("Re: bremsflüssigkeit wechseln");
    // The program's writes: a message stored again in its place in the covered part and
    // one at the end, a retitled one, a flag (no title changed), a deletion, and writes
    // rolled back.
    QVERIFY(rs->moveFirst() && rs->moveNext() && rs->moveNext());
    MessageRecord added = Fixtures::message(rs->field(QStringLiteral("messnum")).toInt());
    added.messtitle = QStringLiteral("SV: Bremsflüssigkeit  wechseln");
    QVERIFY(rs->deleteCurrent());
    QCOMPARE(rs->addInOrder(added), Recordset::AddResult::Added);
    added.messnum = 900000;
    QVERIFY(rs->addNew(added));
    QVERIFY(rs->moveFirst() && rs->moveNext());
    QVERIFY(rs->updateField(QStringLiteral("messtitle"), QStringLiteral("Re: [vclub] BREMSFLÜSSIGKEIT WECHSELN")));
    QVERIFY(rs->moveNext() && rs->updateField(QStringLiteral("messdate"), QStringLiteral("-1Mon Mar 3, 2003")));
    QVERIFY(rs->moveNext() && rs->deleteCurrent());
    {
        SqliteTransaction transaction(db);
        QVERIFY(rs->moveLast() && rs->movePrevious());
        const qint64 retitled = rs->bookmark().id;
        QVERIFY(rs->updateField(QStringLiteral("messtitle"), subject) && rs->addNew(added) && rs->moveLast());
        const QList<qint64> inside = rowids(ConversationIndex::members(db, subject));
        QVERIFY(inside.contains(retitled) && inside.contains(rs->bookmark().id));
        transaction.rollback();
    }
    checkAgreement(path, db);

    // Plain SQL: an insert in a gap of the covered part, retitles, a delete, a record
    // replaced in its place, and records given another rowid within and past it.
    exec(path, "DELETE FROM veltra WHERE rowid % 29 = 0;"
               "INSERT INTO veltra(rowid, messnum, messauthor, messdate, messtitle, message)"
               " VALUES (58, 7, 'a', 'd', 'Fwd: BremsFlüssigkeit wechseln', 'b');"
               "UPDATE veltra SET messtitle = 'Re: ' || messtitle WHERE rowid % 31 = 0;"
               "UPDATE veltra SET messtitle = 'bremsflüssigkeit wechseln' WHERE rowid = 40;"
               "INSERT OR REPLACE INTO veltra(rowid, messnum, messauthor, messdate, messtitle, message)"
               " VALUES (5, 5, 'a', 'd', 'Bremsflüssigkeit wechseln', 'b');"
               "UPDATE veltra SET id = 87 WHERE id = 9;"
               "UPDATE veltra SET id = 5000 WHERE id = 10;");
    QVERIFY(backlog(path) > 0);
    checkAgreement(path, db);

    const qint64 waiting = backlog(path);
    const ConversationIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, ConversationIndexBuilder::Outcome::Ready);
    QCOMPARE(report.detail, QString()); // kept up, not built anew
    QCOMPARE(report.computed, waiting);
    QCOMPARE(backlog(path), 0);
    checkAgreement(path, db);
}

void TestConversationIndex::buildCalledOffGoesOnLater()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(3000)));
    auto rs = openRecordset(path);
    QVERIFY(rs);
    QList<std::vector<Member>> halfway;
    {
        ConversationIndexBuilder builder;
        QVERIFY(builder.start(path, {1, 20, 2}));
        // Writes made meanwhile wait for the build's short steps and never fail, even the
        // update's kind that reads before it writes.
        for (int i = 0; i < 40; ++i) {
            SqliteTransaction transaction(rs->connection());
            MessageRecord r = Fixtures::message(rs->highestNumber().value_or(0) + 1);
            r.messtitle = QStringLiteral("Re: Bremsflüssigkeit wechseln");
            QVERIFY2(rs->addInOrder(r) == Recordset::AddResult::Added && transaction.commit(), qPrintable(rs->lastError()));
            QVERIFY(rs->moveFirst() && rs->updateField(QStringLiteral("messtitle"), QStringLiteral("[vclub] retitled %1").arg(i % 4)));
            QTest::qWait(2);
        }
        QTRY_VERIFY(number(path, "SELECT upto FROM veltra_topic_state") > 600);
    } // called off here
    const qint64 upto = number(path, "SELECT upto FROM veltra_topic_state");
    QVERIFY(upto < number(path, "SELECT max(rowid) FROM veltra"));
    // Half a store already answers, and right.
    checkAgreement(path, rs->connection());
    for (const QString &title : probes(path))
        halfway << ConversationIndex::members(rs->connection(), title);

    ConversationIndexBuilder builder;
    QSignalSpy progress(&builder, &ConversationIndexBuilder::progress);
    QSignalSpy finished(&builder, &ConversationIndexBuilder::finished);
    QVERIFY(builder.start(path));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(finished[0][0].value<ConversationIndexBuilder::Outcome>(), ConversationIndexBuilder::Outcome::Ready);
    QVERIFY(!builder.isRunning());
    // It went on from where it stopped rather than starting again.
    QVERIFY(!progress.isEmpty());
    QVERIFY(progress[0][0].toLongLong() >= upto - 100);
    QCOMPARE(progress.last()[0], progress.last()[1]);
    QCOMPARE(backlog(path), 0);
    const QStringList titles = probes(path);
    for (qsizetype i = 0; i < titles.size(); ++i)
        QVERIFY(ConversationIndex::members(rs->connection(), titles[i]) == halfway[i]);
    checkAgreement(path, rs->connection());
}

void TestConversationIndex::storeMadeOrBuiltAnew_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("a database of the earlier form") << QByteArray("REMOVE");
    QTest::newRow("a table dropped by hand") << QByteArray("DROP TABLE veltra_topic_stale");
    QTest::newRow("a trigger dropped by hand") << QByteArray("DROP TRIGGER veltra_topic_delete");
    QTest::newRow("the build state lost") << QByteArray("DELETE FROM veltra_topic_state");
    QTest::newRow("another version's store") << QByteArray("UPDATE veltra_topic_state SET format = 99");
    QTest::newRow("records deleted around the triggers")
        << QByteArray("DROP TRIGGER veltra_topic_delete; DELETE FROM veltra WHERE rowid % 10 = 0; TRIGGER");
}

void TestConversationIndex::storeMadeOrBuiltAnew()
{
    QFETCH(QByteArray, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(400)));
    QCOMPARE(build(path).outcome, ConversationIndexBuilder::Outcome::Ready);
    if (damage == "REMOVE") {
        SqliteDb db;
        QVERIFY(db.open(path, SQLITE_OPEN_READWRITE) && ConversationIndex::remove(db));
        QCOMPARE(backlog(path), number(path, "SELECT count(*) FROM veltra") + 1);
    } else if (damage.endsWith("TRIGGER")) {
        // Put back as it was, so every part looks whole.
        SqliteDb db;
        SqliteStatement s;
        QVERIFY(db.open(path, SQLITE_OPEN_READONLY));
        QVERIFY(s.prepare(db, "SELECT sql FROM sqlite_schema WHERE name = 'veltra_topic_delete'"));
        QCOMPARE(s.step(), SqliteStatement::Step::Row);
        exec(path, damage.chopped(7) + s.columnText(0).toUtf8());
    } else {
        exec(path, damage);
    }
    {
        // Whatever is left of the store, the program's writes go through, and lookups are right.
        auto rs = openRecordset(path);
        QVERIFY(rs);
        MessageRecord r = Fixtures::message(20000);
        r.messtitle = QStringLiteral("RE: Bremsflüssigkeit wechseln");
        QVERIFY2(rs->addNew(r), qPrintable(rs->lastError()));
        QVERIFY(rs->moveFirst() && rs->updateField(QStringLiteral("messtitle"), r.messtitle));
        QVERIFY(rs->moveLast() && rs->movePrevious() && rs->deleteCurrent());
        checkAgreement(path, rs->connection());
        QVERIFY(ConversationIndex::backlog(rs->connection()) > 0);
    }
    const ConversationIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, ConversationIndexBuilder::Outcome::Ready);
    QCOMPARE(report.detail.isEmpty(), damage == "REMOVE");
    QCOMPARE(report.computed, number(path, "SELECT count(*) FROM veltra"));
    QCOMPARE(backlog(path), 0);
    checkAgreement(path);
}

void TestConversationIndex::refusedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("write-protected") << QStringLiteral("protected");
    // SQLite only reads a file whose header asks for a later format to write it: this
    // makes a file that cannot be written for every user, root included.
    QTest::newRow("of a later format to write") << QStringLiteral("later");
    QTest::newRow("damaged") << QStringLiteral("damaged");
}

void TestConversationIndex::refusedFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    if (kind == QLatin1String("damaged")) {
        QVERIFY(DamagedFile::write(path, true));
    } else {
        QVERIFY(Fixtures::writeDatabase(path, corpus(300)));
        exec(path, "PRAGMA journal_mode = DELETE");
    }
    if (kind == QLatin1String("protected")) {
        if (::geteuid() == 0)
            QSKIP("root can write a write-protected file");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    } else if (kind == QLatin1String("later")) {
        QByteArray bytes = Fixtures::readAll(path);
        bytes[18] = 3;
        Fixtures::writeAll(path, bytes);
    }
    const QByteArray before = Fixtures::readAll(path);
    const ConversationIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, ConversationIndexBuilder::Outcome::Failed);
    QVERIFY(!report.detail.isEmpty());
    if (kind != QLatin1String("damaged")) {
        QCOMPARE(Fixtures::readAll(path), before);
        // Lookups read every subject instead.
        checkAgreement(path);
        return;
    }
    // A conversation the damage hides part of is reported as unreadable, not listed short.
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READONLY));
    QString error;
    QCOMPARE(ConversationIndex::members(db, QStringLiteral("[vclub] Subject 1"), &error).size(), std::size_t(0));
    QVERIFY(!error.isEmpty());
}

void TestConversationIndex::compactionKeepsTheStore()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(400)));
    QCOMPARE(build(path).outcome, ConversationIndexBuilder::Outcome::Ready);
    exec(path, "DELETE FROM veltra WHERE messnum % 3 = 0");
    const Compaction::Result result = Compaction::compact(dir.path());
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(backlog(path), 0);
    checkAgreement(path);
    const ConversationIndexBuilder::Report report = build(path);
    QCOMPARE(report.detail, QString());
    QCOMPARE(report.computed, 0);
}

QTEST_GUILESS_MAIN(TestConversationIndex)
#include "tst_conversationindex.moc"
