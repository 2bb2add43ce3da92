// SPDX-License-Identifier: GPL-3.0-or-later
// The substring index: finds through it agree with finds that read every record, and both
// with finds made one by one by the general matcher, for thousands of search terms and
// through writes of every kind, between the finds of one search too; it follows every write; a
// broken or missing index is built anew meanwhile searches read every record; a build
// called off or killed goes on from where it got to; compaction keeps it.
#include "fixtures.h"
#include "archive/compaction.h"
#include "messagegenerator.h"
#include "search/querybuilder.h"
#include "store/compiledcriteria.h"
#include "store/recordset.h"
#include "store/criteria.h"
#include "store/jetlike.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"
#include "store/substringquery.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <csignal>

namespace {

const char *const kIndexTables[] = {"veltra_fts_author", "veltra_fts_title", "veltra_fts_body"};

// Where a walk of finds went: the records found in turn, how it ended and where the
// cursor stood then.
struct Walk
{
    QList<qint64> found;
    Recordset::FindResult end = Recordset::FindResult::NoMatch;
    qint64 standsOn = 0;
    bool operator==(const Walk &) const = default;
};

// From the first record (start 0), or FindNext from the record `start`.
Walk walk(Recordset &rs, const QString &criteria, qint64 start)
{
    Walk w;
    Recordset::FindResult r;
    if (start == 0) {
        rs.moveFirst();
        r = rs.findFirst(criteria);
    } else {
        Recordset::Bookmark at;
        at.id = start;
        at.bof = at.eof = false;
        rs.setBookmark(at);
        r = rs.findNext(criteria);
    }
    while (r == Recordset::FindResult::Found && w.found.size() < 100000) {
        w.found << rs.bookmark().id;
        r = rs.findNext(criteria);
    }
    w.end = r;
    w.standsOn = rs.bookmark().id;
    return w;
}

// Finds as they were made before runs of hits and the byte-wise matcher: the hits after a
// rowid by one statement on a connection of its own, judged by the general matcher.
class Reference
{
public:
    explicit Reference(const QString &path)
    {
        m_db.open(path, SQLITE_OPEN_READWRITE);
        sqlite3_create_function_v2(m_db.handle(), JetLike::kSqlFunction, 2, SQLITE_UTF8, nullptr, like, nullptr, nullptr,
                                   nullptr);
    }

    QList<qint64> hits(const QString &criteria, qint64 after, int limit = -1)
    {
        QList<qint64> found;
        const auto compiled = CompiledCriteria::compile(criteria);
        SqliteStatement s;
        if (compiled && s.prepare(m_db, "SELECT rowid FROM veltra WHERE rowid > ? AND " + compiled->sql() + " ORDER BY rowid LIMIT ?")
            && s.bindInt64(1, after) && compiled->bind(s, 2) && s.bindInt64(2 + compiled->parameterCount(), limit)) {
            while (s.step() == SqliteStatement::Step::Row)
                found << s.columnInt64(0);
        }
        return found;
    }
    qint64 next(const QString &criteria, qint64 after) { return hits(criteria, after, 1).value(0, 0); }

    // What walk() finds.
    Walk walk(const QString &criteria, qint64 start)
    {
        Walk w{hits(criteria, start), Recordset::FindResult::NoMatch, start};
        if (!CompiledCriteria::compile(criteria))
            w.end = Recordset::FindResult::Error;
        w.standsOn = !w.found.isEmpty() ? w.found.last() : start ? start : next(QStringLiteral("messnum like '*'"), 0);
        return w;
    }

private:
    static void like(sqlite3_context *context, int, sqlite3_value **argv)
    {
        const auto *pattern = static_cast<const JetLike *>(sqlite3_value_pointer(argv[0], JetLike::kPointerType));
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
        sqlite3_result_int(context, pattern && text && pattern->matchesGenerally(text, std::size_t(sqlite3_value_bytes(argv[1]))));
    }

