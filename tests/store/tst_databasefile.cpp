// SPDX-License-Identifier: GPL-3.0-or-later
// What opening a message database file makes of each kind of file, and the name the
// message table goes by when it is found.
#include "fixtures.h"
#include "store/databasefile.h"
#include "store/sqlitedb.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

using Status = DatabaseFile::Status;

namespace {

// The bytes of a new SQLite file after running sql on it.
QByteArray sqliteFile(const char *sql)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("made.db"));
    {
        SqliteDb db;
        if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) || !db.exec(sql))
            return {};
    }
    return Fixtures::readAll(path);
}

constexpr char kMessageTable[] = "CREATE TABLE Veltra(id INTEGER PRIMARY KEY, messnum INTEGER, messauthor TEXT,"
                                 " messdate TEXT, messtitle TEXT, message TEXT)";

} // namespace

class TestDatabaseFile final : public QObject
{
    Q_OBJECT

private slots:
    void open_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("said"); // in the reason; for Ok, the table's name

        // Page 1's b-tree, past the file header, written over: the schema cannot be read.
        QByteArray damaged = sqliteFile(kMessageTable);
        damaged.replace(100, 400, QByteArray("garbage!").repeated(50));

        QTest::newRow("missing") << QByteArray() << Status::Missing << "does not exist";
        QTest::newRow("empty file") << QByteArray("") << Status::NotADatabase << "empty file";
        QTest::newRow("not a database") << QByteArray("From: someone\r\n") << Status::NotADatabase << "not an SQLite file";
        QTest::newRow("Jet file") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\x5a')
                                  << Status::NotADatabase << "Microsoft Access (Jet)";
        QTest::newRow("no table") << sqliteFile("CREATE TABLE other(x)") << Status::NoTable << "holds no table";
        QTest::newRow("wrong columns")
            << sqliteFile("CREATE TABLE veltra(messnum, messauthor, messdate, messtitle, body)") << Status::NoTable
            << "lacks the field(s) message";
        QTest::newRow("damaged") << damaged << Status::Damaged << "malformed";
        QTest::newRow("ok, named in capitals") << sqliteFile(kMessageTable) << Status::Ok << "Veltra";
    }

    void open()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Status, status);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
        if (!bytes.isNull())
            Fixtures::writeAll(path, bytes);

        DatabaseFile file(path);
        SqliteDb db;
        QCOMPARE(file.open(db, QStringLiteral("veltra")), status);
        if (status == Status::Ok) {
            QCOMPARE(file.tableName(), said);
            QCOMPARE(file.quotedTable(), '"' + said.toUtf8() + '"');
        } else {
            QVERIFY2(file.reason().contains(said), qPrintable(file.reason()));
        }
    }
};

QTEST_GUILESS_MAIN(TestDatabaseFile)
#include "tst_databasefile.moc"
