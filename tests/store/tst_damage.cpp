// SPDX-License-Identifier: GPL-3.0-or-later
// A damaged message database: the recordset notices it wherever SQLite meets it, says so
// once and writes no more; the background check finds it without a walk.
#include "damagedfile.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sqlite3.h>

#include <functional>
#include <memory>

using Operation = std::function<bool(Recordset &)>;
using Outcome = IntegrityCheck::Outcome;

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// From the first record to the end, reading each; false at the first failure.
bool walkAll(Recordset &rs)
{
    MessageRecord r;
    for (bool ok = rs.moveFirst(); ok; ok = rs.current(&r) && rs.moveNext()) {
        if (rs.eof())
            return true;
    }
    return false;
}

} // namespace

class TestDamage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_sound;
    QString m_damaged;
    std::unique_ptr<Recordset> m_rs;
    QStringList m_reasons; // every call of the damage handler

    Recordset &openCopy(const QString &source)
    {
        const QString path = m_dir.filePath(QStringLiteral("work.mdb"));
        m_rs.reset();
        QFile::remove(path);
        QFile::copy(source, path);
        m_rs = Recordset::open(path).recordset;
        m_reasons.clear();
        m_rs->setDamageHandler([this](const QString &reason) { m_reasons << reason; });
        return *m_rs;
    }

    // Every write is refused with the reason and leaves the files as they were; reads go on.
    static void verifyWritesRefused(Recordset &rs)
    {
        const QString path = rs.databasePath();
        const QByteArray before = contentsOf(path) + contentsOf(path + QStringLiteral("-wal"));
        QVERIFY(rs.moveFirst());
        QVERIFY(!rs.updateField(QStringLiteral("messtitle"), QStringLiteral("changed")));
        QCOMPARE(rs.lastError(), QStringLiteral("The message database is damaged; nothing more is written to it."));
        QVERIFY(!rs.addNew(MessageRecord{DamagedFile::kMessages + 1, {}, {}, {}, {}}));
        QVERIFY(!rs.deleteCurrent());
        QCOMPARE(rs.field(QStringLiteral("messtitle")).toString(), QStringLiteral("[vclub] Subject 1"));
        QCOMPARE(contentsOf(path) + contentsOf(path + QStringLiteral("-wal")), before);
    }

