// SPDX-License-Identifier: GPL-3.0-or-later
// The rescue of a damaged message database against real damage: pages of a database with
// bodies over several pages written over, bytes changed in place, the file cut short.
// What comes across must be exactly what was stored, and the count of the rest right.
#include "fixtures.h"
#include "archive/rescue.h"
#include "store/conversationindex.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

constexpr int kMessages = 300;
constexpr int kPageSize = 4096;

// Every row by rowid, each field quoted as stored, so a changed type or byte shows too.
QMap<qint64, QString> rows(const QString &path)
{
    QMap<qint64, QString> all;
    SqliteDb db;
    SqliteStatement s;
    if (db.open(path, SQLITE_OPEN_READONLY)
        && s.prepare(db, "SELECT id, quote(messnum) || quote(messauthor) || quote(messdate) || quote(messtitle)"
                         " || quote(CAST(message AS BLOB)) FROM veltra", false)) {
        while (s.step() == SqliteStatement::Step::Row)
            all.insert(s.columnInt64(0), s.columnText(1));
    }
    return all;
}

enum class Fill { Random, Text, Zeros };
struct Damage
{
    const char *pages; // dbstat's choice of pages; its path "/00a/003+000001" is the second
                       // overflow page of cell 3 of leaf 00a
    int every;         // every n-th of them, neither the first nor the last
    Fill fill;
};

bool spoil(const QString &path, const Damage &damage)
{
    QList<quint32> pages;
    {
        SqliteDb db;
        SqliteStatement s;
        if (!db.open(path, SQLITE_OPEN_READONLY)
            || !s.prepare(db, QByteArray("SELECT pageno FROM dbstat WHERE ") + damage.pages + " ORDER BY path", false))
            return false;
        while (s.step() == SqliteStatement::Step::Row)
            pages << quint32(s.columnInt64(0));
    }
    QFile file(path);
    if (pages.isEmpty() || !file.open(QIODevice::ReadWrite))
        return false;
    QRandomGenerator random(7);
    for (qsizetype i = damage.every / 2; i < pages.size(); i += damage.every) {
        QByteArray bytes(kPageSize, '\0');
        if (damage.fill == Fill::Text)
            bytes = QByteArray("garbage!").repeated(kPageSize / 8);
        else if (damage.fill == Fill::Random)
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), kPageSize / 4);
        if (!file.seek(qint64(pages[i] - 1) * kPageSize) || file.write(bytes) != kPageSize)
            return false;
    }
    return true;
}

const char kLeaves[] = "name = 'veltra' AND pagetype = 'leaf'";
// The last page of each text's overflow chain: no path after it continues its cell.
const char kLastOverflowPages[] = "name = 'veltra' AND pagetype = 'overflow' AND NOT EXISTS (SELECT 1 FROM dbstat AS n"
                                  " WHERE n.name = 'veltra' AND n.path > dbstat.path"
                                  " AND n.path < substr(dbstat.path, 1, instr(dbstat.path, '+')) || '~')";
const char kNumberIndex[] = "name = 'veltra_messnum' AND pagetype = 'leaf'";

}

Q_DECLARE_METATYPE(Damage)

class TestRescue final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_plain;   // without the search index
    QString m_indexed; // with it
    QString m_topics;  // with the conversation store instead
    QMap<qint64, QString> m_rows;

