// SPDX-License-Identifier: GPL-3.0-or-later
// The companion end to end: the program compacts in a data folder of its own and ends,
// and a new process of it comes up there on the compacted database with the same options.
#include "fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

class TestRestart final : public QObject
{
    Q_OBJECT

private slots:
    void compactionStartsTheProgramAgain();
};

void TestRestart::compactionStartsTheProgramAgain()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString database = dir.filePath(QStringLiteral("veltra.mdb"));
    // Many more deleted than kept, so the free pages outweigh the conversation store the
    // program builds for the kept ones before it compacts.
    QVERIFY(Fixtures::writeDatabase(database, Fixtures::range(1, 2000)));
    {
        // Deleted rows leave free pages for the compaction to give back.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(database.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "DELETE FROM veltra WHERE messnum > 300", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const qint64 sizeBefore = QFileInfo(database).size();

    // Without the search index, whose build would grow the file again before it is compacted.
    const QStringList options{QStringLiteral("--club-host"), QStringLiteral("club.example"),
                              QStringLiteral("--update-server"), QStringLiteral("http://127.0.0.1:9"),
                              QStringLiteral("--no-search-index")};
    QProcess first;
    first.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(RESTART_CHILD_PATH), options);
    QVERIFY(first.waitForFinished(30000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());

    const QString report = dir.filePath(QStringLiteral("restarted.txt"));
    // Three lines, each ended: the report's writer is done.
    QTRY_VERIFY_WITH_TIMEOUT(Fixtures::readAll(report).count('\n') == 3, 30000);
    const QList<QByteArray> lines = Fixtures::readAll(report).split('\n');
    QCOMPARE(QString::fromUtf8(lines.value(0)), options.join(QLatin1Char(' ')));
    QCOMPARE(lines.value(1), QByteArray("300"));
    QVERIFY(lines.value(2).toLongLong() != first.processId());
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("veltra.bak"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("veltranew.mdb"))));
    QVERIFY(QFileInfo(database).size() < sizeBefore);
}

QTEST_GUILESS_MAIN(TestRestart)
#include "tst_restart.moc"
