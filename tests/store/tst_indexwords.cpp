// SPDX-License-Identifier: GPL-3.0-or-later
// The index's words as the program splits them, against SQLite FTS5's own "ascii"
// tokenizer: the list of words and the sizes the index records must be the tokenizer's
// exactly, or finds would ask for words the index does not hold.
#include "store/indexwords.h"
#include "store/searchindex.h"

#include <QtTest>

#include <sqlite3.h>

#include <set>

class TestIndexWords final : public QObject
{
    Q_OBJECT

private slots:
    void sameWordsAsTheTokenizer_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("plain words") << QByteArray("The front Brake pads, the FRONT brake!");
        QTest::newRow("letters outside ASCII keep their case") << QByteArray("Caf\xc3\xa9 CAF\xc3\x89 \xc3\x96lwanne \xd0\xa0\xd0\xb5\xd0\xbc");
        QTest::newRow("punctuation inside words splits them") << QByteArray("e-mail o'neil snake_case a.b/c 3,5l");
        QTest::newRow("digits are word characters") << QByteArray("1972 240Z 0800-555");
        QTest::newRow("a NUL separates") << QByteArray("before\0after nul", 16);
        QTest::newRow("outside-ASCII punctuation joins words") << QByteArray("don\xe2\x80\x99t \xc2\xabquoted\xc2\xbb");
        QTest::newRow("no words at all") << QByteArray(" -- !! ");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("a word longer than the index keeps")
            << (QByteArray(IndexWords::kLongest - 2, 'x') + "YZabc " + QByteArray(IndexWords::kLongest, 'q') + " tail");
    }
    void sameWordsAsTheTokenizer()
    {
        QFETCH(QByteArray, text);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        const auto run = [&](const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
        QVERIFY(run("CREATE TABLE t(x); CREATE VIRTUAL TABLE f USING fts5(x, content='t', tokenize='ascii', detail=none);"
                    "CREATE VIRTUAL TABLE temp.v USING fts5vocab(main, f, 'row')"));
        sqlite3_stmt *insert = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO t(rowid, x) VALUES (1, ?1)", -1, &insert, nullptr), SQLITE_OK);
        sqlite3_bind_text(insert, 1, text.constData(), int(text.size()), SQLITE_STATIC);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
        QVERIFY(run("INSERT INTO f(f) VALUES ('rebuild')"));

        std::set<QByteArray> fromSqlite;
        sqlite3_stmt *terms = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT term FROM temp.v", -1, &terms, nullptr), SQLITE_OK);
        while (sqlite3_step(terms) == SQLITE_ROW)
            fromSqlite.insert(QByteArray(static_cast<const char *>(sqlite3_column_blob(terms, 0)), sqlite3_column_bytes(terms, 0)));
        sqlite3_finalize(terms);
        sqlite3_stmt *size = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT sz FROM f_docsize WHERE id = 1", -1, &size, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(size), SQLITE_ROW);
        const std::optional<qint64> recorded = SearchIndex::recordedSize(
            QByteArrayView(static_cast<const char *>(sqlite3_column_blob(size, 0)), sqlite3_column_bytes(size, 0)));
        sqlite3_finalize(size);
        sqlite3_close(db);

        std::set<QByteArray> listed;
        IndexWords::forEach(text, [&](const QByteArray &word) { listed.insert(word); });
        QCOMPARE(listed, fromSqlite);
        std::set<QByteArray> inSet;
        IndexWords::WordSet set;
        set.addText(text, [&](QByteArrayView word) { QVERIFY(inSet.insert(word.toByteArray()).second); });
        QCOMPARE(inSet, fromSqlite);
        QCOMPARE(std::optional<qint64>(IndexWords::count(text)), recorded);
    }

    // The count looks at sixteen bytes at a time: on texts of every length up to a few
    // hundred bytes, of every kind of byte, it counts what walking the words finds.
    void countAgreesWithTheWords()
    {
        quint32 seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 24;
        };
        static const char kBytes[] = "aZ09 ,.-\0\x80\xc3\xa9\xff_!~`@[{";
        const QByteArray alphabet(kBytes, qsizetype(sizeof kBytes - 1));
        for (int length = 0; length < 600; ++length) {
            for (int round = 0; round < 4; ++round) {
                QByteArray text(length, Qt::Uninitialized);
                for (char &c : text)
                    c = round == 3 ? char(next()) : alphabet.at(int(next() % quint32(alphabet.size())));
                qint64 walked = 0;
                IndexWords::forEachSpan(text, [&](qsizetype, qsizetype) { ++walked; });
                QCOMPARE(IndexWords::count(text), walked);
            }
        }
    }

    // Thousands of words, each met many times: the set grows, and keeps every one once.
    void setKeepsEveryWordOnce()
    {
        IndexWords::WordSet set;
        QByteArray text;
        for (int i = 0; i < 5000; ++i)
            text += "w" + QByteArray::number(i * 7919 % 100003) + (i % 2 ? " " : ", ");
        int reported = 0;
        set.addText(text, [&](QByteArrayView) { ++reported; });
        set.addText(text.toUpper(), [&](QByteArrayView) { ++reported; });
        QCOMPARE(reported, 5000);
        QCOMPARE(set.size(), 5000);
        std::set<QByteArray> distinct;
        for (qsizetype i = 0; i < set.size(); ++i)
            distinct.insert(set.word(i).toByteArray());
        QCOMPARE(qsizetype(distinct.size()), set.size());
    }
};

QTEST_GUILESS_MAIN(TestIndexWords)
#include "tst_indexwords.moc"