    SqliteDb m_db;
};

// SQLite's own check that each index holds exactly what table veltra holds; empty when it does.
QString outOfStep(const QString &path)
{
    SqliteDb db;
    if (!db.open(path, SQLITE_OPEN_READWRITE))
        return db.lastError();
    for (const char *table : kIndexTables) {
        if (!db.exec(QByteArray("INSERT INTO ") + table + "(" + table + ") VALUES('integrity-check')"))
            return QString::fromLatin1(table) + u' ' + db.lastError();
    }
    return {};
}

void exec(const QString &path, const QByteArray &sql)
{
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READWRITE));
    QVERIFY2(db.exec(sql.constData()), qPrintable(db.lastError()));
}

std::unique_ptr<Recordset> openRecordset(const QString &path, bool useIndex = true)
{
    auto opened = Recordset::open(path);
    if (opened.recordset)
        opened.recordset->setSearchIndexUse(useIndex);
    return std::move(opened.recordset);
}

// Generated messages with text in several languages and letter cases mixed in.
QList<MessageRecord> corpus(int count)
{
    QList<MessageRecord> records = MessageGenerator::generate(11, count);
    const QStringList foreign = {QStringLiteral("Überholung der Ölwanne, STRASSE straße"),
                                 QStringLiteral("Révision du carburateur ÉTÉ"), QStringLiteral("Ремонт сцепления РЕМОНТ"),
                                 QStringLiteral("İstanbul ıstanbul ǅemal"), QStringLiteral("ΣΊΣΥΦΟΣ σίσυφος"),
                                 QStringLiteral("\u212Aelvin ſtraße ﬁlter"), QStringLiteral("Tom &amp; Sue O'Neil"),
                                 QStringLiteral("Wymiana łożysk, ŻÓŁĆ żółć"), QStringLiteral("Příliš žluťoučký kůň ÚPĚL"),
                                 QStringLiteral("Þórður og ÆGIR ægir"), QStringLiteral("Tiếng Việt TIẾNG"),
                                 QStringLiteral("ǅ ǆ Ǆ \U0001F697 ẞ ß")};
    for (qsizetype i = 0; i < records.size(); i += 5) {
        records[i].message += u' ' + foreign[i % foreign.size()];
        if (i % 3 == 0)
            records[i].messtitle += u' ' + foreign[(i / 3) % foreign.size()];
        if (i % 4 == 0)
            records[i].messauthor += u' ' + foreign[(i / 4) % foreign.size()];
    }
    return records;
}

SearchIndexBuilder::Report build(const QString &path, SearchIndexBuilder::Task task = SearchIndexBuilder::Task::Build)
{
    return SearchIndexBuilder::run(path, task);
}

qint64 number(const QString &path, const QByteArray &sql)
{
    SqliteDb db;
    SqliteStatement s;
    if (!db.open(path, SQLITE_OPEN_READONLY) || !s.prepare(db, sql) || s.step() != SqliteStatement::Step::Row)
        return -1;
    return s.columnInt64(0);
}

} // namespace

class TestSearchIndex final : public QObject
{
    Q_OBJECT

private slots:
    void findsAgreeWithReadingEveryRecord();
    void findsSeeEveryWriteBetweenThem();
    void brokenIndexIsBuiltAnew_data();
    void brokenIndexIsBuiltAnew();
    void checkAtOpeningFindsWhatCountsCannot_data();
    void checkAtOpeningFindsWhatCountsCannot();
    void buildCalledOffGoesOnLater();
    void killedBuildGoesOnLater();
    void compactionKeepsTheIndex();
    void backlogIsTakenUpLater();
    void wordsWrittenElsewhereAreAskedFor();

private:
    // Finds of a few terms agree with reading every record; a complete index is in step.
    static void checkAgreement(const QString &path, bool complete = true);
};

void TestSearchIndex::checkAgreement(const QString &path, bool complete)
{
    auto indexed = openRecordset(path);
    auto scanning = openRecordset(path, false);
    QVERIFY(indexed && scanning);
    QVERIFY(indexed->searchIndexInUse());
    QCOMPARE(indexed->searchIndexComplete(), complete);
    for (const char *criteria : {"message like '*the*'", "mid(messtitle,8) like '*clutch*'", "messauthor like '*o''n*'",
                                 "message like '*ölwanne*'", "message like '*zzzq*'", "message hasword 'the'",
                                 "mid(messtitle,8) hasword 'clutch cable'"})
        QCOMPARE(walk(*indexed, QLatin1String(criteria), 0), walk(*scanning, QLatin1String(criteria), 0));
    if (complete)
        QCOMPARE(outOfStep(path), QString());
}

