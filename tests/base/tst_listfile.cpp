// SPDX-License-Identifier: GPL-3.0-or-later
// History.txt and UrlList.txt on disk: limits, round trips, garbage and failed writes.
#include "base/listfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList numbered(int count)
{
    QStringList entries;
    for (int i = 1; i <= count; ++i)
        entries << QStringLiteral("term %1").arg(i);
    return entries;
}

}

class TestListFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void writesExactBytes()
    {
        // Entries that read back as they are keep the lines they always had; the others are
        // quoted.
        const QStringList entries{QStringLiteral("clutch"), QString(), QStringLiteral(u"café racer €"),
                                  QStringLiteral(u"Привет"), QStringLiteral("say \"hi\""), QStringLiteral("\tx\t"),
                                  QStringLiteral("red, car"), QStringLiteral(" x"), QStringLiteral("\"for the clutch\"")};
        const QByteArray bytes("clutch\r\n\r\ncaf\xe9 racer \x80\r\n??????\r\nsay \"hi\"\r\n\tx\t\r\n"
                               "\"red, car\"\r\n\" x\"\r\n\"\"\"for the clutch\"\"\"\r\n");
        QCOMPARE(ListFile::entriesToBytes(entries), bytes);
        QVERIFY(ListFile::write(path("History.txt"), entries));
        QCOMPARE(readBytes(path("History.txt")), bytes);
        QVERIFY(ListFile::write(path("Empty.txt"), {}));
        QCOMPARE(readBytes(path("Empty.txt")), QByteArray());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("read");
        QTest::newRow("25 history entries, 20 read") << numbered(25) << 20 << numbered(20);
        QTest::newRow("51 addresses, 50 read") << numbered(51) << 50 << numbered(50);
        QTest::newRow("fewer than the limit") << numbered(3) << 20 << numbered(3);
        QTest::newRow("limit zero") << numbered(3) << 0 << QStringList();
        QTest::newRow("latin-1 and specials survive")
            << QStringList{QStringLiteral(u"Grüße"), QStringLiteral(u"naïve façade"), QStringLiteral(u"€ „quoted“ ‰")}
            << 20 << QStringList{QStringLiteral(u"Grüße"), QStringLiteral(u"naïve façade"), QStringLiteral(u"€ „quoted“ ‰")};
        QTest::newRow("outside the page becomes ?") << QStringList{QStringLiteral(u"日本 car")} << 20
                                                   << QStringList{QStringLiteral("?? car")};
        QTest::newRow("a comma stays, one item") << QStringList{"red, car", "b", "c"} << 2
                                                << QStringList{"red, car", "b"};
        QTest::newRow("empty entries kept") << QStringList{"", "a", ""} << 20 << QStringList{"", "a", ""};
        // A line holds one entry: a line break inside one becomes a blank.
        QTest::newRow("line breaks become blanks") << QStringList{"two\r\nlines", "a\nb\rc", "z"} << 20
                                                  << QStringList{"two  lines", "a b c", "z"};
        // What an edited entry can become.
        const QString longEntry = QString(9998, u'w') + ", ";
        const QString longQuoted = u'"' + QString(4999, u'q') + u'"' + QString(5000, u',');
        QTest::newRow("10,000 characters") << QStringList{longEntry, longQuoted, "after"} << 20
                                          << QStringList{longEntry, longQuoted, "after"};
        QTest::newRow("outside the page, quoted") << QStringList{QStringLiteral(u"\"日本\", 𝄞")} << 20
                                                 << QStringList{QStringLiteral("\"??\", ?")};
    }
    void roundTrip()
    {
        QFETCH(QStringList, written);
        QFETCH(int, limit);
        QFETCH(QStringList, read);
        QVERIFY(ListFile::write(path("List.txt"), written));
        const auto result = ListFile::read(path("List.txt"), limit);
        QVERIFY(result.ok);
        QCOMPARE(result.items, read);
    }

    // Every entry over a small alphabet of the characters that matter to the reader, all
    // in one file, so entries also meet the reader's read boundaries.
    void everyShortEntryComesBack()
    {
        const QString alphabet = QStringLiteral(u"a ,\"\té");
        QStringList entries{QString()};
        for (qsizetype from = 0; entries.size() < 60000; ++from) {
            for (QChar c : alphabet)
                entries << entries.at(from) + c;
        }
        QVERIFY(ListFile::write(path("History.txt"), entries));
        const auto result = ListFile::read(path("History.txt"), int(entries.size()));
        QVERIFY(result.ok);
        QCOMPARE(result.items, entries);
    }

    void historyOf25KeepsTwentyOnTheNextShutDown()
    {
        QVERIFY(ListFile::write(path("History.txt"), numbered(25)));
        const auto first = ListFile::read(path("History.txt"), 20);
        QVERIFY(ListFile::write(path("History.txt"), first.items));
        QCOMPARE(readBytes(path("History.txt")), ListFile::entriesToBytes(numbered(20)));
    }

    void missingOrUnreadableFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.txt";
        QTest::newRow("folder") << "folder.txt";
    }
    void missingOrUnreadableFails()
    {
        QFETCH(QString, name);
        QDir(m_dir->path()).mkdir(QStringLiteral("folder.txt"));
        const auto result = ListFile::read(path(name), 20);
        QVERIFY(!result.ok);
        QVERIFY(result.items.isEmpty());
        QVERIFY2(result.error.contains(name), qPrintable(result.error));
    }

    void emptyFileIsReadable()
    {
        writeBytes(path("UrlList.txt"), QByteArray());
        const auto result = ListFile::read(path("UrlList.txt"), 50);
        QVERIFY(result.ok);
        QVERIFY(result.items.isEmpty());
    }

    void hugeGarbageStaysCheap_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("items");
        // Sparse: 100 MB of NUL bytes without a single line break.
        QTest::newRow("100 MB without a line break") << QByteArray("\x01\xfe binary") << qint64(100) * 1000 * 1000 << 1;
        // Lines first, then nothing but zeros: twenty items are read from the start only.
        QTest::newRow("100 MB with short lines first") << QByteArray("a\r\nb\r\n").repeated(20) << qint64(100) * 1000 * 1000
                                                      << 20;
    }
    void hugeGarbageStaysCheap()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(int, items);
        QFile f(path("History.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(head);
        QVERIFY(f.resize(size));
        f.close();
        const auto result = ListFile::read(path("History.txt"), 20);
        QVERIFY(result.ok);
        QCOMPARE(result.items.size(), items);
        for (const QString &item : result.items)
            QVERIFY(item.size() <= 64 * 1024);
    }

    void tenMegabyteLineIsCut()
    {
        QByteArray bytes = "first\r\n" + QByteArray(10 * 1024 * 1024, 'z') + "\r\nlast\r\n";
        writeBytes(path("UrlList.txt"), bytes);
        const auto result = ListFile::read(path("UrlList.txt"), 50);
        QVERIFY(result.ok);
        QCOMPARE(result.items.size(), 3);
        QCOMPARE(result.items.at(1), QString(64 * 1024, u'z'));
        QCOMPARE(result.items.at(2), QStringLiteral("last"));
    }

    void replacingIsAtomic()
    {
        QVERIFY(ListFile::write(path("UrlList.txt"), {QStringLiteral("old")}));
        QVERIFY(ListFile::write(path("UrlList.txt"), {QStringLiteral("new")}));
        QCOMPARE(readBytes(path("UrlList.txt")), QByteArray("new\r\n"));
        // No temporary file is left behind in the folder.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("UrlList.txt")});
    }

    void failedWriteNamesTheFileAndKeepsTheOld_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("needsNonRoot");
        QTest::newRow("folder under a regular file") << "plain.txt/History.txt" << false;
        QTest::newRow("a folder in the way") << "History.txt" << false;
        QTest::newRow("read-only folder") << "locked/History.txt" << true;
    }
    void failedWriteNamesTheFileAndKeepsTheOld()
    {
        QFETCH(QString, target);
        QFETCH(bool, needsNonRoot);
        if (needsNonRoot && geteuid() == 0)
            QSKIP("root can write into a read-only folder");
        QDir dir(m_dir->path());
        writeBytes(path("plain.txt"), QByteArray("kept"));
        QVERIFY(dir.mkdir(QStringLiteral("History.txt")));
        QVERIFY(dir.mkdir(QStringLiteral("locked")));
        writeBytes(path("locked/History.txt"), QByteArray("old\r\n"));
        QVERIFY(QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        QString error;
        const bool written = ListFile::write(path(target), {QStringLiteral("new")}, &error);
        QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!written);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path(target))), qPrintable(error));
        QCOMPARE(readBytes(path("plain.txt")), QByteArray("kept"));
        QVERIFY(QFileInfo(path("History.txt")).isDir());
        QCOMPARE(readBytes(path("locked/History.txt")), QByteArray("old\r\n"));
    }

    void fullDiskKeepsTheOld()
    {
        // A file size limit fails the write the way a full disk does, even for root.
        writeBytes(path("History.txt"), QByteArray("old\r\n"));
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QString error;
        const bool written = ListFile::write(path("History.txt"), QStringList(2000, QStringLiteral("entry")), &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previousHandler);
        QVERIFY(!written);
        QVERIFY2(error.contains(QStringLiteral("History.txt")), qPrintable(error));
        QCOMPARE(readBytes(path("History.txt")), QByteArray("old\r\n"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("History.txt")});
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
