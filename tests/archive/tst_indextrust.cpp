// SPDX-License-Identifier: GPL-3.0-or-later
// The search index trusted at opening (store/indextrust.h): used at once after this
// program's own clean close, checked first after anything else wrote the file, a crash of
// this program included, and still found out when damaged behind a trusted-looking file.
#include "archive/indexupkeep.h"
#include "archive/messagearchive.h"
#include "fixtures.h"
#include "store/indextrust.h"
#include "store/recordset.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

constexpr char kChildVariable[] = "VELTRA_TRUST_CHILD";

// One session of the program without its window: the archive and the index's keeper.
struct Session
{
    explicit Session(const QString &folder)
        : archive(std::make_unique<MessageArchive>(folder))
        , upkeep(std::make_unique<IndexUpkeep>(archive.get(), true, nullptr))
    {
    }
    ~Session()
    {
        // The window's parts go after the archive, as in the window.
        archive.reset();
        upkeep.reset();
    }
    bool open() { return archive->open(false).status == MessageArchive::OpenStatus::Opened; }
    Recordset *rs() const { return archive->recordset(); }
    // The file's check, then the index's check or build, as at every opening.
    bool settle()
    {
        archive->watchForDamage();
        QSignalSpy passed(archive.get(), &MessageArchive::checkPassed);
        if (!passed.wait(20000))
            return false;
        return QTest::qWaitFor([this] { return rs()->searchIndexInUse() && rs()->searchIndexComplete(); }, 20000);
    }

    std::unique_ptr<MessageArchive> archive;
    std::unique_ptr<IndexUpkeep> upkeep;
};

bool exec(const QString &path, const char *sql)
{
    SqliteDb db;
    return db.open(path, SQLITE_OPEN_READWRITE) && db.exec(sql);
}

// In the child: a session that settles, writes a message, says so and waits to be killed.
int childSession(const QString &folder)
{
    Session session(folder);
    if (!session.open() || !session.settle())
        return 1;
    MessageRecord r = Fixtures::message(900);
    r.message = QStringLiteral("written just before the crash");
    if (!session.rs()->addNew(r))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    QTest::qWait(60000);
    return 2;
}

} // namespace

