// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/sqlitetransaction.h"

#include <QDir>
#include <QtTest>

#include <sqlite3.h>

class TestSqliteDb final : public QObject
{
    Q_OBJECT

    std::unique_ptr<SqliteDb> m_db;

    int count()
    {
        SqliteStatement s;
        if (!s.prepare(*m_db, "SELECT count(*) FROM t") || s.step() != SqliteStatement::Step::Row)
            return -1;
        return int(s.columnInt64(0));
    }

private slots:
    void init()
    {
        m_db = std::make_unique<SqliteDb>();
        QVERIFY(m_db->open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        QVERIFY(m_db->exec("CREATE TABLE t(v TEXT UNIQUE)"));
    }

    void transactionCommits()
    {
        {
            SqliteTransaction transaction(*m_db);
            QVERIFY(transaction.isActive());
            QVERIFY(m_db->inTransaction());
            QVERIFY(m_db->exec("INSERT INTO t VALUES ('a')"));
            QVERIFY(transaction.commit());
        }
        QVERIFY(!m_db->inTransaction());
        QCOMPARE(count(), 1);
    }

    void transactionRollsBackUnlessCommitted()
    {
        {
            SqliteTransaction transaction(*m_db);
            QVERIFY(m_db->exec("INSERT INTO t VALUES ('a')"));
        }
        QVERIFY(!m_db->inTransaction());
        QCOMPARE(count(), 0);
    }

    void transactionNestsInCallersTransaction()
    {
        QVERIFY(m_db->exec("BEGIN"));
        QVERIFY(m_db->exec("INSERT INTO t VALUES ('outer')"));
        {
            SqliteTransaction inner(*m_db);
            QVERIFY(m_db->exec("INSERT INTO t VALUES ('dropped')"));
        }
        // The inner rollback undid only its own work and left the caller's transaction open.
        QVERIFY(m_db->inTransaction());
        QCOMPARE(count(), 1);
        {
            SqliteTransaction inner(*m_db);
            QVERIFY(m_db->exec("INSERT INTO t VALUES ('kept')"));
            QVERIFY(inner.commit());
        }
        QVERIFY(m_db->inTransaction());
        QVERIFY(m_db->exec("ROLLBACK"));
        QCOMPARE(count(), 0);
    }

    void failureKeepsItsReasonThroughRollback()
    {
        QVERIFY(m_db->exec("INSERT INTO t VALUES ('a')"));
        {
            SqliteTransaction transaction(*m_db);
            QVERIFY(!m_db->exec("INSERT INTO t VALUES ('a')"));
        }
        QVERIFY2(m_db->lastError().contains(QStringLiteral("UNIQUE")), qPrintable(m_db->lastError()));
        QCOMPARE(m_db->lastCode() & 0xff, SQLITE_CONSTRAINT);
    }

    void valuesAreBoundNotParsed()
    {
        SqliteStatement insert;
        QVERIFY(insert.prepare(*m_db, "INSERT INTO t VALUES (?1)"));
        const QString hostile = QStringLiteral("x'); DROP TABLE t; --");
        QVERIFY(insert.bindText(1, hostile));
        QCOMPARE(insert.step(), SqliteStatement::Step::Done);
        insert.reset();
        QVERIFY(insert.bindText(1, QByteArray()));
        QCOMPARE(insert.step(), SqliteStatement::Step::Done);

        SqliteStatement read;
        QVERIFY(read.prepare(*m_db, "SELECT v FROM t ORDER BY rowid"));
        QCOMPARE(read.step(), SqliteStatement::Step::Row);
        QCOMPARE(read.columnText(0), hostile);
        QCOMPARE(read.step(), SqliteStatement::Step::Row);
        QVERIFY(!read.columnIsNull(0)); // an empty text stays a text
        QCOMPARE(read.step(), SqliteStatement::Step::Done);
    }

    void errorsNameTheirCause()
    {
        SqliteStatement bad;
        QVERIFY(!bad.prepare(*m_db, "SELECT v FROM nowhere"));
        QVERIFY(!bad.isPrepared());
        QCOMPARE(bad.step(), SqliteStatement::Step::Error);
        QVERIFY2(m_db->lastError().contains(QStringLiteral("nowhere")), qPrintable(m_db->lastError()));
    }

    void closedConnectionFailsCleanly()
    {
        m_db->close();
        QVERIFY(!m_db->isOpen());
        QVERIFY(!m_db->exec("SELECT 1"));
        QCOMPARE(m_db->lastError(), QStringLiteral("The database is closed"));
        SqliteStatement s;
        QVERIFY(!s.prepare(*m_db, "SELECT 1"));
        SqliteTransaction transaction(*m_db);
        QVERIFY(!transaction.isActive());
        QVERIFY(!transaction.commit());
    }

    void openDoesNotCreateWithoutTheFlag()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("none.db"));
        SqliteDb db;
        QVERIFY(!db.open(path, SQLITE_OPEN_READWRITE));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!db.lastError().isEmpty());
    }

    // A reading connection must leave the folder as it found it: a file last closed in
    // write-ahead-log mode got an empty -wal and -shm it could not take away.
    void readingLeavesNoLogFilesBehind_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("held");
        QTest::newRow("log mode, nothing beside it") << "wal" << false;
        QTest::newRow("rollback journal") << "delete" << false;
        QTest::newRow("log mode, another connection holds it") << "wal" << true;
    }

    void readingLeavesNoLogFilesBehind()
    {
        QFETCH(QString, mode);
        QFETCH(bool, held);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
        {
            SqliteDb writer;
            QVERIFY(writer.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
            QVERIFY(writer.exec(QStringLiteral("PRAGMA journal_mode = %1; CREATE TABLE t(v); INSERT INTO t VALUES ('a')")
                                    .arg(mode).toUtf8().constData()));
        }
        SqliteDb holder;
        if (held) {
            QVERIFY(holder.open(path, SQLITE_OPEN_READWRITE));
            QVERIFY(holder.exec("SELECT count(*) FROM t"));
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();

        {
            SqliteDb reader;
            QVERIFY(reader.open(path, SQLITE_OPEN_READONLY));
            SqliteStatement read;
            QVERIFY(read.prepare(reader, "SELECT v FROM t"));
            QCOMPARE(read.step(), SqliteStatement::Step::Row);
            QCOMPARE(read.columnText(0), QStringLiteral("a"));
            read.finalize();
            QVERIFY(reader.isReadOnly());
            QVERIFY(!reader.exec("INSERT INTO t VALUES ('b')"));
        }

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), before);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        if (held)
            QVERIFY(holder.exec("INSERT INTO t VALUES ('c')"));
    }
};

QTEST_GUILESS_MAIN(TestSqliteDb)
#include "tst_sqlitedb.moc"
