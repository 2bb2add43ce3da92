// SPDX-License-Identifier: GPL-3.0-or-later
// The message archive on its own: what opening a data folder comes to, taking the file
// alone, and the place a long walk keeps on the shared cursor while events run.
#include "archive/messagearchive.h"
#include "archive/walkcursor.h"
#include "fixtures.h"
#include "archive/compaction.h"
#include "store/recordset.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

qint32 numberAt(const Recordset *rs)
{
    return rs->hasCurrent() ? rs->field(QStringLiteral("messnum")).toInt() : 0;
}

bool moveTo(Recordset *rs, qint32 messnum)
{
    return rs->findFirst(QStringLiteral("messnum = %1").arg(messnum)) == Recordset::FindResult::Found;
}

}

class TestMessageArchive : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void opening_data()
    {
        QTest::addColumn<QString>("folder"); // what the data folder holds
        QTest::addColumn<bool>("startUp");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("leftovers"); // removed beside the database
        using S = MessageArchive::OpenStatus;
        QTest::newRow("no database") << "none" << true << int(S::Missing) << QStringList();
        QTest::newRow("not a database") << "garbage" << true << int(S::Failed) << QStringList();
        QTest::newRow("sound") << "sound" << true << int(S::Opened) << QStringList();
        QTest::newRow("a cut-off compaction's copy at start-up")
            << "copy" << true << int(S::Opened) << QStringList{QLatin1String(Compaction::kCopy)};
        QTest::newRow("the copy kept at a later opening") << "copy" << false << int(S::Opened) << QStringList();
    }
    void opening()
    {
        QFETCH(QString, folder);
        QFETCH(bool, startUp);
        QFETCH(int, status);
        QFETCH(QStringList, leftovers);
        const QByteArray garbage("this is no database, and it must stay as it is");
        if (folder == QLatin1String("garbage"))
            Fixtures::writeAll(path("veltra.mdb"), garbage);
        if (folder == QLatin1String("sound") || folder == QLatin1String("copy"))
            QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 4)));
        if (folder == QLatin1String("copy"))
            QVERIFY(Fixtures::writeDatabase(path(Compaction::kCopy), Fixtures::range(1, 2)));

        MessageArchive archive(m_dir->path());
        QSignalSpy opened(&archive, &MessageArchive::opened);
        const quint64 generation = archive.generation();
        const MessageArchive::Opening opening = archive.open(startUp);
        QCOMPARE(int(opening.status), status);
        QCOMPARE(opening.leftovers, leftovers);
        const bool isOpen = status == int(MessageArchive::OpenStatus::Opened);
        QCOMPARE(archive.recordset() != nullptr, isOpen);
        QCOMPARE(opened.count(), isOpen ? 1 : 0);
        QCOMPARE(archive.generation() != generation, isOpen);
        if (folder == QLatin1String("garbage"))
            QCOMPARE(Fixtures::readAll(path("veltra.mdb")), garbage);
        if (folder == QLatin1String("none"))
            QVERIFY(!QFile::exists(path("veltra.mdb")));
        if (folder == QLatin1String("copy"))
            QCOMPARE(QFile::exists(path(Compaction::kCopy)), leftovers.isEmpty());
        if (isOpen) {
            QVERIFY(archive.countMessages());
            QCOMPARE(archive.countText(QStringLiteral(" - Last # ")), QStringLiteral("4 Messages - Last # 4"));
        }
    }

    void createdWhereThereWasNone()
    {
        MessageArchive archive(m_dir->path());
        MessageArchive::Opening opening = archive.open(true);
        QCOMPARE(opening.status, MessageArchive::OpenStatus::Missing);
        QVERIFY(archive.createAndOpen(&opening));
        QVERIFY(archive.countMessages());
        QCOMPARE(archive.countText(QStringLiteral(" - Last # ")), QStringLiteral("0 Messages - Last # 0"));
    }

    void takenAloneOnlyWithoutOtherCopies()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        MessageArchive archive(m_dir->path());
        QCOMPARE(archive.open(true).status, MessageArchive::OpenStatus::Opened);
        QSignalSpy closing(&archive, &MessageArchive::closing);
        {
            MessageArchive other(m_dir->path());
            QCOMPARE(other.open(false).status, MessageArchive::OpenStatus::Opened);
            QString reason;
            QVERIFY(!archive.takeAlone(&reason));
            QVERIFY(!reason.isEmpty());
            QVERIFY(archive.recordset());
            QCOMPARE(closing.count(), 0);
        }
        // Everything that holds the file is told before it closes.
        connect(&archive, &MessageArchive::closing, this, [&] { QVERIFY(archive.recordset()); });
        QString reason;
        QVERIFY2(archive.takeAlone(&reason), qPrintable(reason));
        QCOMPARE(closing.count(), 1);
        QVERIFY(!archive.recordset());
        archive.backToShared();
    }

    // The user's place persists from one run of the events to the next, and the walk's
    // from one step to the next, however the other moves the cursor.
    void walkAndUserKeepTheirPlaces()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 10)));
        MessageArchive archive(m_dir->path());
        QCOMPARE(archive.open(true).status, MessageArchive::OpenStatus::Opened);
        Recordset *rs = archive.recordset();
        QVERIFY(moveTo(rs, 7)); // the message in view

        WalkCursor walk(&archive);
        QCOMPARE(walk.recordset(), rs);
        rs->moveFirst();
        QList<qint32> userSaw;
        for (int step = 0; step < 3; ++step) {
            rs->moveNext();
            const qint32 walkAt = numberAt(rs);
            QVERIFY(walk.letEventsRun([&] {
                userSaw << numberAt(rs);
                rs->moveNext(); // the user steps on
                return true;
            }));
            QCOMPARE(numberAt(rs), walkAt);
        }
        QCOMPARE(userSaw, (QList<qint32>{7, 8, 9}));

        // Events that did not run leave both places alone.
        const qint32 walkAt = numberAt(rs);
        QVERIFY(walk.letEventsRun([] { return false; }));
        QCOMPARE(numberAt(rs), walkAt);
        QVERIFY(walk.letEventsRun([&] {
            userSaw << numberAt(rs);
            return true;
        }));
        QCOMPARE(userSaw.last(), 10);
    }

    void walkEndsWhenTheDatabaseWasReplaced()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 5)));
        MessageArchive archive(m_dir->path());
        QCOMPARE(archive.open(true).status, MessageArchive::OpenStatus::Opened);
        WalkCursor walk(&archive);
        // Closed and opened again meanwhile: the new cursor may even lie at the old address.
        QVERIFY(!walk.letEventsRun([&] {
            QString reason;
            if (!archive.takeAlone(&reason))
                qFatal("%s", qPrintable(reason));
            archive.backToShared();
            archive.open(false);
            return true;
        }));
        QVERIFY(archive.recordset());
        QCOMPARE(walk.recordset(), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestMessageArchive)
#include "tst_messagearchive.moc"