void TestSearchIndex::findsAgreeWithReadingEveryRecord()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QList<MessageRecord> records = corpus(900);
    QVERIFY(Fixtures::writeDatabase(path, records));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    // Two connections, as two copies of the program: writes through either must reach the other's finds.
    auto indexed = openRecordset(path);
    auto scanning = openRecordset(path, false);
    QVERIFY(indexed->searchIndexInUse());
    QVERIFY(!scanning->searchIndexInUse());
    // Candidates a few at a time, so finds go from one lot to the next, and common words
    // turn to reading the records in turn, as they do in a large archive.
    indexed->setSearchIndexChunk(16);
    Reference reference(path);

    QRandomGenerator random(20261208);
    const auto pick = [&](const QStringList &from) { return from[random.bounded(int(from.size()))]; };
    const QStringList hostile = {QStringLiteral("'"), QStringLiteral("\""), QStringLiteral("[a-"), QStringLiteral("[!x]"),
                                 QStringLiteral("&amp;"), QStringLiteral("*"), QStringLiteral("#"), QStringLiteral("?"),
                                 QStringLiteral("' or '1'='1"), QStringLiteral("é"), QStringLiteral("İ"), QStringLiteral("ß")};
    // Words as users type them: from the messages, in any case, now and then with a
    // wildcard or a hostile piece of their own.
    const auto word = [&] {
        const MessageRecord &r = records[random.bounded(int(records.size()))];
        QStringList words = pick({r.messauthor, r.messtitle.mid(7), r.message}).split(u' ', Qt::SkipEmptyParts);
        QString w = words.isEmpty() ? QStringLiteral("x") : pick(words);
        w = w.mid(random.bounded(2), 2 + random.bounded(10));
        if (random.bounded(3) == 0)
            w = w.toUpper();
        if (random.bounded(6) == 0 && w.size() > 2)
            w[random.bounded(int(w.size()))] = pick({QStringLiteral("?"), QStringLiteral("#"), QStringLiteral("*")})[0];
        if (random.bounded(10) == 0)
            w.insert(random.bounded(int(w.size()) + 1), pick(hostile));
        return w;
    };
    const QueryBuilder::Wildcard modes[] = {QueryBuilder::Wildcard::Bracket, QueryBuilder::Wildcard::Append,
                                            QueryBuilder::Wildcard::Preface, QueryBuilder::Wildcard::None,
                                            QueryBuilder::Wildcard::WholeWords};
    const QueryBuilder::SearchField fields[] = {QueryBuilder::SearchField::Subject, QueryBuilder::SearchField::Author,
                                                QueryBuilder::SearchField::Body};

    // Every kind of write, through either connection, some of them rolled back.
    const auto write = [&](int round) {
        Recordset &rs = round % 2 ? *indexed : *scanning;
        MessageRecord r = records[random.bounded(int(records.size()))];
        r.messnum = 100000 + round;
        r.message = word() + u' ' + r.message;
        rs.moveFirst();
        for (int steps = random.bounded(int(records.size())); steps > 0 && !rs.eof(); --steps)
            rs.moveNext();
        if (rs.eof())
            rs.moveLast();
        switch (round % 6) {
        case 0:
            QVERIFY(rs.addNew(r));
            break;
        case 1:
            QCOMPARE(rs.addInOrder(r), Recordset::AddResult::Added);
            break;
        case 2:
            QVERIFY(rs.updateField(pick({QStringLiteral("messtitle"), QStringLiteral("messauthor"), QStringLiteral("message")}),
                                   word() + u' ' + word()));
            break;
        case 3:
            QVERIFY(rs.updateField(QStringLiteral("messdate"), QStringLiteral("-1Mon Mar 3, 2003")));
            break;
        case 4:
            QVERIFY(rs.deleteCurrent());
            break;
        default: {
            SqliteTransaction transaction(rs.connection());
            QVERIFY(rs.addNew(r) && rs.deleteCurrent());
            transaction.rollback();
            break;
        }
        }
    };

    int asked = 0;
    int hits = 0;
    for (int round = 0; round < 1500; ++round) {
        if (round % 25 == 24)
            write(round / 25);
        QString term = word();
        for (int extra = random.bounded(3); extra > 0; --extra)
            term += u' ' + word();
        if (random.bounded(8) == 0)
            term = u'"' + term + u'"';
        // Mostly bracketed, as most users search.
        const QueryBuilder::Wildcard mode = random.bounded(2) ? modes[0] : modes[random.bounded(5)];
        const QueryBuilder::Query query = QueryBuilder::build(term, mode, fields[random.bounded(3)]);
        if (query.refused)
            continue;
        const Criteria::ParseResult parsed = Criteria::parse(query.criteria);
        asked += parsed.expression && !SubstringQuery::forCriteria(*parsed.expression).empty() ? 1 : 0;
        const Walk expected = reference.walk(query.criteria, 0);
        QCOMPARE(walk(*scanning, query.criteria, 0), expected);
        QCOMPARE(walk(*indexed, query.criteria, 0), expected);
        hits += int(expected.found.size());
        // FindNext from anywhere, a deleted record's place included.
        const qint64 from = 1 + random.bounded(int(records.size()) + 20);
        const Walk fromThere = reference.walk(query.criteria, from);
        QCOMPARE(walk(*indexed, query.criteria, from), fromThere);
        QCOMPARE(walk(*scanning, query.criteria, from), fromThere);
    }
    // New records were read past the index's reach, the rest came through it.
    QVERIFY(indexed->searchIndexInUse() && !indexed->searchIndexComplete());
    QVERIFY(!indexed->searchIndexFailed());
    // The index answered most terms, and they found things.
    QVERIFY2(asked > 900, qPrintable(QString::number(asked)));
    QVERIFY2(hits > 2000, qPrintable(QString::number(hits)));
    indexed.reset();
    scanning.reset();
    // Taking in the new records afterwards leaves the index exactly in step.
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    QCOMPARE(outOfStep(path), QString());
}

