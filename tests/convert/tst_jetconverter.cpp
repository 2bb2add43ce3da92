// SPDX-License-Identifier: GPL-3.0-or-later
// Converting real Access files (../shared/corpus/jet): every row and text as mdb-export
// gives the same table, refusals that leave the file untouched, and damaged copies.
#include "base/vbnumber.h"
#include "convert/jetconverter.h"
#include "fixtures.h"
#include "archive/compaction.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

constexpr char kDateFormat[] = "%Y-%m-%d %H:%M:%S";
using Row = QStringList; // messnum's text as exported, then the four texts

QString corpus(const QString &name)
{
    return QDir(TestEnv::corpusDir()).filePath(QStringLiteral("jet/") + name);
}

// What mdb-export gives for the columns, row by row.
QList<Row> exported(const QString &file, const QString &table, const JetColumns &columns)
{
    QProcess p;
    p.start(QStringLiteral("mdb-export"), {QStringLiteral("-Q"), QStringLiteral("-d"), QStringLiteral("\x1f"),
                                           QStringLiteral("-R"), QStringLiteral("\x1e"), QStringLiteral("-D"),
                                           QLatin1String(kDateFormat), QStringLiteral("-T"), QLatin1String(kDateFormat),
                                           file, table});
    p.waitForFinished(-1);
    QStringList records = QString::fromUtf8(p.readAllStandardOutput()).split(QChar(0x1e));
    if (records.size() > 1 && records.last().isEmpty())
        records.removeLast();
    const QStringList header = records.takeFirst().split(QChar(0x1f));
    QList<Row> rows;
    for (const QString &record : records) {
        const QStringList fields = record.split(QChar(0x1f));
        Row row;
        for (const QString &column : columns.columns)
            row << fields.value(header.indexOf(QRegularExpression(QRegularExpression::escape(column),
                                                                  QRegularExpression::CaseInsensitiveOption)));
        rows << row;
    }
    return rows;
}

QList<Row> converted(const QString &database, QList<qint64> *numbers)
{
    SqliteDb db;
    SqliteStatement s;
    QList<Row> rows;
    if (!db.open(database, SQLITE_OPEN_READONLY)
        || !s.prepare(db, "SELECT messnum, messauthor, messdate, messtitle, message FROM veltra ORDER BY rowid", false))
        return rows;
    while (s.step() == SqliteStatement::Step::Row) {
        *numbers << s.columnInt64(0);
        rows << Row{QString(), s.columnText(1), s.columnText(2), s.columnText(3), s.columnText(4)};
    }
    return rows;
}

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(Fixtures::readAll(path), QCryptographicHash::Sha256);
}

}

