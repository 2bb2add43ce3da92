// SPDX-License-Identifier: GPL-3.0-or-later
// The search index's word lister on its own: each column's words go to its own list,
// folded as the index keeps them, each word once however often it is met and not at all
// when the list has it already; only the rows of the job's range; failures come back to
// the builder with their reason, and a lister ends with a job under way.
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/steppedbuild.h"
#include "store/wordlister.h"

#include <QtTest>

#include <sqlite3.h>

namespace {

constexpr char kRows[] = "SELECT a, b, c FROM texts WHERE rowid > ?1 AND rowid <= ?2";

} // namespace

class TestWordLister final : public QObject
{
    Q_OBJECT

private slots:
    void listsTheNewWords_data();
    void listsTheNewWords();
    void failuresAreReported_data();
    void failuresAreReported();
    void endsWithAJobUnfinished();

private:
    // A file with table texts(a, b, c) of these rows (three texts each, "-" for NULL) and
    // a list of words `listed` ("field:word"); the list has no unique key, so a word
    // listed twice shows.
    QString database(const QStringList &rows, const QStringList &listed);
    static QStringList listed(SqliteDb &db);

    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestWordLister::database(const QStringList &rows, const QStringList &listed)
{
    const QString path = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files));
    SqliteDb db;
    if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
        || !db.exec("CREATE TABLE texts(a, b, c); CREATE TABLE words(field INTEGER, word TEXT)"))
        return {};
    for (const QString &row : rows) {
        SqliteStatement insert;
        if (!insert.prepare(db, "INSERT INTO texts(a, b, c) VALUES (?1, ?2, ?3)", false))
            return {};
        const QStringList texts = row.split(u'|');
        for (int i = 0; i < 3; ++i) {
            if (!(texts.value(i) == QLatin1String("-") ? insert.bindNull(i + 1) : insert.bindText(i + 1, texts.value(i))))
                return {};
        }
        if (insert.step() != SqliteStatement::Step::Done)
            return {};
    }
    for (const QString &word : listed) {
        SqliteStatement insert;
        if (!insert.prepare(db, "INSERT INTO words(field, word) VALUES (?1, ?2)", false)
            || !insert.bindInt64(1, word.section(u':', 0, 0).toLongLong()) || !insert.bindText(2, word.section(u':', 1))
            || insert.step() != SqliteStatement::Step::Done)
            return {};
    }
    return path;
}

QStringList TestWordLister::listed(SqliteDb &db)
{
    QStringList words;
    SqliteStatement s;
    if (!s.prepare(db, "SELECT field, word FROM words", false))
        return {QStringLiteral("unreadable")};
    while (s.step() == SqliteStatement::Step::Row)
        words << QString::number(s.columnInt64(0)) + u':' + s.columnText(1);
    words.sort();
    return words;
}

void TestWordLister::listsTheNewWords_data()
{
    QTest::addColumn<QStringList>("rows");  // "a|b|c"
    QTest::addColumn<QStringList>("before"); // in the list already
    QTest::addColumn<QList<qint64>>("jobs"); // ranges (from, to], one after the other
    QTest::addColumn<QStringList>("after");
    QTest::newRow("each column its own list")
        << QStringList{u"Ann Lee|Brakes|brakes, again"_qs} << QStringList() << QList<qint64>{0, 1}
        << QStringList{u"0:ann"_qs, u"0:lee"_qs, u"1:brakes"_qs, u"2:again"_qs, u"2:brakes"_qs};
    QTest::newRow("folded and split as the index does")
        << QStringList{u"|O'Neil 240Z|Caf\u00e9 CAF\u00c9"_qs} << QStringList() << QList<qint64>{0, 1}
        << QStringList{u"1:240z"_qs, u"1:neil"_qs, u"1:o"_qs, u"2:caf\u00c9"_qs, u"2:caf\u00e9"_qs};
    QTest::newRow("a word met again is listed once")
        << QStringList{u"x x|-|-"_qs, u"X|-|-"_qs} << QStringList() << QList<qint64>{0, 2} << QStringList{u"0:x"_qs};
    QTest::newRow("met again in a later job")
        << QStringList{u"x|-|-"_qs, u"x y|-|-"_qs} << QStringList() << QList<qint64>{0, 1, 1, 2}
        << QStringList{u"0:x"_qs, u"0:y"_qs};
    QTest::newRow("words listed already are not listed again")
        << QStringList{u"-|-|hello world"_qs} << QStringList{u"2:world"_qs, u"0:hello"_qs} << QList<qint64>{0, 1}
        << QStringList{u"0:hello"_qs, u"2:hello"_qs, u"2:world"_qs};
    QTest::newRow("only the job's rows")
        << QStringList{u"one|-|-"_qs, u"two|-|-"_qs, u"three|-|-"_qs, u"four|-|-"_qs} << QStringList()
        << QList<qint64>{1, 3} << QStringList{u"0:three"_qs, u"0:two"_qs};
    QTest::newRow("no words") << QStringList{u"-|-|-"_qs, u"|--|!?"_qs} << QStringList() << QList<qint64>{0, 2}
                              << QStringList();
}

void TestWordLister::listsTheNewWords()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, before);
    QFETCH(QList<qint64>, jobs);
    QFETCH(QStringList, after);
    const QString path = database(rows, before);
    QVERIFY(!path.isEmpty());
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READWRITE));
    WordLister lister(path, "words", 3);
    for (qsizetype i = 0; i + 1 < jobs.size(); i += 2) {
        lister.start(kRows, jobs[i], jobs[i + 1]);
        QVERIFY2(lister.finish(db), qPrintable(db.lastError()));
    }
    QCOMPARE(listed(db), after);
}

void TestWordLister::failuresAreReported_data()
{
    QTest::addColumn<bool>("missingFile");
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the file is not there") << true << QByteArray(kRows) << QStringLiteral("open: unable to open database file");
    QTest::newRow("a statement SQLite refuses")
        << false << QByteArray("SELECT a, b, c FROM nowhere WHERE rowid > ?1 AND rowid <= ?2")
        << QStringLiteral("no such table: nowhere");
}

void TestWordLister::failuresAreReported()
{
    QFETCH(bool, missingFile);
    QFETCH(QByteArray, sql);
    QFETCH(QString, reason);
    const QString path = database({u"word|-|-"_qs}, {});
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READWRITE));
    WordLister lister(missingFile ? m_dir.filePath(QStringLiteral("none.sqlite")) : path, "words", 3);
    lister.start(sql, 0, 1);
    QVERIFY(!lister.finish(db));
    QVERIFY2(db.lastError().contains(reason), qPrintable(db.lastError()));
    QCOMPARE(listed(db), QStringList());
    // The next job is still answered, failing the same way.
    lister.start(sql, 0, 1);
    QVERIFY(!lister.finish(db));
}

void TestWordLister::endsWithAJobUnfinished()
{
    // A builder that fails between start() and finish() ends its lister; this would hang.
    const QString path = database({u"word|-|-"_qs}, {});
    {
        WordLister lister(path, "words", 3);
        lister.start(kRows, 0, 1);
    }
    {
        WordLister idle(path, "words", 3);
    }
    SqliteDb db;
    QVERIFY(db.open(path, SQLITE_OPEN_READONLY));
    QCOMPARE(listed(db), QStringList());
}

QTEST_GUILESS_MAIN(TestWordLister)
#include "tst_wordlister.moc"