void TestSearchIndex::findsSeeEveryWriteBetweenThem()
{
    // A search steps through its hits while this connection and another one write, ahead
    // of it and where it stands, and the cursor is put elsewhere: each find must be what a
    // find made afresh then would be.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(300)));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    auto rs = openRecordset(path);
    auto other = openRecordset(path, false);
    rs->setSearchIndexChunk(16);
    Reference reference(path);
    QRandomGenerator random(20261209);
    const auto standOn = [](Recordset &on, qint64 id) { on.setBookmark({id, false, false, false, false}); };
    MessageRecord added = Fixtures::message(50000);
    added.message = QStringLiteral("the ölwanne");
    added.messtitle = QStringLiteral("[vclub] clutch");
    // Criteria, the field they read, a text there they match.
    const QStringList searches[] = {{QStringLiteral("message like '*the*'"), QStringLiteral("message"), QStringLiteral("x the")},
                                    {QStringLiteral("message like '*ölwanne*'"), QStringLiteral("message"), QStringLiteral("ÖLWANNE")},
                                    {QStringLiteral("mid(messtitle,8) like '*clutch*'"), QStringLiteral("messtitle"),
                                     QStringLiteral("[vclub] Clutch")}};
    for (const QStringList &search : searches) {
        const QString &criteria = search[0];
        const auto findFirst = [&] {
            const qint64 first = reference.next(criteria, 0);
            QCOMPARE(rs->findFirst(criteria), first ? Recordset::FindResult::Found : Recordset::FindResult::NoMatch);
            QVERIFY(!first || rs->bookmark().id == first);
        };
        findFirst();
        for (int step = 0; step < 150; ++step) {
            const Recordset::Bookmark at = rs->bookmark();
            const qint64 ahead = reference.next(criteria, at.id);
            switch (random.bounded(10)) {
            case 0: // the other connection takes the next hit away, or makes the next record one
                standOn(*other, ahead ? ahead : at.id + 1);
                other->updateField(search[1], ahead ? QStringLiteral("zzz") : search[2]);
                break;
            case 1:
                standOn(*other, ahead ? ahead : at.id + 2);
                random.bounded(2) ? other->deleteCurrent() : other->addNew(added);
                break;
            case 2: // this one writes ahead and comes back, as a long command does
                standOn(*rs, ahead ? ahead : at.id + 1);
                rs->updateField(search[1], ahead ? QStringLiteral("zzz") : search[2]);
                rs->setBookmark(at);
                break;
            case 3:
                random.bounded(2) ? rs->deleteCurrent() : rs->updateField(search[1], search[2]);
                break;
            case 4:
                standOn(*rs, 1 + random.bounded(qMax<qint64>(1, at.id)));
                break;
            case 5: { // a record added and found inside a transaction that is rolled back
                SqliteTransaction transaction(rs->connection());
                QVERIFY(rs->addNew(added) && rs->moveLast());
                const qint64 rolledBack = rs->bookmark().id;
                Recordset::Bookmark before = at;
                for (rs->setBookmark(at); rs->bookmark().id != rolledBack;) {
                    before = rs->bookmark();
                    QCOMPARE(rs->findNext(criteria), Recordset::FindResult::Found);
                }
                transaction.rollback();
                rs->setBookmark(before); // where it was found from: it must not be found again
                break;
            }
            default:
                break;
            }
            const Recordset::Bookmark from = rs->bookmark();
            const qint64 expected = from.eof && !from.bof ? 0 : reference.next(criteria, from.bof ? 0 : from.id);
            QCOMPARE(rs->findNext(criteria), expected ? Recordset::FindResult::Found : Recordset::FindResult::NoMatch);
            QCOMPARE(rs->bookmark().id, expected ? expected : from.id);
            if (!expected)
                findFirst();
        }
    }
}

