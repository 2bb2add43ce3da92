// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasewriter.h"
#include "messagegenerator.h"

#include "store/recordset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<MessageRecord> readAll(const QString &path, QString *error)
{
    QList<MessageRecord> records;
    Recordset::OpenResult opened = Recordset::open(path);
    if (opened.status != Recordset::OpenStatus::Ok) {
        *error = opened.reason;
        return records;
    }
    Recordset &rs = *opened.recordset;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        MessageRecord r;
        if (!rs.current(&r)) {
            *error = rs.lastError();
            break;
        }
        records.append(r);
    }
    return records;
}

bool write(const QString &path, const QList<MessageRecord> &records, bool replace, QString *error)
{
    DatabaseWriter writer;
    bool ok = writer.begin(path, replace);
    for (qsizetype i = 0; ok && i < records.size(); ++i)
        ok = writer.add(records[i]);
    ok = ok && writer.finish();
    if (!ok)
        *error = writer.lastError();
    return ok;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDatabaseWriter final : public QObject
{
    Q_OBJECT

private slots:
    void writtenDatabaseReadsBack();
    void refusesExistingFileWithoutReplace();
    void replacesExistingDatabase();
    void abandonedWriteLeavesNothingBehind();
    void abandonedReplaceKeepsTheOldFile();
};

void TestDatabaseWriter::writtenDatabaseReadsBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    const QList<MessageRecord> records = MessageGenerator::generate(4, 400);
    QString error;
    QVERIFY2(write(path, records, false, &error), qPrintable(error));

    const QList<MessageRecord> stored = readAll(path, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(stored.size(), records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        QCOMPARE(stored[i].messnum, records[i].messnum);
        QCOMPARE(stored[i].messauthor, records[i].messauthor);
        QCOMPARE(stored[i].messdate, records[i].messdate);
        QCOMPARE(stored[i].messtitle, records[i].messtitle);
        QCOMPARE(stored[i].message, records[i].message);
    }
    // Only the database itself: the scratch file is gone.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("veltra.mdb")});
}

void TestDatabaseWriter::refusesExistingFileWithoutReplace()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    DatabaseWriter writer;
    QVERIFY(!writer.begin(path, false));
    QVERIFY(writer.lastError().contains(QStringLiteral("exists")));
    QCOMPARE(contents(path), QByteArray("keep me"));
    QVERIFY(!writer.begin(dir.path(), true));
}

void TestDatabaseWriter::replacesExistingDatabase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QString error;
    QVERIFY2(write(path, MessageGenerator::generate(1, 50), false, &error), qPrintable(error));
    const QList<MessageRecord> replacement = MessageGenerator::generate(2, 20);
    QVERIFY2(write(path, replacement, true, &error), qPrintable(error));
    const QList<MessageRecord> stored = readAll(path, &error);
    QCOMPARE(stored.size(), replacement.size());
    QCOMPARE(stored.last().message, replacement.last().message);
}

void TestDatabaseWriter::abandonedWriteLeavesNothingBehind()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    {
        DatabaseWriter writer;
        QVERIFY(writer.begin(path, false));
        for (const MessageRecord &r : MessageGenerator::generate(1, 10))
            QVERIFY(writer.add(r));
    }
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestDatabaseWriter::abandonedReplaceKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
    QString error;
    QVERIFY2(write(path, MessageGenerator::generate(1, 30), false, &error), qPrintable(error));
    const QByteArray before = contents(path);
    {
        DatabaseWriter writer;
        QVERIFY(writer.begin(path, true));
        QVERIFY(writer.add(MessageGenerator::generate(2, 1).first()));
    }
    QCOMPARE(contents(path), before);
}

QTEST_APPLESS_MAIN(TestDatabaseWriter)
#include "tst_databasewriter.moc"
