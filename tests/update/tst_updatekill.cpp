// SPDX-License-Identifier: GPL-3.0-or-later
// A run in a child process, ended from outside: killed half-way (SIGKILL) it loses no
// stored message, leaves no partial record and a sound database, and the next run goes on
// after the highest stored number; with its window closed half-way, the run ends at once
// and the program with it.
#include "fixtures.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "testenv.h"
#include "updatefixtures.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace UpdateFixtures;

namespace {

QString integrityCheck(const QString &path)
{
    sqlite3 *db = nullptr;
    QString result = QStringLiteral("cannot open");
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

// The numbers stored, each record checked against the message it was made from (a record
// that differs shows as its number negated).
QList<qint32> checkedNumbers(const QString &path)
{
    QList<qint32> numbers;
    for (const MessageRecord &r : storedRecords(path)) {
        const MessageRecord expected = Fixtures::message(r.messnum);
        const bool same = r.messauthor == expected.messauthor && r.messdate == expected.messdate
                       && r.messtitle == expected.messtitle && r.message == expected.message;
        numbers << (same ? r.messnum : -r.messnum);
    }
    return numbers;
}

}

class TestUpdateKill final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    QString m_data;
    QString m_database;

private slots:
    void init();
    void cleanup();
    void killedRunLosesNothingAndIsContinued_data();
    void killedRunLosesNothingAndIsContinued();
    void closingTheWindowEndsTheRunAndTheProgram();
};

void TestUpdateKill::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_data = m_dir->filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(m_data));
    m_database = QDir(m_data).filePath(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(m_database, Fixtures::range(1, 10)));
    SiteWriter site(m_dir->filePath(QStringLiteral("site")));
    for (const MessageRecord &r : Fixtures::range(11, 300))
        QVERIFY(site.writeMessage(r));
    QVERIFY(site.writeLastMessage(300));
    m_server = std::make_unique<SiteServer>(site.root());
    QVERIFY(m_server->listenLocal() != 0);
    m_server->setLatency(10);
}

void TestUpdateKill::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

void TestUpdateKill::killedRunLosesNothingAndIsContinued_data()
{
    // Killed while the page of this number is asked for, with several others in flight.
    QTest::addColumn<qint32>("killAt");
    QTest::newRow("early") << 40;
    QTest::newRow("half-way") << 150;
    QTest::newRow("near the end") << 260;
}

void TestUpdateKill::killedRunLosesNothingAndIsContinued()
{
    QFETCH(qint32, killAt);
    SiteServer &server = *m_server;
    const QString &database = m_database;

    QProcess child;
    child.setWorkingDirectory(m_data);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(UPDATE_CHILD_PATH), {server.baseUrl()});
    QVERIFY(child.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return server.requests().contains(page(killAt)); }, 60000));
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QCOMPARE(integrityCheck(database), QStringLiteral("ok"));
    const QList<qint32> afterKill = checkedNumbers(database);
    const qint32 highest = afterKill.last();
    QVERIFY(highest < 300);
    QCOMPARE(afterKill, span(1, highest));

    // Requests the killed run had already sent may still be on their way to the server.
    for (qsizetype seen = -1; seen != server.requests().size();) {
        seen = server.requests().size();
        QTest::qWait(300);
    }
    server.setLatency(0);
    server.clearRequests();
    child.start(QStringLiteral(UPDATE_CHILD_PATH), {server.baseUrl()});
    QVERIFY(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(QString::fromLocal8Bit(child.readAllStandardOutput()).startsWith(QLatin1String("Updated ")));
    // Exactly what is missing is fetched, each page once.
    QCOMPARE(sortedPages(server.requests()), pagePaths(span(highest + 1, 300)));
    QCOMPARE(integrityCheck(database), QStringLiteral("ok"));
    QCOMPARE(checkedNumbers(database), span(1, 300));
}

void TestUpdateKill::closingTheWindowEndsTheRunAndTheProgram()
{
    m_server->setLatency(50); // about two seconds for the run, eight pages at a time
    QProcess child;
    child.setWorkingDirectory(m_data);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(UPDATE_CHILD_PATH), {m_server->baseUrl(), QStringLiteral("--close-after"),
                                                    QStringLiteral("600")});
    QVERIFY(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Update stopped: the window was closed."));
    const QList<qint32> stored = checkedNumbers(m_database);
    QVERIFY(stored.last() > 10 && stored.last() < 300);
    QCOMPARE(stored, span(1, stored.last()));
    QVERIFY(QFile::exists(QDir(m_data).filePath(QStringLiteral("KnowledgeBase.ini"))));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestUpdateKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatekill.moc"