class TestIndexTrust final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder() const { return m_dir->path(); }
    QString path() const { return m_dir->filePath(QStringLiteral("veltra.mdb")); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(Fixtures::writeDatabase(path(), Fixtures::range(1, 120)));
        QCOMPARE(SearchIndexBuilder::run(path(), SearchIndexBuilder::Task::Build).outcome,
                 SearchIndexBuilder::Outcome::Ready);
    }

    void trustAtOpening_data()
    {
        QTest::addColumn<QString>("between"); // what happened to the file after the program's last session
        QTest::addColumn<bool>("trusted");
        QTest::newRow("never opened by the program") << "nothing, no session" << false;
        QTest::newRow("a clean close") << "nothing" << true;
        QTest::newRow("a clean close, then only read elsewhere") << "read" << true;
        QTest::newRow("a clean close, then a message written elsewhere") << "write message" << false;
        QTest::newRow("a clean close, then the index's state written elsewhere") << "write index" << false;
        QTest::newRow("a clean close, then switched to a write-ahead log elsewhere") << "wal" << false;
        QTest::newRow("a clean close, then a copy put in its place") << "copy" << false;
        QTest::newRow("a crash (the program killed after a write)") << "crash" << false;
        QTest::newRow("a clean close after a crash and a check") << "crash, then a clean session" << true;
    }
    void trustAtOpening()
    {
        QFETCH(QString, between);
        QFETCH(bool, trusted);
        if (!between.endsWith(QLatin1String("no session"))) {
            Session first(folder());
            QVERIFY(first.open());
            QVERIFY(!first.rs()->searchIndexTrusted());
            QVERIFY(first.settle());
        }
        if (between.startsWith(QLatin1String("crash"))) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QLatin1String(kChildVariable), folder());
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForStarted());
            QVERIFY(QTest::qWaitFor([&] { return child.canReadLine() || child.state() != QProcess::Running; }, 30000));
            QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
            child.kill();
            QVERIFY(child.waitForFinished());
            if (between.endsWith(QLatin1String("clean session"))) {
                Session checked(folder());
                QVERIFY(checked.open());
                QVERIFY(!checked.rs()->searchIndexTrusted());
                QVERIFY(checked.settle());
            }
        } else if (between == QLatin1String("read")) {
            QVERIFY(exec(path(), "SELECT count(*) FROM veltra; SELECT * FROM veltra_fts_state"));
        } else if (between == QLatin1String("write message")) {
            QVERIFY(exec(path(), "UPDATE veltra SET messdate = 'written elsewhere' WHERE id = 1"));
        } else if (between == QLatin1String("write index")) {
            QVERIFY(exec(path(), "INSERT INTO veltra_fts_gone(id) VALUES (100000)"));
        } else if (between == QLatin1String("wal")) {
            QVERIFY(exec(path(), "PRAGMA journal_mode = WAL"));
        } else if (between == QLatin1String("copy")) {
            const QString copy = m_dir->filePath(QStringLiteral("copy.mdb"));
            QVERIFY(QFile::copy(path(), copy));
            QVERIFY(QFile::remove(path()));
            QVERIFY(QFile::rename(copy, path()));
        }

        Session next(folder());
        QVERIFY(next.open());
        // At once: no check has run, no event has been handled.
        QCOMPARE(next.rs()->searchIndexTrusted(), trusted);
        QCOMPARE(next.rs()->searchIndexInUse(), trusted);
        MessageRecord r = Fixtures::message(500);
        r.message = QStringLiteral("zebracrossing");
        QVERIFY(next.rs()->addNew(r));
        QCOMPARE(next.rs()->findFirst(QStringLiteral("message like '*zebracross*'")), Recordset::FindResult::Found);
        QCOMPARE(next.rs()->field(QStringLiteral("messnum")).toInt(), 500);
        // Untrusted, it waits for the file's check and its own; either way it is used then.
        QVERIFY(next.settle());
        QVERIFY(!next.rs()->searchIndexFailed());
    }

    // Damage the file's counter cannot show (here written with a forged mark) is met by a
    // search, which reads every record from then on, and the index is built anew after the
    // file's check, as without trust.
    void damagedIndexOfATrustedLookingFile()
    {
        {
            Session first(folder());
            QVERIFY(first.open());
            QVERIFY(first.settle());
        }
        {
            SqliteDb db;
            QVERIFY(db.open(path(), SQLITE_OPEN_READWRITE));
            QVERIFY(db.exec("BEGIN IMMEDIATE"));
            const quint32 counter = IndexTrust::changeCounter(db);
            QVERIFY(db.exec("UPDATE veltra_fts_body_data SET block = x'0102030405' WHERE id = 10"));
            SqliteStatement forge;
            QVERIFY(forge.prepare(db, "UPDATE veltra_index_trust SET counter = ?1", false));
            QVERIFY(forge.bindInt64(1, counter + 1));
            QCOMPARE(forge.step(), SqliteStatement::Step::Done);
            forge.finalize();
            QVERIFY(db.exec("COMMIT"));
            QCOMPARE(IndexTrust::changeCounter(db), counter + 1);
        }
        Session next(folder());
        QVERIFY(next.open());
        QVERIFY(next.rs()->searchIndexTrusted());
        QVERIFY(next.rs()->searchIndexInUse());
        // A find that meets the damaged pages (the index's structure) reads every record.
        const Recordset::FindResult found = next.rs()->findFirst(QStringLiteral("message like '*Body of*'"));
        QCOMPARE(found, Recordset::FindResult::Found);
        QVERIFY(next.rs()->searchIndexFailed());
        next.upkeep->check(); // as after every search: nothing is written before the file's check
        QVERIFY(next.settle());
        QVERIFY(!next.rs()->searchIndexFailed());
        QVERIFY(next.rs()->searchIndexInUse());
    }

    // Damage the file's own check finds in a file whose index was trusted: finds stop
    // using the index, as they would not have used it before the check.
    void fileDamageFoundAfterATrustedOpening()
    {
        {
            Session first(folder());
            QVERIFY(first.open());
            QVERIFY(first.settle());
        }
        Session next(folder());
        QVERIFY(next.open());
        QVERIFY(next.rs()->searchIndexInUse());
        next.archive->reportDamage(QStringLiteral("quick_check: a fault"));
        QVERIFY(QTest::qWaitFor([&] { return !next.rs()->searchIndexInUse(); }, 5000));
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        QCoreApplication app(argc, argv);
        return childSession(qEnvironmentVariable(kChildVariable));
    }
    QCoreApplication app(argc, argv);
    TestIndexTrust test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_indextrust.moc"
