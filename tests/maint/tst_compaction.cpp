// SPDX-License-Identifier: GPL-3.0-or-later
// The deletion mark rule, the data folder lock and the compaction file protocol: a
// compaction that works, one refused because the file is in use, one on a disk that fills
// up, one killed at each of its steps, and start-up recovery from whatever it left.
#include "archive/compaction.h"
#include "archive/databaselock.h"
#include "archive/deletionmark.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using Step = Compaction::Step;

namespace {

const QString kDb = QStringLiteral("veltra.mdb");
const QString kCopy = QStringLiteral("veltranew.mdb");
const QString kBak = QStringLiteral("veltra.bak");

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool exec(const QString &path, const char *sql)
{
    SqliteDb db;
    return db.open(path, SQLITE_OPEN_READWRITE) && db.exec(sql);
}

// Every row in rowid order, each field quoted as stored, so a changed type shows too.
QStringList rows(const QString &path)
{
    QStringList all;
    SqliteDb db;
    SqliteStatement s;
    if (db.open(path, SQLITE_OPEN_READWRITE)
        && s.prepare(db, "SELECT quote(id) || '|' || quote(messnum) || '|' || quote(messauthor) || '|' || quote(messdate)"
                         " || '|' || quote(messtitle) || '|' || quote(message) FROM veltra ORDER BY id", false)) {
        while (s.step() == SqliteStatement::Step::Row)
            all << s.columnText(0);
    }
    return all;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Whether another open file description could take the flock now.
bool canFlock(const QString &folder, int operation)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool got = fd >= 0 && ::flock(fd, operation | LOCK_NB) == 0;
    ::close(fd);
    return got;
}

}

