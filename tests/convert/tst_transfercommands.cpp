// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as a user runs it: the program itself, without a display, in a folder
// of the test's own; a disk that fills is a limit on file size the system enforces.
#include "fixtures.h"
#include "testenv.h"

#include "store/sqlitedb.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <sys/resource.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The program in `folder`; with `fileLimit` no file it writes may grow past that many bytes.
Run run(const QString &folder, const QStringList &arguments, qint64 fileLimit = 0)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setChildProcessModifier([fileLimit] {
        if (fileLimit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileLimit), rlim_t(fileLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
    });
    p.start(QStringLiteral(VELTRA_KB), arguments);
    p.waitForFinished(-1);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString corpus(const QString &name)
{
    return QDir(TestEnv::corpusDir()).filePath(QStringLiteral("jet/") + name);
}

const QString kEmployees = QStringLiteral("messnum=EmployeeID,messauthor=LastName,messdate=HireDate,messtitle=Title,message=Notes");

}

class TestTransferCommands : public QObject
{
    Q_OBJECT

private slots:
    void convertsAndSaysHowMany_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // the start of the one line on standard error
        const QString nwind = corpus(QStringLiteral("nwind.mdb"));
        QTest::newRow("converted") << QStringList{"--convert-jet", nwind, "--jet-table", "Employees", "--jet-columns", kEmployees}
                                   << 0 << QStringLiteral("Converted 9 messages from %1\n").arg(nwind) << "";
        QTest::newRow("numbers unread") << QStringList{"--convert-jet", nwind, "--jet-table", "Shippers", "--jet-columns",
                                                       "messnum=Phone,messauthor=CompanyName,messdate=Phone,messtitle=Phone,message=Phone"}
                                        << 0 << QStringLiteral("Converted 3 messages from %1\n").arg(nwind)
                                        << "3 message(s) had a number that could not be read";
        QTest::newRow("column missing") << QStringList{"--convert-jet", nwind, "--jet-table", "Shippers", "--jet-columns",
                                                       "messnum=ShipperID,messauthor=CompanyName,messdate=Phone,messtitle=Phone"}
                                        << 1 << "" << QStringLiteral("In %1 the table \"Shippers\" has no column \"message\".").arg(nwind);
        QTest::newRow("pair without =") << QStringList{"--convert-jet", nwind, "--jet-columns", "messnum"} << 2 << ""
                                        << "--jet-columns needs FIELD=COLUMN pairs";
        QTest::newRow("not a field") << QStringList{"--convert-jet", nwind, "--jet-columns", "number=ID"} << 2 << ""
                                     << "--jet-columns: \"number\" is not a message field";
        QTest::newRow("table alone") << QStringList{"--jet-table", "Employees"} << 2 << "" << "--jet-table and --jet-columns go with";
        QTest::newRow("no archive to export") << QStringList{"--export-mbox", "out.mbox"} << 1 << "" << "There is no message database";
    }
    void convertsAndSaysHowMany()
    {
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir folder;
        const Run result = run(folder.path(), arguments);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.out, out);
        // A null text does not start with an empty one.
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(err) && result.err.count(QLatin1Char('\n')) == 1,
                 qPrintable(result.err));
        QCOMPARE(QFileInfo::exists(folder.filePath(QStringLiteral("veltra.mdb"))), exitCode == 0 && !out.isEmpty());
    }

    // The refusal of a file without a table "veltra" ends with a command line; run as
    // given, it converts.
    void theSuggestedCommandConverts()
    {
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QTemporaryDir folder;
        QVERIFY(QFile::copy(corpus(QStringLiteral("nwind.mdb")), folder.filePath(QStringLiteral("old nwind.mdb"))));
        const Run refused = run(folder.path(), {"--convert-jet", "old nwind.mdb"});
        QCOMPARE(refused.exitCode, 1);
        const QStringList lines = refused.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("old nwind.mdb has no table \"veltra\". Its tables: Categories, ")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("  veltra-kb ")), qPrintable(lines[1]));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"old nwind.mdb"});

        // As a shell reads it: its quoting is the shell's.
        QProcess shell;
        shell.setWorkingDirectory(folder.path());
        const QString command = lines[1].trimmed().mid(QStringLiteral("veltra-kb").size());
        shell.start(QStringLiteral("/bin/sh"), {"-c", QStringLiteral("'%1'%2").arg(QStringLiteral(VELTRA_KB), command)});
        QVERIFY(shell.waitForFinished(-1));
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(shell.readAllStandardOutput(), QByteArray("Converted 9 messages from old nwind.mdb\n"));
    }

    void aFullDiskLeavesNothingHalfWritten()
    {
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QTemporaryDir folder;
        // Order Details' 2155 rows need more than 64 KB.
        const Run convert = run(folder.path(), {"--convert-jet", corpus(QStringLiteral("nwind.mdb")), "--jet-table", "Order Details",
                                                "--jet-columns", "messnum=OrderID,messauthor=ProductID,messdate=UnitPrice,"
                                                                 "messtitle=Quantity,message=Discount"}, 64 * 1024);
        QCOMPARE(convert.exitCode, 1);
        QVERIFY2(convert.err.contains(QStringLiteral("could not be written")) && convert.err.count(QLatin1Char('\n')) == 1,
                 qPrintable(convert.err));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList());

        QVERIFY(Fixtures::writeDatabase(folder.filePath(QStringLiteral("veltra.mdb")), Fixtures::range(1, 400)));
        Fixtures::writeAll(folder.filePath(QStringLiteral("old.mbox")), "kept\n");
        const Run exported = run(folder.path(), {"--export-mbox", "old.mbox"}, 32 * 1024);
        QCOMPARE(exported.exitCode, 1);
        QVERIFY2(exported.err.startsWith(QStringLiteral("old.mbox could not be written")), qPrintable(exported.err));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), (QStringList{"old.mbox", "veltra.mdb"}));
        QCOMPARE(Fixtures::readAll(folder.filePath(QStringLiteral("old.mbox"))), QByteArray("kept\n"));
    }

    // Reading the archive from the command line left an empty veltra.mdb-wal and -shm
    // beside a file last closed in write-ahead-log mode, whether the command worked or not.
    void readingTheArchiveLeavesNoLogFiles_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<qint64>("fileLimit");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("files"); // the folder's files afterwards
        const QStringList exported{"out.mbox", "veltra.mdb"};
        const QStringList unchanged{"veltra.mdb"};
        const QStringList exporting{"--export-mbox", "out.mbox"};
        for (const char *journal : {"wal", "delete"}) {
            QTest::addRow("%s, exported", journal) << journal << exporting << qint64(0) << 0 << exported;
            QTest::addRow("%s, target folder missing", journal)
                << journal << QStringList{"--export-mbox", "none/out.mbox"} << qint64(0) << 1 << unchanged;
            QTest::addRow("%s, disk full", journal) << journal << exporting << qint64(32 * 1024) << 1 << unchanged;
            QTest::addRow("%s, conversion refused", journal)
                << journal << QStringList{"--convert-jet", "old.mdb"} << qint64(0) << 1 << unchanged;
        }
    }
    void readingTheArchiveLeavesNoLogFiles()
    {
        QFETCH(QString, journal);
        QFETCH(QStringList, arguments);
        QFETCH(qint64, fileLimit);
        QFETCH(int, exitCode);
        QFETCH(QStringList, files);
        QTemporaryDir folder;
        const QString database = folder.filePath(QStringLiteral("veltra.mdb"));
        QVERIFY(Fixtures::writeDatabase(database, Fixtures::range(1, 400)));
        {
            SqliteDb db;
            QVERIFY(db.open(database, SQLITE_OPEN_READWRITE));
            QVERIFY(db.exec(QStringLiteral("PRAGMA journal_mode = %1").arg(journal).toUtf8().constData()));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"veltra.mdb"});
        const QByteArray before = Fixtures::readAll(database);
        const Run result = run(folder.path(), arguments, fileLimit);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), files);
        QCOMPARE(Fixtures::readAll(database), before);
    }
};

QTEST_GUILESS_MAIN(TestTransferCommands)
#include "tst_transfercommands.moc"