void TestSearchIndex::brokenIndexIsBuiltAnew_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<bool>("usedBeforeBuild");
    QTest::newRow("a database from before the index") << QByteArray("REMOVE") << false;
    QTest::newRow("an index table dropped by hand") << QByteArray("DROP TABLE veltra_fts_title") << false;
    QTest::newRow("a shadow table dropped by hand") << QByteArray("DROP TABLE veltra_fts_body_data") << false;
    QTest::newRow("a trigger dropped by hand") << QByteArray("DROP TRIGGER veltra_fts_insert") << false;
    QTest::newRow("the build state lost") << QByteArray("DELETE FROM veltra_fts_state") << false;
    QTest::newRow("another version's index") << QByteArray("UPDATE veltra_fts_state SET format = 99") << false;
    // The earlier form: a trigram index of each field, no list of words.
    QTest::newRow("the trigram index of the earlier form")
        << QByteArray("DROP TABLE veltra_fts_words; DROP TABLE veltra_fts_body;"
                      " CREATE VIRTUAL TABLE veltra_fts_body USING fts5(message, content='veltra', tokenize='trigram',"
                      " detail=none); INSERT INTO veltra_fts_body(veltra_fts_body) VALUES('rebuild');"
                      " UPDATE veltra_fts_state SET format = 2")
        << false;
    QTest::newRow("a record moved to another rowid") << QByteArray("UPDATE veltra SET id = 5000 WHERE id = 7") << false;
    // The schema is whole, so finds use the index until their first lookup fails.
    QTest::newRow("index pages damaged") << QByteArray("UPDATE veltra_fts_body_data SET block = x'0102030405' WHERE id = 10")
                                         << true;
    // The schema is whole, so finds use the index until the build's count check.
    QTest::newRow("a record deleted past the triggers")
        << QByteArray("PAST") << true;
}