private slots:
    void initTestCase()
    {
        m_sound = m_dir.filePath(QStringLiteral("sound.mdb"));
        m_damaged = m_dir.filePath(QStringLiteral("damaged.mdb"));
        QVERIFY(DamagedFile::write(m_sound, false));
        QVERIFY(DamagedFile::write(m_damaged, true));
    }

    void damageFoundOnTheWay_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("walking") << Operation(walkAll);
        QTest::newRow("find in the bodies") << Operation([](Recordset &rs) {
            return rs.findFirst(QStringLiteral("message like '*no such words*'")) != Recordset::FindResult::Error;
        });
        QTest::newRow("editing") << Operation([](Recordset &rs) {
            rs.setBookmark({DamagedFile::firstUnreadable(rs.databasePath()), false, false, false, false});
            return rs.updateField(QStringLiteral("messdate"), QStringLiteral("-1 flagged"));
        });
    }

    void damageFoundOnTheWay()
    {
        QFETCH(Operation, operation);
        Recordset &rs = openCopy(m_damaged);
        QVERIFY(!rs.isDamaged());
        QVERIFY(!operation(rs));
        QVERIFY(rs.isDamaged());
        QCOMPARE(m_reasons.size(), 1);
        QVERIFY2(m_reasons.constFirst().contains(QLatin1String("malformed")), qPrintable(m_reasons.constFirst()));

        // Meeting the damage again, or hearing of it from the check, says nothing new.
        QVERIFY(!walkAll(rs));
        rs.markDamaged(QStringLiteral("quick_check: found too"));
        QCOMPARE(m_reasons.size(), 1);
        QCOMPARE(rs.damageReason(), m_reasons.constFirst());
        verifyWritesRefused(rs);
    }

    void damageReportedFromOutside()
    {
        Recordset &rs = openCopy(m_sound);
        rs.markDamaged(QStringLiteral("quick_check: Page 7: btreeInitPage() returns error code 11"));
        rs.markDamaged(QStringLiteral("quick_check: again"));
        QCOMPARE(m_reasons, QStringList{QStringLiteral("quick_check: Page 7: btreeInitPage() returns error code 11")});
        QVERIFY(walkAll(rs));
        verifyWritesRefused(rs);
    }

    // A write that fails for another reason (here a full disk) is no damage.
    void otherFailuresAreNoDamage()
    {
        Recordset &rs = openCopy(m_sound);
        QCOMPARE(sqlite3_exec(rs.handle(), "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(!rs.addNew(MessageRecord{1, {}, {}, {}, QString(100000, QLatin1Char('x'))}));
        QVERIFY(!rs.isDamaged());
        QVERIFY(m_reasons.isEmpty());
    }

    // A file SQLite finds corrupt as it opens it is told apart from one that is no database,
    // and left as it was.
    void openFindsTheDamage_data()
    {
        QTest::addColumn<bool>("cut"); // to half its size; otherwise the table's first page written over
        QTest::newRow("cut to half") << true;
        QTest::newRow("first table page written over") << false;
    }

    void openFindsTheDamage()
    {
        QFETCH(bool, cut);
        const QString path = m_dir.filePath(QStringLiteral("opened.mdb"));
        QFile::remove(path);
        QVERIFY(QFile::copy(m_sound, path));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const int pageSize = qFromBigEndian<quint16>(f.read(100).constData() + 16);
            if (cut)
                QVERIFY(f.resize(f.size() / 2));
            else // page 2: the message table's root, read for the first record
                QVERIFY(f.seek(pageSize) && f.write(QByteArray("garbage!").repeated(pageSize / 8)) == pageSize);
        }
        const QByteArray before = contentsOf(path);

        const auto result = Recordset::open(path);
        QCOMPARE(result.status, Recordset::OpenStatus::Damaged);
        QVERIFY(!result.recordset);
        QVERIFY2(result.reason.contains(QLatin1String("malformed")), qPrintable(result.reason));
        QCOMPARE(contentsOf(path), before);
    }

    void integrityCheck_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("freelistSize"); // written into the header
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("detailHas");
        QTest::newRow("sound") << m_sound << 0 << Outcome::Sound << QString();
        QTest::newRow("spoiled pages") << m_damaged << 0 << Outcome::Damaged << "malformed";
        // A fault the check lists rather than stumbles over; the records read as ever.
        QTest::newRow("wrong freelist size") << m_sound << 5 << Outcome::Damaged << "freelist";
        QTest::newRow("missing") << QString() << 0 << Outcome::Unchecked << "unable to open";
    }

    void integrityCheck()
    {
        QFETCH(QString, source);
        QFETCH(int, freelistSize);
        QFETCH(Outcome, outcome);
        QFETCH(QString, detailHas);
        QString path = m_dir.filePath(QStringLiteral("missing.mdb"));
        if (!source.isEmpty()) {
            // The window's own connection has the file open meanwhile.
            path = openCopy(source).databasePath();
            if (freelistSize) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(36));
                f.write(QByteArray(1, 0).repeated(3) + char(freelistSize));
            }
        }
        const QByteArray before = contentsOf(path);

        IntegrityCheck check;
        QSignalSpy finished(&check, &IntegrityCheck::finished);
        QVERIFY(check.start(path));
        QVERIFY(!check.start(path));
        QVERIFY(finished.wait(10000));
        // Once its thread has ended and what it posted has run, no second report can come.
        QTRY_VERIFY(!check.isRunning());
        QVERIFY(TestEnv::waitForQueued());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Outcome>(), outcome);
        const QString detail = finished.at(0).at(1).toString();
        QVERIFY2(detail.contains(detailHas) && detail.isEmpty() == (outcome == Outcome::Sound), qPrintable(detail));
        QCOMPARE(contentsOf(path), before);
    }

    // The window may close while the check runs: it is called off and never delivered,
    // whether its result is already posted or it is still reading.
    void destroyedWhileRunning()
    {
        int delivered = 0;
        for (int i = 0; i < 12; ++i) {
            auto check = std::make_unique<IntegrityCheck>();
            connect(check.get(), &IntegrityCheck::finished, this, [&delivered] { ++delivered; });
            QVERIFY(check->start(i % 2 ? m_sound : m_damaged));
            if (i % 3 == 0)
                QThread::msleep(100);
        }
        QVERIFY(TestEnv::waitForQueued()); // a result posted before its check went would come before this
        QCOMPARE(delivered, 0);
    }
};

QTEST_GUILESS_MAIN(TestDamage)

#include "tst_damage.moc"
