// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagegenerator.h"
#include "updatepage.h"

#include "store/recordset.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELTRA_DEMOGEN_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDemogenTool final : public QObject
{
    Q_OBJECT

private slots:
    void writesDatabaseAndSite();
    void refusesToOverwriteWithoutForce();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
};

void TestDemogenTool::writesDatabaseAndSite()
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("veltra.mdb"));
    const QString site = dir.filePath(QStringLiteral("site"));
    const Run run = runTool({QStringLiteral("--seed"), QStringLiteral("6"), QStringLiteral("--messages"),
                             QStringLiteral("240"), QStringLiteral("--database"), database, QStringLiteral("--site"),
                             site, QStringLiteral("--first"), QStringLiteral("200")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out.count(u'\n'), 1);
    QVERIFY(run.out.startsWith(QStringLiteral("veltra-demogen: seed 6, ")));

    const QList<MessageRecord> expected = MessageGenerator::generate(6, 240);
    Recordset::OpenResult opened = Recordset::open(database);
    QCOMPARE(opened.status, Recordset::OpenStatus::Ok);
    opened.recordset->moveLast();
    QCOMPARE(opened.recordset->recordCount(), int(expected.size()));
    QCOMPARE(opened.recordset->field(QStringLiteral("messnum")).toInt(), expected.last().messnum);

    const QDir root(site);
    QVERIFY(contents(root.filePath(UpdatePage::lastMessagePath()))
                .startsWith(QByteArray::number(expected.last().messnum) + "\r\n"));
    for (const MessageRecord &r : expected)
        QCOMPARE(QFile::exists(root.filePath(UpdatePage::pagePath(r.messnum))), r.messnum >= 200);
}

void TestDemogenTool::refusesToOverwriteWithoutForce()
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("veltra.mdb"));
    const QString site = dir.filePath(QStringLiteral("site"));
    const QStringList first = {QStringLiteral("--messages"), QStringLiteral("30"), QStringLiteral("--database"),
                               database, QStringLiteral("--site"), site};
    QCOMPARE(runTool(first).exitCode, 0);
    const QByteArray before = contents(database);

    const Run again = runTool({QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--messages"),
                               QStringLiteral("10"), QStringLiteral("--database"), database});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(QStringLiteral("--force")));
    QCOMPARE(contents(database), before);

    const Run siteAgain = runTool({QStringLiteral("--messages"), QStringLiteral("10"), QStringLiteral("--site"), site});
    QCOMPARE(siteAgain.exitCode, 1);

    const Run forced = runTool({QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--messages"),
                                QStringLiteral("10"), QStringLiteral("--database"), database, QStringLiteral("--force")});
    QVERIFY2(forced.exitCode == 0, qPrintable(forced.err));
    Recordset::OpenResult opened = Recordset::open(database);
    QCOMPARE(opened.status, Recordset::OpenStatus::Ok);
    opened.recordset->moveLast();
    QCOMPARE(opened.recordset->recordCount(), int(MessageGenerator::generate(2, 10).size()));
}

void TestDemogenTool::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no messages") << QStringList{QStringLiteral("--messages"), QStringLiteral("0")};
    QTest::newRow("messages not a number") << QStringList{QStringLiteral("--messages"), QStringLiteral("lots")};
    QTest::newRow("messages above 32 bits") << QStringList{QStringLiteral("--messages"), QStringLiteral("2147483648")};
    QTest::newRow("negative seed") << QStringList{QStringLiteral("--seed"), QStringLiteral("-1")};
    QTest::newRow("first above messages") << QStringList{QStringLiteral("--messages"), QStringLiteral("10"),
                                                         QStringLiteral("--first"), QStringLiteral("11"),
                                                         QStringLiteral("--site"), QStringLiteral("site")};
    QTest::newRow("first without site") << QStringList{QStringLiteral("--first"), QStringLiteral("2")};
    QTest::newRow("stray argument") << QStringList{QStringLiteral("veltra.mdb")};
    QTest::newRow("corpus without real text") << QStringList{QStringLiteral("--corpus"), QStringLiteral(".")};
}

void TestDemogenTool::rejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(VELTRA_DEMOGEN_PATH), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardError().isEmpty());
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_APPLESS_MAIN(TestDemogenTool)
#include "tst_demogentool.moc"