void TestSearchIndex::brokenIndexIsBuiltAnew()
{
    QFETCH(QByteArray, damage);
    QFETCH(bool, usedBeforeBuild);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(300)));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    if (damage == "REMOVE") {
        SqliteDb db;
        QVERIFY(db.open(path, SQLITE_OPEN_READWRITE) && SearchIndex::remove(db));
    } else if (damage == "PAST") {
        // As a program without the triggers would write.
        SqliteDb db;
        QVERIFY(db.open(path, SQLITE_OPEN_READWRITE));
        SqliteStatement trigger;
        QVERIFY(trigger.prepare(db, "SELECT sql FROM sqlite_schema WHERE name = 'veltra_fts_delete'"));
        QCOMPARE(trigger.step(), SqliteStatement::Step::Row);
        const QByteArray sql = trigger.columnText(0).toUtf8();
        trigger.finalize();
        QVERIFY(db.exec("DROP TRIGGER veltra_fts_delete; DELETE FROM veltra WHERE id = 7"));
        QVERIFY(db.exec(sql.constData()));
    } else {
        exec(path, damage);
    }

    {
        auto rs = openRecordset(path);
        QVERIFY(rs);
        QCOMPARE(rs->searchIndexInUse(), usedBeforeBuild);
        // Writes go on whatever is left of the index.
        MessageRecord r = Fixtures::message(20000);
        r.message = QStringLiteral("the newest word zyxwv");
        const bool damagedPages = damage.startsWith("UPDATE veltra_fts_body_data");
        // Through a damaged index not even a write can go; the messages are not called damaged for it.
        QCOMPARE(rs->addNew(r), !damagedPages);
        QVERIFY(!rs->isDamaged());
        auto scanning = openRecordset(path, false);
        const QString criteria = damagedPages ? QStringLiteral("message like '*the*'") : QStringLiteral("message like '*zyxwv*'");
        if (!usedBeforeBuild || damagedPages) {
            const Walk a = walk(*rs, criteria, 0);
            const Walk b = walk(*scanning, criteria, 0);
            QCOMPARE(a, b);
        }
        QCOMPARE(rs->searchIndexFailed(), damagedPages);
    }
    const SearchIndexBuilder::Report report =
        build(path, damage.startsWith("UPDATE veltra_fts_body_data") ? SearchIndexBuilder::Task::Rebuild : SearchIndexBuilder::Task::Build);
    QCOMPARE(report.outcome, SearchIndexBuilder::Outcome::Ready);
    QCOMPARE(report.detail.isEmpty(), damage == "REMOVE");
    QCOMPARE(report.indexed, number(path, "SELECT count(*) FROM veltra"));
    checkAgreement(path);
}

void TestSearchIndex::checkAtOpeningFindsWhatCountsCannot_data()
{
    QTest::addColumn<QByteArray>("damage"); // empty: none
    // A sound index must pass, or it would be built anew at every start: texts with
    // characters beyond 16 bits, a NUL with words after it, and empty or short fields.
    QTest::newRow("sound") << QByteArray();
    // Every lookup then finds nothing, while the counts still agree.
    QTest::newRow("lookup pages lost") << QByteArray("DELETE FROM veltra_fts_body_idx");
    QTest::newRow("texts changed past the triggers")
        << QByteArray("DROP TRIGGER veltra_fts_update_body;"
                      " UPDATE veltra SET message = message || ' a new sentence' WHERE id % 7 = 0;");
}