private slots:
    void initTestCase()
    {
        m_plain = m_dir.filePath(QStringLiteral("plain.mdb"));
        m_indexed = m_dir.filePath(QStringLiteral("indexed.mdb"));
        QList<MessageRecord> records;
        for (int n = 1; n <= kMessages; ++n) {
            MessageRecord r = Fixtures::message(n);
            r.messauthor = QStringLiteral("Jürgen Kühler %1").arg(n);
            // Over one to three pages, the last ones plain ASCII as most mail is.
            r.message = QStringLiteral("<p>Grüße, Kühler Nr. %1 ").arg(n)
                        + QStringLiteral("the radiator cap seals at 13 psi; ").repeated(120 + 35 * (n % 7));
            records << r;
        }
        QVERIFY(Fixtures::writeDatabase(m_plain, records));
        QVERIFY(QFile::copy(m_plain, m_indexed));
        m_topics = m_dir.filePath(QStringLiteral("topics.mdb"));
        QVERIFY(QFile::copy(m_plain, m_topics));
        QCOMPARE(ConversationIndexBuilder::run(m_topics).outcome, ConversationIndexBuilder::Outcome::Ready);
        QCOMPARE(SearchIndexBuilder::run(m_indexed, SearchIndexBuilder::Task::Build).outcome,
                 SearchIndexBuilder::Outcome::Ready);
        m_rows = rows(m_plain);
        QCOMPARE(m_rows.size(), kMessages);
    }

    void rescuedMessagesAreExact_data()
    {
        QTest::addColumn<QString>("file"); // plain, indexed or topics
        QTest::addColumn<QList<Damage>>("damage");
        QTest::addColumn<QByteArrayList>("edit"); // bytes of the file, and what they become
        QTest::addColumn<bool>("cut");            // the file cut to half its size
        QTest::addColumn<bool>("exact");          // every record still known
        const Damage leaves{kLeaves, 9, Fill::Random};
        const Damage numbers{kNumberIndex, 1, Fill::Zeros};
        const QByteArrayList none;
        QTest::newRow("table leaves") << QStringLiteral("plain") << QList<Damage>{leaves} << none << false << true;
        // These read back without an error: only the chain's fault or the text gives them away.
        QTest::newRow("last overflow pages, text") << QStringLiteral("plain") << QList<Damage>{{kLastOverflowPages, 5, Fill::Text}} << none << false << true;
        QTest::newRow("last overflow pages, zeros") << QStringLiteral("plain") << QList<Damage>{{kLastOverflowPages, 5, Fill::Zeros}} << none << false << true;
        // The spoiled leaves' records are listed nowhere else: they cannot be counted.
        QTest::newRow("leaves and number index") << QStringLiteral("plain") << QList<Damage>{leaves, numbers} << none << false << false;
        QTest::newRow("leaves and number index, indexed") << QStringLiteral("indexed") << QList<Damage>{leaves, numbers} << none << false << true;
        QTest::newRow("leaves and number index, conversations stored")
            << QStringLiteral("topics") << QList<Damage>{leaves, numbers} << none << false << true;
        // One record changed in place, still well formed: its number (stored just before
        // the author), or its author's words as the search index counted them.
        const QByteArray author = QStringLiteral("Jürgen Kühler 57Mon").toUtf8();
        QTest::newRow("number changed") << QStringLiteral("plain") << QList<Damage>{} << QByteArrayList{'9' + author, ':' + author} << false << true;
        QTest::newRow("word split, indexed")
            << QStringLiteral("indexed") << QList<Damage>{} << QByteArrayList{author, QByteArray(author).replace("\xc3\xbc", "u.")} << false << true;
        // The number index sits in the first pages, so it still lists every record.
        QTest::newRow("cut to half") << QStringLiteral("plain") << QList<Damage>{} << none << true << true;
    }
    void rescuedMessagesAreExact()
    {
        QFETCH(QString, file);
        QFETCH(QList<Damage>, damage);
        QFETCH(QByteArrayList, edit);
        QFETCH(bool, cut);
        QFETCH(bool, exact);
        const QString damaged = m_dir.filePath(QStringLiteral("damaged.mdb"));
        const QString rescued = m_dir.filePath(QStringLiteral("rescued.mdb"));
        QFile::remove(damaged);
        QFile::remove(rescued);
        QVERIFY(QFile::copy(file == QLatin1String("indexed") ? m_indexed : file == QLatin1String("topics") ? m_topics : m_plain,
                            damaged));
        for (const Damage &d : damage)
            QVERIFY(spoil(damaged, d));
        QByteArray bytes = Fixtures::readAll(damaged);
        if (!edit.isEmpty()) {
            QCOMPARE(bytes.count(edit[0]), 1);
            bytes.replace(edit[0], edit[1]);
        }
        if (cut)
            bytes.truncate(bytes.size() / 2);
        Fixtures::writeAll(damaged, bytes);

        const Rescue::Result result = Rescue::copyReadable(damaged, rescued);
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QMap<qint64, QString> copied = rows(rescued);
        for (auto it = copied.cbegin(); it != copied.cend(); ++it)
            QVERIFY2(m_rows.value(it.key()) == it.value(), qPrintable(QStringLiteral("record %1 changed").arg(it.key())));
        const qint64 lost = kMessages - copied.size();
        QVERIFY2(copied.size() > 0 && lost > 0, qPrintable(QString::number(lost)));
        QCOMPARE(result.rescued, copied.size());
        QCOMPARE(result.lostExact, exact);
        QVERIFY2(exact ? result.lost == lost : result.lost <= lost, qPrintable(QStringLiteral("%1 of %2").arg(result.lost).arg(lost)));
        QVERIFY(Fixtures::readAll(damaged) == bytes);
    }
};

QTEST_GUILESS_MAIN(TestRescue)
#include "tst_rescue.moc"