class TestCompaction final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_template;              // write-ahead logging mode, closed cleanly
    QString m_large;                 // larger than SQLite's page cache
    QStringList m_rows;              // what it holds
    QStringList m_withLog;           // what it holds with the pending log added
    QHash<QString, QByteArray> m_files; // files recovery chooses between, by kind
    qint64 m_compactedSize = 0;
    int m_folders = 0;

    QString newFolder()
    {
        const QString folder = m_root.filePath(QString::number(++m_folders));
        QDir().mkpath(folder);
        return folder;
    }

    // A data folder holding the template; with a log, 45 more rows are committed but
    // left in veltra.mdb-wal, as by a program killed between checkpoints.
    QString prepareFolder(bool pendingLog, const QString &source = {})
    {
        const QString folder = newFolder();
        const QString database = QDir(folder).filePath(kDb);
        QFile::copy(source.isEmpty() ? m_template : source, database);
        if (pendingLog) {
            SqliteDb db;
            db.open(database, SQLITE_OPEN_READWRITE);
            sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            db.exec("PRAGMA wal_autocheckpoint = 0; INSERT INTO veltra (messnum, messauthor, messdate, messtitle, message)"
                    " SELECT messnum + 5000, messauthor, messdate, messtitle, message FROM veltra WHERE messnum <= 50");
        }
        return folder;
    }

    // The child's output up to its end, or only its first line when it pauses.
    static QString runChild(const QStringList &arguments, bool pauses, QProcess *child)
    {
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QStringLiteral(COMPACT_CHILD_PATH), arguments);
        if (!pauses) {
            child->waitForFinished(10000);
            return QString::fromUtf8(child->readAllStandardOutput());
        }
        const QDeadlineTimer deadline(10000);
        while (!child->canReadLine() && child->state() != QProcess::NotRunning && !deadline.hasExpired())
            child->waitForReadyRead(50);
        return QString::fromUtf8(child->readLine());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_template = QDir(newFolder()).filePath(kDb);
        QVERIFY(Recordset::createEmpty(m_template));
        {
            auto opened = Recordset::open(m_template);
            QVERIFY(opened.recordset);
            sqlite3_exec(opened.recordset->handle(), "BEGIN", nullptr, nullptr, nullptr);
            for (qint32 n = 1; n <= 2000; ++n) {
                const QString text = QStringLiteral("Kühler %1 ").arg(n);
                QVERIFY(opened.recordset->addNew({n, text + QStringLiteral("<k@example.org>"), text.repeated(2), text, text.repeated(30)}));
            }
            QCOMPARE(sqlite3_exec(opened.recordset->handle(), "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        QVERIFY(exec(m_template, "DELETE FROM veltra WHERE messnum BETWEEN 400 AND 1400 OR messnum % 9 = 0"));
        m_large = QDir(newFolder()).filePath(kDb);
        QVERIFY(QFile::copy(m_template, m_large));
        QVERIFY(exec(m_large, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 16)"
                              " INSERT INTO veltra (messnum, messauthor, messdate, messtitle, message)"
                              " SELECT messnum + 10000 * i, messauthor, messdate, messtitle, message FROM veltra, n"));
        QVERIFY(QFileInfo(m_large).size() > 4 << 20);
        m_rows = rows(m_template);
        QCOMPARE(m_rows.size(), 2000 - 1001 - 44 - 67);

        // The log folded in on a copy, and proof that the main file alone lacks those rows.
        const QString logged = QDir(prepareFolder(true)).filePath(kDb);
        const QString side = QDir(newFolder()).filePath(kDb);
        QVERIFY(QFile::copy(logged, side));
        QCOMPARE(rows(side), m_rows);
        QVERIFY(QFile::copy(logged + QStringLiteral("-wal"), side + QStringLiteral("-wal")));
        m_withLog = rows(side);
        QCOMPARE(m_withLog.size(), m_rows.size() + 45);

        // A compaction made here supplies the sound files the recovery cases start from.
        const QDir reference(prepareFolder(false));
        const Compaction::Result result = Compaction::compact(reference.path());
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QByteArray compacted = bytesOf(reference.filePath(kDb));
        const QByteArray backup = bytesOf(reference.filePath(kBak));
        m_compactedSize = compacted.size();
        m_files = {{QStringLiteral("sound copy"), compacted},
                   {QStringLiteral("sound backup"), backup},
                   {QStringLiteral("truncated copy"), compacted.left(compacted.size() / 2)},
                   {QStringLiteral("truncated backup"), backup.left(backup.size() / 3)},
                   {QStringLiteral("garbage"), QByteArray("not a database\n").repeated(500)}};
        // A table page the figures never read (they come from the messnum index) made
        // unreadable: only the integrity check finds it.
        QByteArray broken = compacted;
        const int pageSize = uchar(broken[16]) << 8 | uchar(broken[17]);
        for (qsizetype page = broken.size() - pageSize; page > 0 && broken == compacted; page -= pageSize) {
            if (broken[page] == 0x0d) // a table leaf
                broken[page] = '\xff';
        }
        QVERIFY(broken != compacted);
        m_files[QStringLiteral("broken page")] = broken;
        QVERIFY(exec(reference.filePath(kDb), "DELETE FROM veltra WHERE messnum > 1900"));
        m_files[QStringLiteral("copy behind")] = bytesOf(reference.filePath(kDb));
    }

    void deletionMarkNeverStacks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("unmarked");
        QTest::newRow("empty") << "" << "-1" << "";
        QTest::newRow("mark alone") << "-1" << "-1" << "";
        QTest::newRow("date") << "Mon Mar 3, 2003" << "-1Mon Mar 3, 2003" << "Mon Mar 3, 2003";
        QTest::newRow("marked date") << "-1Mon Mar 3, 2003" << "-1Mon Mar 3, 2003" << "Mon Mar 3, 2003";
        // The rule is the prefix: a date that happens to begin with "-1" reads as marked.
        QTest::newRow("date starting -1") << "-12/3/2004" << "-12/3/2004" << "2/3/2004";
        QTest::newRow("-1 inside") << "1-1-2004" << "-11-1-2004" << "1-1-2004";
        QTest::newRow("-1 after a blank") << " -1x" << "-1 -1x" << " -1x";
        QTest::newRow("mark twice") << "-1-1x" << "-1-1x" << "-1x";
    }
    void deletionMarkNeverStacks()
    {
        QFETCH(QString, text);
        QFETCH(QString, marked);
        QFETCH(QString, unmarked);
        QCOMPARE(DeletionMark::isMarked(text), marked == text);
        QCOMPARE(DeletionMark::marked(text), marked);
        QCOMPARE(DeletionMark::unmarked(text), unmarked);
        QCOMPARE(DeletionMark::marked(marked), marked);
        QVERIFY(DeletionMark::isMarked(marked));
        if (marked != text)
            QCOMPARE(DeletionMark::unmarked(marked), text);
    }

    void compactionReplacesTheDatabase_data()
    {
        QTest::addColumn<bool>("pendingLog");
        QTest::addColumn<QByteArray>("staleCopy");
        QTest::newRow("log folded in") << false << QByteArray();
        QTest::newRow("rows only in the log") << true << QByteArray();
        QTest::newRow("stale copy") << false << QByteArray("left by a killed run").repeated(300);
    }
    void compactionReplacesTheDatabase()
    {
        QFETCH(bool, pendingLog);
        QFETCH(QByteArray, staleCopy);
        const QDir folder(prepareFolder(pendingLog));
        const qint64 sourceSize = QFileInfo(folder.filePath(kDb)).size();
        if (!staleCopy.isEmpty())
            QVERIFY(writeBytes(folder.filePath(kCopy), staleCopy));

        const Compaction::Result result = Compaction::compact(folder.path());
        QVERIFY2(result.ok, qPrintable(result.reason));
        QVERIFY(result.failure == Compaction::Failure::None && result.reason.isEmpty());
        QCOMPARE(entries(folder.path()), QStringList({kBak, kDb}));
        const QByteArray header = bytesOf(folder.filePath(kDb)).left(20);
        QCOMPARE(header.mid(18, 2), QByteArray("\x01\x01")); // a rollback journal, not write-ahead logging
        QVERIFY(QFileInfo(folder.filePath(kDb)).size() < sourceSize * 3 / 4);
        const QStringList expected = pendingLog ? m_withLog : m_rows;
        QCOMPARE(rows(folder.filePath(kDb)), expected);
        QCOMPARE(rows(folder.filePath(kBak)), expected);

        // A second compaction keeps one backup: the database as it was before.
        const QByteArray first = bytesOf(folder.filePath(kDb));
        QVERIFY(Compaction::compact(folder.path()).ok);
        QCOMPARE(entries(folder.path()), QStringList({kBak, kDb}));
        QVERIFY(bytesOf(folder.filePath(kBak)) == first);
        QCOMPARE(rows(folder.filePath(kDb)), expected);
    }

    // The copy is measured as it grows against the bytes the database uses; its check,
    // which gives nothing to count, comes last.
    void compactionTellsHowFarItIs()
    {
        const QDir folder(prepareFolder(false, m_large));
        QList<std::pair<qint64, qint64>> reports;
        const auto progress = [&reports](qint64 done, qint64 total) { reports.append({done, total}); };
        QVERIFY(Compaction::compact(folder.path(), {}, progress).ok);
        QVERIFY(reports.size() > 3);
        QVERIFY((reports.takeLast() == std::pair<qint64, qint64>{0, 0}));
        const qint64 total = reports.first().second;
        QVERIFY(total > 0 && total <= QFileInfo(m_large).size());
        qint64 done = 0;
        for (const auto &[copied, of] : reports) {
            QCOMPARE(of, total);
            QVERIFY(copied >= done);
            done = copied;
        }
        QVERIFY2(done > total / 2, qPrintable(QStringLiteral("%1 of %2").arg(done).arg(total)));
    }

    void databaseInUseIsLeftAlone()
    {
        const QDir folder(prepareFolder(false));
        // Read first: closing any descriptor of the file in this process would drop the
        // other connection's POSIX locks.
        const QByteArray before = bytesOf(folder.filePath(kDb));
        {
            auto other = Recordset::open(folder.filePath(kDb));
            QVERIFY(other.recordset);
            const Compaction::Result result = Compaction::compact(folder.path());
            QVERIFY(!result.ok && result.failure == Compaction::Failure::InUse && !result.reason.isEmpty());
            QVERIFY(!QFileInfo::exists(folder.filePath(kCopy)));
            QCOMPARE(other.recordset->recordCount(), m_rows.size());
        }
        QCOMPARE(entries(folder.path()), QStringList{kDb});
        QVERIFY(bytesOf(folder.filePath(kDb)) == before);
    }

    void lockSharesAndExcludes()
    {
        const QString folder = newFolder();
        DatabaseLock first;
        DatabaseLock second;
        QString error;
        QVERIFY(!first.lockShared(folder + QStringLiteral("/missing"), 0, &error));
        QVERIFY(error.contains(QStringLiteral("missing")));
        QVERIFY(first.lockShared(folder, 0) && second.lockShared(folder, 0));
        QVERIFY(!first.tryExclusive());
        QVERIFY(first.isHeld() && !first.isExclusive());
        second.release();
        QVERIFY(!canFlock(folder, LOCK_EX)); // the refused conversion left the lock shared
        QVERIFY(first.tryExclusive());
        QVERIFY(!canFlock(folder, LOCK_SH));

        QElapsedTimer waited;
        waited.start();
        QVERIFY(!second.lockShared(folder, 100));
        QVERIFY(waited.elapsed() >= 100 && !second.isHeld());
        // A copy starting mid-compaction gets in once the compaction is over.
        std::thread compactor([&first] {
            QThread::msleep(150);
            first.backToShared();
        });
        const bool got = second.lockShared(folder, 5000);
        compactor.join();
        QVERIFY(got && first.isHeld() && !first.isExclusive());
        QVERIFY(!canFlock(folder, LOCK_EX));
        first.release();
        second.release();
        QVERIFY(canFlock(folder, LOCK_EX));
    }

    void killedAtEveryStepLosesNothing_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QStringList>("left"); // the folder as the kill leaves it
        QTest::newRow("source ready") << Step::SourceReady << QStringList{kDb};
        QTest::newRow("copy written") << Step::CopyWritten << QStringList{kDb, kCopy};
        QTest::newRow("copy checked") << Step::CopyChecked << QStringList{kDb, kCopy};
        QTest::newRow("backup kept") << Step::BackupKept << QStringList{kBak, kCopy};
        QTest::newRow("switched") << Step::Switched << QStringList{kBak, kDb};
    }
    void killedAtEveryStepLosesNothing()
    {
        QFETCH(Step, step);
        QFETCH(QStringList, left);
        const QDir folder(prepareFolder(true));
        QProcess child;
        QCOMPARE(runChild({folder.path(), QString::number(int(step))}, true, &child),
                 QStringLiteral("paused %1\n").arg(int(step)));
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(entries(folder.path()), left);

        const bool missing = !left.contains(kDb);
        const Compaction::Recovery recovery = Compaction::recover(folder.path());
        QCOMPARE(recovery.recovered, missing);
        QCOMPARE(recovery.message.isEmpty(), !missing);
        {
            auto opened = Recordset::open(folder.filePath(kDb));
            QVERIFY(opened.recordset);
            QCOMPARE(opened.recordset->recordCount(), m_withLog.size());
        }
        QCOMPARE(rows(folder.filePath(kDb)), m_withLog);
        const Compaction::Result again = Compaction::compact(folder.path());
        QVERIFY2(again.ok, qPrintable(again.reason));
        QCOMPARE(entries(folder.path()), QStringList({kBak, kDb}));
        QCOMPARE(rows(folder.filePath(kDb)), m_withLog);
    }

    void fullDiskLeavesTheDatabase_data()
    {
        QTest::addColumn<bool>("large"); // past SQLite's page cache: the copy's journal is written before its end
        QTest::addColumn<bool>("pendingLog");
        QTest::addColumn<bool>("rollbackJournal");
        QTest::newRow("rollback journal") << false << false << true;
        QTest::newRow("write-ahead log") << false << false << false;
        QTest::newRow("rows only in the log") << false << true << false;
        QTest::newRow("large") << true << false << false;
    }
    void fullDiskLeavesTheDatabase()
    {
        QFETCH(bool, large);
        QFETCH(bool, pendingLog);
        QFETCH(bool, rollbackJournal);
        const QDir folder(prepareFolder(pendingLog, large ? m_large : m_template));
        if (rollbackJournal)
            QVERIFY(exec(folder.filePath(kDb), "PRAGMA journal_mode = DELETE"));
        const QStringList before = entries(folder.path());
        const QByteArray bytes = bytesOf(folder.filePath(kDb));

        // Half the compacted size: too small for the copy, enough for the first page that
        // switching the journal rewrites; a pending log cannot even be folded in.
        const qint64 limit = (large ? QFileInfo(m_large).size() : m_compactedSize) / 2;
        QProcess child;
        const QStringList output = runChild({folder.path(), QStringLiteral("-1"), QStringLiteral("--fsize"),
                                             QString::number(limit)}, false, &child)
                                       .split(QLatin1Char('\n'));
        QCOMPARE(child.exitCode(), 0);
        // The system refuses the write past the limit (EFBIG): a write error, not a full disk.
        QCOMPARE(output.value(0), QStringLiteral("ok=0 failure=%1").arg(int(Compaction::Failure::WriteError)));
        QVERIFY(!output.value(1).isEmpty());
        QCOMPARE(entries(folder.path()), before);
        if (rollbackJournal)
            QVERIFY(bytesOf(folder.filePath(kDb)) == bytes);
        QVERIFY(Compaction::check(folder.filePath(kDb), nullptr, nullptr));
        QCOMPARE(rows(folder.filePath(kDb)), large ? rows(m_large) : pendingLog ? m_withLog : m_rows);
    }

    void recoveryPutsTheRightFileBack_data()
    {
        QTest::addColumn<QString>("copy"); // kinds of file in m_files, empty for none
        QTest::addColumn<QString>("backup");
        QTest::addColumn<bool>("database"); // veltra.mdb present
        QTest::addColumn<QString>("taken"); // the kind that becomes veltra.mdb
        QTest::addColumn<QString>("said");  // in the message; empty for no message
        QTest::addColumn<QStringList>("after");
        const QString sound = QStringLiteral("sound backup");
        QTest::newRow("nothing there") << "" << "" << false << "" << "" << QStringList();
        QTest::newRow("database present") << "sound copy" << sound << true << "" << "" << QStringList{kBak, kDb, kCopy};
        QTest::newRow("only the backup") << "" << sound << false << sound << kBak << QStringList{kDb};
        QTest::newRow("copy matching backup") << "sound copy" << sound << false << "sound copy" << kCopy << QStringList{kBak, kDb};
        QTest::newRow("garbage copy") << "garbage" << sound << false << sound << kBak << QStringList{kDb, kCopy};
        QTest::newRow("truncated copy") << "truncated copy" << sound << false << sound << kBak << QStringList{kDb, kCopy};
        QTest::newRow("broken page in copy") << "broken page" << sound << false << sound << kBak << QStringList{kDb, kCopy};
        QTest::newRow("copy behind backup") << "copy behind" << sound << false << sound << kBak << QStringList{kDb, kCopy};
        QTest::newRow("neither usable") << "garbage" << "truncated backup" << false << "" << "Neither" << QStringList{kBak, kCopy};
    }
    void recoveryPutsTheRightFileBack()
    {
        QFETCH(QString, copy);
        QFETCH(QString, backup);
        QFETCH(bool, database);
        QFETCH(QString, taken);
        QFETCH(QString, said);
        QFETCH(QStringList, after);
        const QDir folder(newFolder());
        QVERIFY(copy.isEmpty() || writeBytes(folder.filePath(kCopy), m_files.value(copy)));
        QVERIFY(backup.isEmpty() || writeBytes(folder.filePath(kBak), m_files.value(backup)));
        QVERIFY(!database || QFile::copy(m_template, folder.filePath(kDb)));

        const Compaction::Recovery recovery = Compaction::recover(folder.path());
        QCOMPARE(recovery.recovered, !taken.isEmpty());
        QVERIFY2(said.isEmpty() ? recovery.message.isEmpty() : recovery.message.contains(said), qPrintable(recovery.message));
        QCOMPARE(entries(folder.path()), after);
        if (!taken.isEmpty())
            QVERIFY(bytesOf(folder.filePath(kDb)) == m_files.value(taken));
        if (database)
            QVERIFY(bytesOf(folder.filePath(kDb)) == bytesOf(m_template));
    }
};

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