void TestSearchIndex::checkAtOpeningFindsWhatCountsCannot()
{
    QFETCH(QByteArray, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QList<MessageRecord> records = corpus(300);
    records[3].message = QStringLiteral("Kenteken \U0001F697\U0001F527 and a NUL ") + QChar(0) + QStringLiteral(" after it");
    records[4].messtitle = QString();
    records[5].messauthor = QStringLiteral("Al");
    QVERIFY(Fixtures::writeDatabase(path, records));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    if (!damage.isEmpty()) {
        QByteArray trigger;
        {
            SqliteDb db;
            SqliteStatement s;
            QVERIFY(db.open(path, SQLITE_OPEN_READONLY));
            QVERIFY(s.prepare(db, "SELECT sql FROM sqlite_schema WHERE name = 'veltra_fts_update_body'"));
            QCOMPARE(s.step(), SqliteStatement::Step::Row);
            trigger = s.columnText(0).toUtf8();
        }
        // The trigger is put back as it was, so the index's parts all look whole.
        exec(path, damage + (damage.contains("DROP TRIGGER") ? trigger : QByteArray()));
        QCOMPARE(build(path).detail, QString());
    }
    const SearchIndexBuilder::Report report = build(path, SearchIndexBuilder::Task::Verify);
    QCOMPARE(report.outcome, SearchIndexBuilder::Outcome::Ready);
    QCOMPARE(report.detail.isEmpty(), damage.isEmpty());
    QCOMPARE(report.indexed, damage.isEmpty() ? 0 : number(path, "SELECT count(*) FROM veltra"));
    checkAgreement(path);
    auto indexed = openRecordset(path);
    auto scanning = openRecordset(path, false);
    const QString criteria = QStringLiteral("message like '*a new sentence*'");
    QCOMPARE(walk(*indexed, criteria, 0), walk(*scanning, criteria, 0));
}

void TestSearchIndex::buildCalledOffGoesOnLater()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(3000)));
    auto rs = openRecordset(path);
    {
        SearchIndexBuilder builder;
        QSignalSpy progress(&builder, &SearchIndexBuilder::progress);
        QVERIFY(builder.start(path, SearchIndexBuilder::Task::Build, {1, 20, 2}));
        // Writes made meanwhile wait for the build's short steps and never fail, even the
        // update's kind that reads before it writes.
        for (int i = 0; i < 60; ++i) {
            SqliteTransaction transaction(rs->connection());
            MessageRecord r = Fixtures::message(rs->highestNumber().value_or(0) + 1);
            QVERIFY2(rs->addInOrder(r) == Recordset::AddResult::Added && transaction.commit(), qPrintable(rs->lastError()));
            QVERIFY(rs->moveFirst() && rs->updateField(QStringLiteral("messtitle"), QStringLiteral("[vclub] retitled %1").arg(i)));
            QTest::qWait(2);
        }
        QTRY_VERIFY(number(path, "SELECT upto FROM veltra_fts_state") > 300);
    } // called off here
    const qint64 upto = number(path, "SELECT upto FROM veltra_fts_state");
    QVERIFY(upto < number(path, "SELECT max(rowid) FROM veltra"));
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_body_docsize"),
             number(path, QByteArray("SELECT count(*) FROM veltra WHERE rowid <= ") + QByteArray::number(upto)));
    // Half an index already serves the records it covers.
    checkAgreement(path, false);
    QVERIFY(rs->moveLast() && rs->deleteCurrent());

    const SearchIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, SearchIndexBuilder::Outcome::Ready);
    // It went on rather than starting again.
    QVERIFY(report.indexed < number(path, "SELECT count(*) FROM veltra"));
    QVERIFY(report.detail.isEmpty());
    checkAgreement(path);
}

void TestSearchIndex::killedBuildGoesOnLater()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(3000)));
    QProcess child;
    child.start(QStringLiteral(SEARCHINDEX_CHILD_PATH), {path});
    QVERIFY(child.waitForStarted());
    qint64 done = 0;
    while (done < 1000) {
        QVERIFY(child.waitForReadyRead(20000));
        while (child.canReadLine())
            done = child.readLine().split(' ').value(0).toLongLong();
    }
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    const qint64 upto = number(path, "SELECT upto FROM veltra_fts_state");
    QVERIFY(upto > 0 && upto < number(path, "SELECT max(rowid) FROM veltra"));

    const SearchIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, SearchIndexBuilder::Outcome::Ready);
    QVERIFY(report.indexed < 3000 - 900);
    checkAgreement(path);
}

void TestSearchIndex::compactionKeepsTheIndex()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, corpus(400)));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    exec(path, "DELETE FROM veltra WHERE messnum % 3 = 0");
    const Compaction::Result result = Compaction::compact(dir.path());
    QVERIFY2(result.ok, qPrintable(result.reason));
    checkAgreement(path);
}


