// SPDX-License-Identifier: GPL-3.0-or-later
// Which messages have been read, kept in the message database: through a close and an
// opening, a table missing, damaged or of a later version, deletion and storing, a
// compaction and a rescue, and the listing of what is new.
#include "archive/compaction.h"
#include "archive/messagearchive.h"
#include "archive/rescue.h"
#include "fixtures.h"
#include "store/readstate.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

QList<qint32> numbers(const std::vector<ReadState::Hit> &hits)
{
    QList<qint32> out;
    for (const ReadState::Hit &hit : hits)
        out << hit.messnum;
    return out;
}

QList<qint32> without(qint32 first, qint32 last, const QList<qint32> &read)
{
    QList<qint32> out;
    for (qint32 n = first; n <= last; ++n) {
        if (!read.contains(n))
            out << n;
    }
    return out;
}

bool exec(const QString &path, const char *sql)
{
    SqliteDb db;
    return db.open(path, SQLITE_OPEN_READWRITE) && db.exec(sql);
}

}

class TestReadState : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageArchive> m_archive;

    QString path() const { return m_dir->filePath(QStringLiteral("veltra.mdb")); }

    ReadState *openArchive()
    {
        m_archive = std::make_unique<MessageArchive>(m_dir->path());
        if (m_archive->open(false).status != MessageArchive::OpenStatus::Opened)
            return nullptr;
        return m_archive->readState();
    }

    // 1..20 stored, 3 and 5 read and written at close.
    bool prepareRead()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!Fixtures::writeDatabase(path(), Fixtures::range(1, 20)))
            return false;
        ReadState *state = openArchive();
        if (!state)
            return false;
        state->markRead(3);
        state->markRead(5);
        m_archive->close();
        return true;
    }

private slots:
    void cleanup()
    {
        m_archive.reset();
        m_dir.reset();
    }

    // Marks that counted only in memory would be lost with the run.
    void marksKeptAcrossRuns()
    {
        QVERIFY(prepareRead());
        ReadState *state = openArchive();
        QVERIFY(state);
        QCOMPARE(state->found(), ReadState::Found::Sound);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {3, 5}));
        // Marked now: out of the listing before it is written.
        state->markRead(7);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {3, 5, 7}));
    }

    // An archive that comes from before, or a table that cannot be trusted: nothing counts
    // as read, the archive opens all the same, and the table is written anew at the close.
    void faultyTable_data()
    {
        QTest::addColumn<QByteArray>("spoil");
        QTest::addColumn<int>("found");
        QTest::newRow("missing") << QByteArray("DROP TRIGGER veltra_unread_insert; DROP TRIGGER veltra_unread_delete;"
                                               "DROP TABLE veltra_unread; DROP TABLE veltra_unread_state;")
                                 << int(ReadState::Found::Missing);
        QTest::newRow("no state row") << QByteArray("DELETE FROM veltra_unread_state") << int(ReadState::Found::Damaged);
        QTest::newRow("table gone") << QByteArray("DROP TABLE veltra_unread") << int(ReadState::Found::Damaged);
        QTest::newRow("trigger gone") << QByteArray("DROP TRIGGER veltra_unread_insert") << int(ReadState::Found::Damaged);
        QTest::newRow("later version") << QByteArray("UPDATE veltra_unread_state SET format = 2")
                                       << int(ReadState::Found::Newer);
    }

    void faultyTable()
    {
        QFETCH(QByteArray, spoil);
        QFETCH(int, found);
        QVERIFY(prepareRead());
        QVERIFY(exec(path(), spoil.constData()));

        ReadState *state = openArchive();
        QVERIFY(state);
        QCOMPARE(int(state->found()), found);
        QVERIFY(!state->isUsable());
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {}));
        state->markRead(9);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {9}));
        m_archive->close();

        state = openArchive();
        QCOMPARE(state->found(), ReadState::Found::Sound);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {9}));
    }

    // A deleted message must not stay listed as new; stored again, it is new again.
    void deletionAndStoring()
    {
        QVERIFY(prepareRead());
        QVERIFY(exec(path(), "DELETE FROM veltra WHERE messnum IN (4, 5)"));
        ReadState *state = openArchive();
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {3, 4, 5}));
        m_archive->close();
        QVERIFY(exec(path(), "INSERT INTO veltra (messnum, messtitle) VALUES (5, 'again'), (21, 'new')"));
        state = openArchive();
        QCOMPARE(numbers(state->unread(100)), without(1, 21, {3, 4}));
    }

    // Both ways a database is written anew must carry what was read.
    void carriedThrough_data()
    {
        QTest::addColumn<bool>("rescue");
        QTest::newRow("compaction") << false;
        QTest::newRow("rescue") << true;
    }

    void carriedThrough()
    {
        QFETCH(bool, rescue);
        QVERIFY(prepareRead());
        m_archive.reset();
        if (rescue) {
            QVERIFY(Rescue::rescueFolder(m_dir->path()).ok);
        } else {
            const Compaction::Result result = Compaction::compact(m_dir->path());
            QVERIFY2(result.ok, qPrintable(result.reason));
        }
        ReadState *state = openArchive();
        QCOMPARE(state->found(), ReadState::Found::Sound);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {3, 5}));
        // The rescued file's triggers work: a message stored is new.
        QVERIFY(m_archive->recordset()->connection().exec("INSERT INTO veltra (messnum) VALUES (30)"));
        QCOMPARE(numbers(state->unread(100)).last(), 30);
    }

    // A rescue of a file whose table cannot be read takes nothing for read.
    void rescueWithoutTable()
    {
        QVERIFY(prepareRead());
        m_archive.reset();
        QVERIFY(exec(path(), "DROP TABLE veltra_unread"));
        QVERIFY(Rescue::rescueFolder(m_dir->path()).ok);
        ReadState *state = openArchive();
        QCOMPARE(state->found(), ReadState::Found::Sound);
        QCOMPARE(numbers(state->unread(100)), without(1, 20, {}));
    }

    // The listing is in number order and stops where asked; each hit names its record.
    void listingOrderAndLimit()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QList<MessageRecord> records = Fixtures::range(1, 30);
        std::reverse(records.begin(), records.end());
        QVERIFY(Fixtures::writeDatabase(path(), records));
        ReadState *state = openArchive();
        state->markAllRead();
        QVERIFY(m_archive->recordset()->connection().exec("INSERT INTO veltra (messnum) VALUES (40), (35), (38)"));
        QCOMPARE(numbers(state->unread(100)), (QList<qint32>{35, 38, 40}));
        QCOMPARE(numbers(state->unread(2)), (QList<qint32>{35, 38}));
        for (const ReadState::Hit &hit : state->unread(100))
            QVERIFY(hit.rowid > 30);
    }

    // A new empty database needs no word: its table is made at once.
    void newDatabase()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_archive = std::make_unique<MessageArchive>(m_dir->path());
        MessageArchive::Opening opening;
        QVERIFY(m_archive->createAndOpen(&opening));
        QCOMPARE(m_archive->readState()->found(), ReadState::Found::Sound);
        QVERIFY(m_archive->recordset()->connection().exec("INSERT INTO veltra (messnum) VALUES (1)"));
        QCOMPARE(numbers(m_archive->readState()->unread(10)), QList<qint32>{1});
    }
};

QTEST_GUILESS_MAIN(TestReadState)
#include "tst_readstate.moc"