class TestJetConverter : public QObject
{
    Q_OBJECT

private slots:
    void everyRowAsMdbExportGivesIt_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("mapping");
        QTest::newRow("Jet 3 memo, CR LF, dates") << "nwind.mdb" << "Employees"
            << "messnum=EmployeeID,messauthor=LastName,messdate=BirthDate,messtitle=Address,message=Notes";
        QTest::newRow("Jet 3 code page 1252, text numbers") << "nwind.mdb" << "Customers"
            << "messnum=CustomerID,messauthor=CompanyName,messdate=City,messtitle=ContactName,message=Address";
        QTest::newRow("non-ASCII table, NULL dates") << "nwind.mdb" << "umsätze"
            << "messnum=OrderID,messauthor=ShipName,messdate=ShippedDate,messtitle=ShipRegion,message=Freight";
        QTest::newRow("currency, single, one column twice") << "nwind.mdb" << "Order Details"
            << "messnum=UnitPrice,messauthor=Discount,messdate=Quantity,messtitle=ProductID,message=UnitPrice";
        QTest::newRow("Yes/No, hyperlink memo") << "nwind.mdb" << "Suppliers"
            << "messnum=SupplierID,messauthor=CompanyName,messdate=Phone,messtitle=Fax,message=HomePage";
        QTest::newRow("Boolean and integers") << "nwind.mdb" << "Products"
            << "messnum=ReorderLevel,messauthor=ProductName,messdate=Discontinued,messtitle=UnitsInStock,message=Categoryid";
        QTest::newRow("double, byte, currency") << "testV1997.mdb" << "Table1"
            << "messnum=F,messauthor=A,messdate=G,messtitle=C,message=H";
        QTest::newRow("long, Boolean, integer") << "testV1997.mdb" << "Table1"
            << "messnum=E,messauthor=I,messdate=D,messtitle=B,message=B";
        QTest::newRow("empty wide table") << "testV1997.mdb" << "Table2"
            << "messnum=column1,messauthor=column2,messdate=column3,messtitle=column89,message=column50";
        QTest::newRow("Jet 4 UCS-2, memo with CR LF") << "DateTestDatabase.mdb" << "DateTest"
            << "messnum=IDCol,messauthor=ShortTextCol,messdate=DateTimeCol,messtitle=TimeCol,message=LongTextCol";
    }
    void everyRowAsMdbExportGivesIt()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, mapping);
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        // mdb-export gives the reference reading; the converter needs only its own reader.
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("mdb-export")}, QStringLiteral("Debian package mdbtools")));
        QString error;
        const std::optional<JetColumns> columns = JetColumns::parse(table, mapping, &error);
        QVERIFY2(columns, qPrintable(error));
        QTemporaryDir folder;
        const QByteArray before = digest(corpus(file));

        const JetConverter::Result result = JetConverter(QStringLiteral(JET_READER)).convert(corpus(file), folder.path(), *columns);
        QVERIFY2(result.status == JetConverter::Status::Converted, qPrintable(result.reason));

        const QList<Row> expected = exported(corpus(file), table, *columns);
        QList<qint64> numbers;
        const QList<Row> rows = converted(folder.filePath(QStringLiteral("veltra.mdb")), &numbers);
        QCOMPARE(rows.size(), expected.size());
        QCOMPARE(result.messages, qint64(expected.size()));
        qint64 unreadable = 0;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].mid(1), expected[i].mid(1));
            const auto read = VbNumber::leadingNumberIfAny(expected[i][0]);
            const auto number = read ? VbNumber::roundToInt32(*read) : std::nullopt;
            unreadable += number ? 0 : 1;
            QCOMPARE(numbers[i], qint64(number.value_or(0)));
        }
        QCOMPARE(result.unreadableNumbers, unreadable);
        QCOMPARE(digest(corpus(file)), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("veltra.mdb")});
    }

    void refusalsNameTheFaultAndTouchNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<QList<int>>("flips"); // header bytes whose lowest bit is flipped in a copy
        QTest::addColumn<QString>("said");
        QTest::newRow("no table veltra") << "nwind.mdb" << "" << "" << QList<int>{} << "has no table \"veltra\"";
        QTest::newRow("columns missing") << "DateTestDatabase.mdb" << "DateTest" << "messnum=IDCol,message=LongTextCol"
            << QList<int>{} << "has no column \"messauthor\", \"messdate\", \"messtitle\"";
        QTest::newRow("OLE column") << "nwind.mdb" << "Employees"
            << "messnum=EmployeeID,messauthor=LastName,messdate=Title,messtitle=City,message=Photo" << QList<int>{}
            << "\"Photo\" holds OLE object data";
        QTest::newRow("Jet 3 password") << "testV1997.mdb" << "Table1" << "" << QList<int>{0x42} << "database password";
        QTest::newRow("Jet 4 password") << "DateTestDatabase.mdb" << "DateTest" << "" << QList<int>{0x50} << "database password";
        QTest::newRow("encrypted") << "testV1997.mdb" << "Table1" << "" << QList<int>{0x3e} << "is encrypted";
        QTest::newRow("Access 2007") << "DateTestDatabase.mdb" << "DateTest" << "" << QList<int>{0x14} << "Access 2007 or later";
        QTest::newRow("not Access") << "" << "veltra" << "" << QList<int>{} << "cannot be read as a Microsoft Access";
    }
    void refusalsNameTheFaultAndTouchNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, mapping);
        QFETCH(QList<int>, flips);
        QFETCH(QString, said);
        if (!file.isEmpty())
            REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("old.mdb"));
        QByteArray bytes = file.isEmpty() ? QByteArray("plain text, not a database\n") : Fixtures::readAll(corpus(file));
        for (int at : flips)
            bytes[at] = char(bytes[at] ^ (at == 0x14 ? 0x03 : 0x01)); // at 0x14 Jet 4's version 1 becomes 2
        Fixtures::writeAll(copy, bytes);
        QString error;
        const auto columns = JetColumns::parse(table, mapping, &error);
        QVERIFY2(columns, qPrintable(error));
        const JetConverter converter(QStringLiteral(JET_READER));

        for (const JetConverter::Result &result : {converter.probe(copy, *columns), converter.convert(copy, folder.path(), *columns)}) {
            QCOMPARE(int(result.status), int(JetConverter::Status::Refused));
            QVERIFY2(result.reason.contains(said), qPrintable(result.reason));
            QVERIFY(result.reason.contains(copy));
        }
        QCOMPARE(Fixtures::readAll(copy), bytes);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.mdb")});
    }

    void theFoldersOwnFileIsKeptAsItWas()
    {
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QTemporaryDir folder;
        const QString database = folder.filePath(QStringLiteral("veltra.mdb"));
        QVERIFY(QFile::copy(corpus(QStringLiteral("DateTestDatabase.mdb")), database));
        const QByteArray bytes = Fixtures::readAll(database);
        QString error;
        const auto columns = JetColumns::parse(QStringLiteral("DateTest"), QStringLiteral(
            "messnum=IDCol,messauthor=ShortTextCol,messdate=DateTimeCol,messtitle=TimeCol,message=LongTextCol"), &error);
        const JetConverter converter(QStringLiteral(JET_READER));

        // Cancelled: nothing changes.
        const auto cancelled = converter.convert(database, folder.path(), *columns, [](const JetConverter::Progress &) { return false; });
        QCOMPARE(int(cancelled.status), int(JetConverter::Status::Cancelled));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("veltra.mdb")});
        QCOMPARE(Fixtures::readAll(database), bytes);

        const auto result = converter.convert(database, folder.path(), *columns);
        QCOMPARE(int(result.status), int(JetConverter::Status::Converted));
        QCOMPARE(Fixtures::readAll(folder.filePath(QStringLiteral("veltra-jet.mdb"))), bytes);
        Compaction::Figures figures;
        QVERIFY(Compaction::check(database, &figures, &error));
        QCOMPARE(figures.records, 6);
        // The database now holds messages: converting again is refused, and changes nothing.
        const auto again = converter.convert(folder.filePath(QStringLiteral("veltra-jet.mdb")), folder.path(), *columns);
        QCOMPARE(int(again.status), int(JetConverter::Status::Refused));
        QVERIFY2(again.reason.contains(QStringLiteral("already holds 6 messages")), qPrintable(again.reason));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), (QStringList{QStringLiteral("veltra-jet.mdb"), QStringLiteral("veltra.mdb")}));
    }

    void damagedCopiesAreRefusedOrConverted()
    {
        // Cut short and bit-flipped copies: each one is converted or refused with a
        // reason, and never leaves a half-written database behind.
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QRandomGenerator random(22);
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("damaged.mdb"));
        JetConverter converter(QStringLiteral(JET_READER));
        converter.setStallLimit(1000);
        const auto columns = JetColumns::parse(QStringLiteral("Table1"), QStringLiteral(
            "messnum=E,messauthor=A,messdate=G,messtitle=B,message=H"), nullptr);
        int converted = 0;
        int refused = 0;
        for (const char *name : {"testV1997.mdb", "testV1997.mdb", "DateTestDatabase.mdb"}) {
            const QByteArray original = Fixtures::readAll(corpus(QLatin1String(name)));
            const JetColumns &used = QByteArray(name).startsWith("Date")
                ? *JetColumns::parse(QStringLiteral("DateTest"), QStringLiteral("messnum=IDCol,messauthor=ShortTextCol,"
                      "messdate=DateTimeCol,messtitle=TimeCol,message=LongTextCol"), nullptr)
                : *columns;
            for (int round = 0; round < 20; ++round) {
                QByteArray bytes = original;
                if (round % 4 == 0)
                    bytes.truncate(random.bounded(int(bytes.size())));
                for (int i = 0, n = random.bounded(1, 40); i < n && round % 4 != 0; ++i) {
                    const int at = random.bounded(int(bytes.size()));
                    bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
                }
                Fixtures::writeAll(copy, bytes);
                QFile::remove(folder.filePath(QStringLiteral("veltra.mdb")));
                const auto result = converter.convert(copy, folder.path(), used);
                QVERIFY(result.status == JetConverter::Status::Converted || result.status == JetConverter::Status::Refused);
                QVERIFY(!QFileInfo::exists(folder.filePath(QLatin1String(JetConverter::kWriting))));
                if (result.status == JetConverter::Status::Converted) {
                    ++converted;
                    QVERIFY(Compaction::check(folder.filePath(QStringLiteral("veltra.mdb")), nullptr, nullptr));
                } else {
                    ++refused;
                    QVERIFY(!result.reason.isEmpty());
                    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("veltra.mdb"))));
                }
                QCOMPARE(Fixtures::readAll(copy), bytes);
            }
        }
        qInfo("%d damaged copies converted, %d refused", converted, refused);
    }
};

QTEST_GUILESS_MAIN(TestJetConverter)
#include "tst_jetconverter.moc"