// A deletion leaves the record's words to the background. Until they go, the index still
// names the record, which no find confirms; a record stored meanwhile under the same rowid
// is found by its own words, before and after they go, and never by the old ones.
// Deleted records are let go of, and the words of records written into the covered part
// listed, by the next build.
void TestSearchIndex::backlogIsTakenUpLater()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QList<MessageRecord> records = Fixtures::range(1, 30);
    records[9].message = QStringLiteral("the old gearbox rattles");
    records[19].message = QStringLiteral("the old gearbox rattles too");
    QVERIFY(Fixtures::writeDatabase(path, records));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    const QString gearbox = QStringLiteral("message like '*gearbox*'");
    const QString starter = QStringLiteral("message like '*starter motor*'");

    auto rs = openRecordset(path);
    QVERIFY(rs->searchIndexInUse());
    QCOMPARE(rs->findFirst(QStringLiteral("messnum = 10")), Recordset::FindResult::Found);
    const qint64 rowid = rs->bookmark().id;
    QVERIFY(rs->deleteCurrent());
    QCOMPARE(rs->findFirst(QStringLiteral("messnum = 20")), Recordset::FindResult::Found);
    QVERIFY(rs->deleteCurrent());
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_gone"), 2);
    QCOMPARE(walk(*rs, gearbox, 0).found, QList<qint64>());
    // The first rowid taken again by a record of other words.
    exec(path, "INSERT INTO veltra(rowid, messnum, messauthor, messdate, messtitle, message) VALUES ("
                   + QByteArray::number(rowid) + ", 10, 'a', 'd', 't', 'a new starter motor')");
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_gone"), 1);
    // Its words are not listed yet: finds read them from the record itself.
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_fresh"), 1);
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_words WHERE word = 'starter'"), 0);
    QCOMPARE(walk(*rs, starter, 0).found, QList<qint64>{rowid});
    QCOMPARE(walk(*rs, gearbox, 0).found, QList<qint64>());
    rs.reset();

    const SearchIndexBuilder::Report report = build(path);
    QCOMPARE(report.outcome, SearchIndexBuilder::Outcome::Ready);
    QCOMPARE(report.letGo, 1);
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_gone"), 0);
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_fresh"), 0);
    QCOMPARE(number(path, "SELECT count(*) FROM veltra_fts_words WHERE word = 'starter'"), 1);
    QCOMPARE(outOfStep(path), QString());
    rs = openRecordset(path);
    QCOMPARE(walk(*rs, starter, 0).found, QList<qint64>{rowid});
    QCOMPARE(walk(*rs, gearbox, 0).found, QList<qint64>());
}

// A connection keeps the index's words it has read; what other connections write after
// that must still reach its finds.
void TestSearchIndex::wordsWrittenElsewhereAreAskedFor()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(path, Fixtures::range(1, 30)));
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    auto rs = openRecordset(path);
    QCOMPARE(walk(*rs, QStringLiteral("message like '*zebra*'"), 0).found, QList<qint64>());

    // The index made anew elsewhere numbers its words from the start again.
    {
        SqliteDb db;
        QVERIFY(db.open(path, SQLITE_OPEN_READWRITE) && SearchIndex::remove(db));
        QVERIFY(db.exec("UPDATE veltra SET message = 'a zebra crossing' WHERE messnum = 3"));
    }
    QCOMPARE(build(path).outcome, SearchIndexBuilder::Outcome::Ready);
    // Asking whether the index is in use looks at the file's version too, before the find.
    QVERIFY(rs->searchIndexInUse());
    QCOMPARE(walk(*rs, QStringLiteral("message like '*zebra*'"), 0).found, QList<qint64>{3});

    // A record written and read back in a transaction that is rolled back, then another
    // stored by another connection under the same rowid: the second one's words count.
    QCOMPARE(rs->findFirst(QStringLiteral("messnum = 10")), Recordset::FindResult::Found);
    const qint64 rowid = rs->bookmark().id;
    QVERIFY(rs->deleteCurrent());
    const QByteArray insert = "INSERT INTO veltra(rowid, messnum, messauthor, messdate, messtitle, message) VALUES ("
                              + QByteArray::number(rowid) + ", 10, 'a', 'd', 't', ";
    {
        SqliteTransaction transaction(rs->connection());
        QVERIFY(rs->connection().exec(insert + "'qwertyuiop')"));
        QCOMPARE(walk(*rs, QStringLiteral("message like '*qwertyuiop*'"), 0).found, QList<qint64>{rowid});
        transaction.rollback();
    }
    exec(path, insert + "'asdfghjkl')");
    QCOMPARE(walk(*rs, QStringLiteral("message like '*asdfghjkl*'"), 0).found, QList<qint64>{rowid});
    QCOMPARE(walk(*rs, QStringLiteral("message like '*qwertyuiop*'"), 0).found, QList<qint64>());
}

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
