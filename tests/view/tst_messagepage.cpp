// SPDX-License-Identifier: GPL-3.0-or-later
// The message page bytes, the deletion flag as shown, and replacing the page file.
#include "fixtures.h"
#include "view/messagepage.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(MessageRecord)

namespace {

MessageRecord record(qint32 messnum, const QString &author, const QString &date, const QString &title,
                     const QString &body)
{
    return MessageRecord{messnum, author, date, title, body};
}

}

class TestMessagePage : public QObject
{
    Q_OBJECT

private slots:
    void pageBytes_data()
    {
        QTest::addColumn<MessageRecord>("record");
        QTest::addColumn<QByteArray>("page");

        QTest::newRow("flagged message shows its date alone")
            << record(1234, "Jan Smith <jan@example.org>", "-1Mon Mar 3, 2003 10:07 am", "[vclub] Clutch cable",
                      "<tt>The cable snapped.</tt>")
            << QByteArray("Message Number: 1234<br>\r\n"
                          "From: Jan Smith <jan@example.org><br>\r\n"
                          "Mon Mar 3, 2003 10:07 am<br>\r\n"
                          "[vclub] Clutch cable<br><br>\r\n"
                          "<tt>The cable snapped.</tt>\r\n");
        QTest::newRow("markup in subject and body is written as markup")
            << record(7, "A & B", "Tue Apr 1, 2003 9:00 pm", "[vclub] <b>Big</b> &amp; <i>bold</i>",
                      "<p>See <a href=\"http://example.org/?a=1&b=2\">this</a></p>\n<script>alert(1)</script>\r\nend")
            << QByteArray("Message Number: 7<br>\r\n"
                          "From: A & B<br>\r\n"
                          "Tue Apr 1, 2003 9:00 pm<br>\r\n"
                          "[vclub] <b>Big</b> &amp; <i>bold</i><br><br>\r\n"
                          "<p>See <a href=\"http://example.org/?a=1&b=2\">this</a></p>\n<script>alert(1)</script>\r\nend\r\n");
        QTest::newRow("characters outside the code page become references")
            << record(42, QStringLiteral("Ren\u00e9 \u0141ukasz"), QStringLiteral("Wed \u20ac 5"),
                      QStringLiteral("[vclub] Snow \u2603 and \U0001F697"), QStringLiteral("caf\u00e9 \u2014 \u4e2d"))
            << QByteArray("Message Number: 42<br>\r\n"
                          "From: Ren\xe9 &#321;ukasz<br>\r\n"
                          "Wed \x80 5<br>\r\n"
                          "[vclub] Snow &#9731; and &#128663;<br><br>\r\n"
                          "caf\xe9 \x97 &#20013;\r\n");
        QTest::newRow("empty fields keep all five lines")
            << record(0, QString(), QString(), QString(), QString())
            << QByteArray("Message Number: 0<br>\r\nFrom: <br>\r\n<br>\r\n<br><br>\r\n\r\n");
        QTest::newRow("a date that is only the flag")
            << record(-5, "x", "-1", "t", "b")
            << QByteArray("Message Number: -5<br>\r\nFrom: x<br>\r\n<br>\r\nt<br><br>\r\nb\r\n");
    }
    void pageBytes()
    {
        QFETCH(MessageRecord, record);
        QFETCH(QByteArray, page);
        QCOMPARE(MessagePage::render(record), page);
    }

    void deletionFlag_data()
    {
        QTest::addColumn<QString>("messdate");
        QTest::addColumn<bool>("flagged");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Mon Mar 3, 2003" << false << "Mon Mar 3, 2003";
        QTest::newRow("flagged") << "-1Mon Mar 3, 2003" << true << "Mon Mar 3, 2003";
        QTest::newRow("flag only") << "-1" << true << "";
        QTest::newRow("flag after a blank") << " -1Mon" << false << " -1Mon";
        QTest::newRow("-1 inside the date") << "Mon Mar 3, 2003 -1" << false << "Mon Mar 3, 2003 -1";
        QTest::newRow("one flag removed, a second kept") << "-1-1Mon" << true << "-1Mon";
        QTest::newRow("a lone minus") << "-Mon" << false << "-Mon";
        QTest::newRow("empty") << "" << false << "";
    }
    void deletionFlag()
    {
        QFETCH(QString, messdate);
        QFETCH(bool, flagged);
        QFETCH(QString, shown);
        QCOMPARE(MessagePage::isFlagged(messdate), flagged);
        QCOMPARE(MessagePage::dateWithoutFlag(messdate), shown);
    }

    void writeReplacesTheWholeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tempfile.htm");
        Fixtures::writeAll(path, QByteArray(10000, 'x'));
        const QByteArray page = MessagePage::render(record(1, "a", "d", "t", "b"));
        QString error;
        QVERIFY2(MessagePage::write(path, page, &error), qPrintable(error));
        QCOMPARE(Fixtures::readAll(path), page);
    }

    void failedWriteNamesTheFileAndLeavesItAlone()
    {
        QTemporaryDir dir;
        // A folder where the page should be: the write fails for any user.
        const QString path = dir.filePath("tempfile.htm");
        QVERIFY(QDir(dir.path()).mkdir("tempfile.htm"));
        QString error;
        QVERIFY(!MessagePage::write(path, "page", &error));
        QVERIFY2(error.contains("tempfile.htm"), qPrintable(error));
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"tempfile.htm"});
    }
};

QTEST_GUILESS_MAIN(TestMessagePage)
#include "tst_messagepage.moc"
