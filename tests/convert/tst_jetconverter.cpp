// SPDX-License-Identifier: GPL-3.0-or-later
// Converting real Access files (../shared/corpus/jet): every row and text as mdb-export
// gives the same table, refusals that leave the file untouched, and damaged copies.
#include "base/vbnumber.h"
#include "convert/jetconverter.h"
#include "convert/jettable.h"
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

Q_DECLARE_METATYPE(JetTable::Column)

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

    // Damage must not be taken for protection: only an encrypted or password-protected
    // file gets the advice to open it in Access.
    void refusalsNameTheFaultAndTouchNothing_data()
    {
        QTest::addColumn<QString>("file"); // empty: a line of plain text
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<QList<int>>("flips"); // header bytes whose lowest bit is flipped in a copy
        QTest::addColumn<int>("zeroed");       // bytes zeroed from the start
        QTest::addColumn<int>("cut");          // bytes kept, -1 all
        QTest::addColumn<QString>("said");
        const QString damaged = QStringLiteral("is damaged or not an Access database: ");
        QTest::newRow("no table veltra") << "nwind.mdb" << "" << "" << QList<int>{} << 0 << -1 << "has no table \"veltra\"";
        QTest::newRow("columns missing") << "DateTestDatabase.mdb" << "DateTest" << "messnum=IDCol,message=LongTextCol"
            << QList<int>{} << 0 << -1 << "has no column \"messauthor\", \"messdate\", \"messtitle\"";
        QTest::newRow("OLE column") << "nwind.mdb" << "Employees"
            << "messnum=EmployeeID,messauthor=LastName,messdate=Title,messtitle=City,message=Photo" << QList<int>{} << 0 << -1
            << "\"Photo\" holds OLE object data";
        QTest::newRow("Jet 3 password") << "testV1997.mdb" << "Table1" << "" << QList<int>{0x42} << 0 << -1 << "database password";
        QTest::newRow("Jet 4 password") << "DateTestDatabase.mdb" << "DateTest" << "" << QList<int>{0x50} << 0 << -1
                                        << "database password";
        QTest::newRow("encrypted") << "testV1997.mdb" << "Table1" << "" << QList<int>{0x3e} << 0 << -1 << "is encrypted";
        QTest::newRow("Access 2007") << "DateTestDatabase.mdb" << "DateTest" << "" << QList<int>{0x14} << 0 << -1
                                     << "Access 2007 or later";
        QTest::newRow("not Access") << "" << "veltra" << "" << QList<int>{} << 0 << -1 << damaged + "it is 27 bytes long";
        QTest::newRow("empty") << "" << "veltra" << "" << QList<int>{} << 0 << 0 << damaged + "it is an empty file.";
        QTest::newRow("one byte") << "" << "veltra" << "" << QList<int>{} << 0 << 1
                                  << damaged + "it is 1 byte long, too short to hold a database header.";
        QTest::newRow("Jet 3 header zeroed") << "testV1997.mdb" << "Table1" << "" << QList<int>{} << 2048 << -1
                                             << damaged + "its header page is all zeros.";
        QTest::newRow("Jet 4 header zeroed, encryption key flipped") << "DateTestDatabase.mdb" << "DateTest" << ""
            << QList<int>{0x3e} << 4096 << -1 << damaged + "its header page does not carry";
        QTest::newRow("header page alone") << "testV1997.mdb" << "Table1" << "" << QList<int>{} << 0 << 2048
                                           << damaged + "it ends after 1 page, before its list of tables";
        QTest::newRow("cut within a page") << "DateTestDatabase.mdb" << "DateTest" << "" << QList<int>{} << 0 << 137216
                                           << damaged + "it is 137216 bytes long, not a whole number of its 4096-byte pages";
        QTest::newRow("cut before the table") << "testV1997.mdb" << "Table1" << "" << QList<int>{} << 0 << 59392
                                              << damaged + "page 29, the definition of table \"Table1\", lies past the end";
        QTest::newRow("cut in the list of tables") << "nwind.mdb" << "Employees" << "" << QList<int>{} << 0 << 600 * 2048
                                                   << damaged + "page 713, which holds rows of table \"MSysObjects\"";
        QTest::newRow("unknown version") << "testV1997.mdb" << "Table1" << "" << QList<int>{0x14, 0x15} << 0 << -1
                                         << damaged + "its header gives the unknown format version 259.";
        QTest::newRow("no list of tables") << "testV1997.mdb" << "Table1" << "" << QList<int>{2 * 2048} << 0 << -1
                                           << damaged + "page 2, which should define its list of tables, is not";
    }
    void refusalsNameTheFaultAndTouchNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, mapping);
        QFETCH(QList<int>, flips);
        QFETCH(int, zeroed);
        QFETCH(int, cut);
        QFETCH(QString, said);
        if (!file.isEmpty())
            REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("old.mdb"));
        QByteArray bytes = file.isEmpty() ? QByteArray("plain text, not a database\n") : Fixtures::readAll(corpus(file));
        bytes.replace(0, zeroed, QByteArray(zeroed, '\0'));
        for (int at : flips)
            bytes[at] = char(bytes[at] ^ (at == 0x14 ? 0x03 : 0x01)); // at 0x14 Jet 4's version 1 becomes 2
        if (cut >= 0)
            bytes.truncate(cut);
        Fixtures::writeAll(copy, bytes);
        QString error;
        const auto columns = JetColumns::parse(table, mapping, &error);
        QVERIFY2(columns, qPrintable(error));
        const JetConverter converter(QStringLiteral(JET_READER));
        const bool protectedFile = said.contains(QStringLiteral("encrypted")) || said.contains(QStringLiteral("password"));

        for (const JetConverter::Result &result : {converter.probe(copy, *columns), converter.convert(copy, folder.path(), *columns)}) {
            QCOMPARE(int(result.status), int(JetConverter::Status::Refused));
            QVERIFY2(result.reason.contains(said), qPrintable(result.reason));
            QVERIFY(result.reason.contains(copy));
            QCOMPARE(result.reason.contains(QStringLiteral("in Access (Tools")), protectedFile);
        }
        QCOMPARE(Fixtures::readAll(copy), bytes);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.mdb")});
    }

    void aMissingTableNamesTheFilesTables()
    {
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        const JetConverter converter(QStringLiteral(JET_READER));
        const QString nwind = corpus(QStringLiteral("nwind.mdb"));
        const JetConverter::Result result = converter.probe(nwind, JetColumns{});
        QVERIFY(result.missingTable);
        QCOMPARE(result.reason,
                 QStringLiteral("%1 has no table \"veltra\". Its tables: Categories, Customers, Employees, Order Details, "
                                "Orders, Products, Shippers, Suppliers, Umsätze. Convert one of them with its columns named, "
                                "e.g.:\n  veltra-kb --convert-jet %1 --jet-table Employees --jet-columns messnum=EmployeeID,"
                                "messauthor=LastName,messdate=BirthDate,messtitle=FirstName,message=Notes").arg(nwind));

        QString reason;
        const auto tables = converter.tables(nwind, &reason);
        QVERIFY2(tables, qPrintable(reason));
        const auto employees = std::find_if(tables->begin(), tables->end(), [](const JetTable &t) { return t.name == "Employees"; });
        QVERIFY(employees != tables->end());
        QCOMPARE(employees->columns.size(), 17);
        QVERIFY(!employees->fieldColumns().contains(QStringLiteral("Photo")));
        // A file that is refused lists nothing, and says why.
        QTemporaryDir folder;
        Fixtures::writeAll(folder.filePath(QStringLiteral("empty.mdb")), {});
        QVERIFY(!converter.tables(folder.filePath(QStringLiteral("empty.mdb")), &reason));
        QVERIFY2(reason.contains(QStringLiteral("it is an empty file")), qPrintable(reason));
    }

    void theListOfTablesIsCutAndTheExampleQuoted_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("listed"); // the end of the list
        QTest::newRow("20 named") << 20 << "T19, T20. Convert";
        QTest::newRow("21: one more") << 21 << "T19, T20 and 1 more. Convert";
        QTest::newRow("25: five more") << 25 << "T20 and 5 more. Convert";
    }
    void theListOfTablesIsCutAndTheExampleQuoted()
    {
        QFETCH(int, count);
        QFETCH(QString, listed);
        QList<JetTable> tables;
        for (int i = 1; i <= count; ++i)
            tables << JetTable{QStringLiteral("T%1").arg(i), {{QStringLiteral("Name"), JetFrame::ColumnKind::Text}}};
        tables.first().name = QStringLiteral("Old posts");
        tables.first().columns << JetTable::Column{QStringLiteral("It's"), JetFrame::ColumnKind::Memo};
        const QString text = JetConverter::missingTableText(QStringLiteral("my old.mdb"), QStringLiteral("veltra"), tables);
        QVERIFY2(text.contains(listed), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\n  veltra-kb --convert-jet 'my old.mdb' --jet-table 'Old posts' --jet-columns "
                                              "'messnum=Name,messauthor=Name,messdate=Name,messtitle=Name,message=It'\\''s'")),
                 qPrintable(text));
    }

    void fieldsTakeColumnsByNameThenKind_data()
    {
        using Kind = JetFrame::ColumnKind;
        QTest::addColumn<QList<JetTable::Column>>("columns");
        QTest::addColumn<QString>("mapping"); // empty: none suggested
        QTest::newRow("own names in any case win over kinds")
            << QList<JetTable::Column>{{"ID", Kind::Integer}, {"MessNum", Kind::Text}, {"Body", Kind::Memo}, {"MESSAGE", Kind::Text},
                                       {"messauthor", Kind::Text}, {"messdate", Kind::Text}, {"messtitle", Kind::Text}}
            << "messnum=MessNum,messauthor=messauthor,messdate=messdate,messtitle=messtitle,message=MESSAGE";
        QTest::newRow("kinds, then the columns left")
            << QList<JetTable::Column>{{"Note", Kind::Memo}, {"From", Kind::Text}, {"When", Kind::Date}, {"No", Kind::Integer},
                                       {"Price", Kind::Other}}
            << "messnum=No,messauthor=From,messdate=When,messtitle=Price,message=Note";
        QTest::newRow("binary never, a column again when too few")
            << QList<JetTable::Column>{{"Photo", Kind::Binary}, {"Name", Kind::Text}}
            << "messnum=Name,messauthor=Name,messdate=Name,messtitle=Name,message=Name";
        QTest::newRow("only binary") << QList<JetTable::Column>{{"Photo", Kind::Binary}} << "";
        QTest::newRow("no columns") << QList<JetTable::Column>{} << "";
    }
    void fieldsTakeColumnsByNameThenKind()
    {
        QFETCH(QList<JetTable::Column>, columns);
        QFETCH(QString, mapping);
        const JetTable table{QStringLiteral("T"), columns};
        const std::optional<JetColumns> suggested = table.suggestedColumns();
        QCOMPARE(suggested ? suggested->mapping() : QString(), mapping);
        if (suggested) // what is suggested is what the command line reads back
            QCOMPARE(JetColumns::parse(QStringLiteral("T"), mapping, nullptr)->columns, suggested->columns);
        QCOMPARE(JetTable::example({table}) != nullptr, !mapping.isEmpty());
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
