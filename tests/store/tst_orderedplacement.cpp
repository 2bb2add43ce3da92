// SPDX-License-Identifier: GPL-3.0-or-later
// Storing by number: the catalogue's number queries take only whole numbers, and a record
// added in order gets the id that keeps stored order number order where it can.
#include "store/orderedplacement.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "store/statementcatalogue.h"

#include <QtTest>

#include <sqlite3.h>

using AddResult = Recordset::AddResult;

namespace {

constexpr char kTable[] = "CREATE TABLE veltra(id INTEGER PRIMARY KEY, messnum INTEGER, messauthor TEXT,"
                          " messdate TEXT, messtitle TEXT, message TEXT);"
                          "CREATE INDEX veltra_messnum ON veltra(messnum);";

// A message table in memory holding the rows `rows` inserts, and the catalogue over it.
struct Table
{
    SqliteDb db;
    StatementCatalogue statements{db};
    QStringList failures;

    explicit Table(const QByteArray &rows)
    {
        QVERIFY(db.open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        QVERIFY2(db.exec(kTable) && (rows.isEmpty() || db.exec(rows.constData())), qPrintable(db.lastError()));
        statements.setTable("\"veltra\"");
        statements.setFailureHandler([this] { failures << db.lastError(); });
    }

    qint64 scalar(const QByteArray &sql)
    {
        SqliteStatement s;
        return s.prepare(db, sql) && s.step() == SqliteStatement::Step::Row ? s.columnInt64(0) : -1;
    }
};

} // namespace

class TestOrderedPlacement final : public QObject
{
    Q_OBJECT

private slots:
    void numberQueriesTakeOnlyWholeNumbers_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QVariant>("argument"); // invalid: none
        QTest::addColumn<qint64>("id");         // 0: no row
        QTest::addColumn<qint64>("number");
        QTest::addColumn<bool>("whole");
        using C = StatementCatalogue;
        QTest::newRow("highest: not a fraction, nor past 32 bits") << int(C::Highest) << QVariant() << 6ll << 7ll << true;
        QTest::newRow("predecessor: not a fraction") << int(C::Predecessor) << QVariant(8) << 6ll << 7ll << true;
        QTest::newRow("successor: not a fraction") << int(C::Successor) << QVariant(7) << 5ll << 2147483648ll << true;
        QTest::newRow("successor: not text") << int(C::Successor) << QVariant(2147483648ll) << 0ll << 0ll << true;
        QTest::newRow("last record, numbered by text") << int(C::LastNumbered) << QVariant() << 8ll << 0ll << false;
    }

    void numberQueriesTakeOnlyWholeNumbers()
    {
        QFETCH(int, slot);
        QFETCH(QVariant, argument);
        QFETCH(qint64, id);
        QFETCH(qint64, number);
        QFETCH(bool, whole);
        // SQLite orders fractions among whole numbers and text above them all.
        Table table("INSERT INTO veltra(id, messnum) VALUES"
                    " (1, 3), (2, '12a'), (3, 7.5), (4, NULL), (5, 2147483648), (6, 7), (7, -4), (8, 'x')");
        std::optional<StatementCatalogue::Numbered> found;
        QVERIFY(table.statements.queryNumbered(
            slot, argument.isValid() ? std::optional<qint64>(argument.toLongLong()) : std::nullopt, &found));
        QCOMPARE(table.failures, QStringList());
        QCOMPARE(found.has_value(), id != 0);
        if (found) {
            QCOMPARE(found->id, id);
            QCOMPARE(found->number, number);
            QCOMPARE(found->whole, whole);
        }
    }

    void add_data()
    {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<int>("number");
        QTest::addColumn<qint64>("highestDeleted");
        QTest::addColumn<qint64>("id"); // 0: already stored
        QTest::newRow("empty table") << QByteArray() << 5 << 0ll << 1ll;
        QTest::newRow("above: a free id kept for each number skipped")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (2, 2)") << 5 << 0ll << 5ll;
        QTest::newRow("above: past a deleted record")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (2, 2)") << 3 << 4ll << 5ll;
        QTest::newRow("above text: no ids kept")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (2, 'x')") << 5 << 0ll << 3ll;
        QTest::newRow("between: the id kept for it")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (5, 5)") << 3 << 0ll << 3ll;
        QTest::newRow("between: no id left, to the end")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (2, 5)") << 3 << 0ll << 3ll;
        QTest::newRow("between: its id taken, to the end")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (3, 'x'), (5, 5)") << 3 << 0ll << 6ll;
        QTest::newRow("below all: just before the lowest")
            << QByteArray("INSERT INTO veltra(id, messnum) VALUES (10, 10)") << 4 << 0ll << 9ll;
        QTest::newRow("duplicate") << QByteArray("INSERT INTO veltra(id, messnum) VALUES (1, 1), (5, 5)") << 5 << 0ll << 0ll;
    }

    void add()
    {
        QFETCH(QByteArray, rows);
        QFETCH(int, number);
        QFETCH(qint64, highestDeleted);
        QFETCH(qint64, id);
        Table table(rows);
        const qint64 before = table.scalar("SELECT count(*) FROM veltra");
        MessageRecord record;
        record.messnum = number;
        QCOMPARE(OrderedPlacement::add(table.statements, record, highestDeleted),
                 id ? AddResult::Added : AddResult::AlreadyStored);
        QCOMPARE(table.failures, QStringList());
        QCOMPARE(table.scalar("SELECT count(*) FROM veltra"), before + (id ? 1 : 0));
        if (id)
            QCOMPARE(table.scalar("SELECT max(id) FROM veltra WHERE messnum = " + QByteArray::number(number)), id);
    }
};

QTEST_GUILESS_MAIN(TestOrderedPlacement)
#include "tst_orderedplacement.moc"
