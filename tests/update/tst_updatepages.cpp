// SPDX-License-Identifier: GPL-3.0-or-later
// The update server's addresses and pages as the updater reads them, and the time of
// the "Updated " status text.
#include "base/cp1252.h"
#include "update/lastmessagepage.h"
#include "update/statustime.h"
#include "update/updateaddress.h"
#include "update/updatepageparser.h"
#include "testenv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

class TestUpdatePages final : public QObject
{
    Q_OBJECT

private slots:
    void pageAddress_data();
    void pageAddress();
    void lastMessageAddress();
    void parse_data();
    void parse();
    void refusesPage_data();
    void refusesPage();
    void keepsBytesUndefinedInCp1252();
    void realMailBodiesPassUnchanged();
    void newestNumber_data();
    void newestNumber();
    void statusTime_data();
    void statusTime();
};

void TestUpdatePages::pageAddress_data()
{
    QTest::addColumn<int>("messnum");
    QTest::addColumn<QString>("url");
    const struct { int n; const char *url; } rows[] = {
        {7, "http://h:81/dbupdate/7/msg7.htm"},
        {12345, "http://h:81/dbupdate/123/msg12345.htm"},
        {12399, "http://h:81/dbupdate/123/msg12399.htm"},
        {12400, "http://h:81/dbupdate/124/msg12400.htm"},
        {99999, "http://h:81/dbupdate/999/msg99999.htm"},
        {100000, "http://h:81/dbupdate/1000/msg100000.htm"},
        {123456, "http://h:81/dbupdate/1234/msg123456.htm"},
    };
    for (const auto &r : rows)
        QTest::addRow("%d", r.n) << r.n << QString::fromLatin1(r.url);
}

void TestUpdatePages::pageAddress()
{
    QFETCH(int, messnum);
    QFETCH(QString, url);
    QCOMPARE(UpdateAddress::pageUrl(QStringLiteral("http://h:81"), messnum).toString(), url);
}

void TestUpdatePages::lastMessageAddress()
{
    QCOMPARE(UpdateAddress::lastMessageUrl(QStringLiteral("https://update.example")).toString(),
             QStringLiteral("https://update.example/dbupdate/lastmessage.html"));
}

void TestUpdatePages::parse_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("fields"); // author, date, subject, body

    QTest::newRow("archive page")
        << QStringLiteral("Ann &lt;a@x&gt;<br>\r\nMon&nbsp;Mar&nbsp;3,&nbsp;2003 10:05&nbsp;am<br>\r\n"
                          "[vclub] Points<br>\r\n<hr>\r\n<tt>Hello<br>\r\nthere")
        << QStringList{"Ann &lt;a@x&gt;", "Mon Mar 3, 2003 10:05 am", "[vclub] Points", "Hello<br>\r\nthere"};
    QTest::newRow("&quot; everywhere, &nbsp; kept outside the date")
        << QStringLiteral("&quot;Bo&quot;<br>\r\nMay&nbsp;1<br>\r\nRe: &quot;hot&quot;&nbsp;start<br>\r\n"
                          "<tt>say &quot;hi&quot;&nbsp;now")
        << QStringList{"\"Bo\"", "May 1", "Re: \"hot\"&nbsp;start", "say \"hi\"&nbsp;now"};
    QTest::newRow("any two characters are skipped after <br>")
        << QStringLiteral("a<br>XYdate<br>..subject<br><tt>b")
        << QStringList{"a", "date", "subject", "b"};
    QTest::newRow("body from the first <tt> after the subject's start")
        << QStringLiteral("<tt>a<br>\r\nd<tt><br>\r\ns<br>\r\n<pre><tt>one<tt>two")
        << QStringList{"<tt>a", "d<tt>", "s", "one<tt>two"};
    QTest::newRow("a <tt> inside the subject starts the body")
        << QStringLiteral("a<br>\r\nd<br>\r\nsee <tt>x</tt><br>\r\n<tt>b")
        << QStringList{"a", "d", "see <tt>x</tt>", "x</tt><br>\r\n<tt>b"};
    QTest::newRow("markers are case-sensitive")
        << QStringLiteral("a<BR>b<br>\r\nd<br>\r\ns<TT><br>\r\n<tt>")
        << QStringList{"a<BR>b", "d", "s<TT>", ""};
}

void TestUpdatePages::parse()
{
    QFETCH(QString, page);
    QFETCH(QStringList, fields);
    QString problem;
    const auto record = UpdatePageParser::parse(page, 4711, &problem);
    QVERIFY2(record, qPrintable(problem));
    QCOMPARE(record->messnum, 4711);
    QCOMPARE((QStringList{record->messauthor, record->messdate, record->messtitle, record->message}), fields);
}

void TestUpdatePages::refusesPage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an error page") << QByteArray("<html><body>404 Not Found</body></html>");
    QTest::newRow("no date end") << QByteArray("a<br>\r\nMon Mar 3");
    QTest::newRow("ends in the skipped characters") << QByteArray("a<br>\r");
    QTest::newRow("no subject end") << QByteArray("a<br>\r\nd<br>\r\nsubject <tt>body");
    QTest::newRow("no <tt>") << QByteArray("a<br>\r\nd<br>\r\ns<br>\r\nbody");
    QTest::newRow("<tt> only before the subject") << QByteArray("<tt>a<br>\r\nd<br>\r\ns<br>\r\nbody");
    QTest::newRow("NUL byte") << QByteArray("a<br>\r\nd<br>\r\ns<br>\r\n<tt>b") + '\0' + "dy";
}

void TestUpdatePages::refusesPage()
{
    QFETCH(QByteArray, bytes);
    QString problem;
    QVERIFY(!UpdatePageParser::parseBytes(bytes, 1, &problem));
    QVERIFY(!problem.isEmpty());
}

void TestUpdatePages::keepsBytesUndefinedInCp1252()
{
    // UTF-8 mail: the closing quote E2 80 9D and the A with acute C3 81 end in bytes that
    // Windows-1252 leaves undefined. The message is stored, and written back byte for byte.
    const QByteArray body = "he said \xe2\x80\x9cyes\xe2\x80\x9d \xc3\x81rpad";
    const auto record = UpdatePageParser::parseBytes("a\x9d<br>\r\nd<br>\r\ns<br>\r\n<tt>" + body, 7);
    QVERIFY(record);
    QCOMPARE(record->messauthor, QStringLiteral("a\u009d"));
    QCOMPARE(Cp1252::encode(record->message), body);
}

void TestUpdatePages::realMailBodiesPassUnchanged()
{
    // Real messages as bodies: whatever they hold after the page's <tt> comes back as it was.
    REQUIRE_OR_SKIP(TestEnv::missingCorpus());
    const QString corpus = TestEnv::corpusDir();
    QDirIterator it(QDir(corpus).filePath(QStringLiteral("realmail")), {QStringLiteral("*.eml")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray body = file.readAll().replace("&quot;", "\"");
        QByteArray page = "Someone<br>\r\nMon&nbsp;Mar&nbsp;3<br>\r\nSubject<br>\r\n<hr><tt>" + body;
        QString problem;
        const auto record = UpdatePageParser::parseBytes(page, 1, &problem);
        if (body.contains('\0')) {
            QVERIFY(!record);
            continue;
        }
        QVERIFY2(record, qPrintable(it.filePath() + QStringLiteral(": ") + problem));
        QCOMPARE(Cp1252::encode(record->message), body);
        ++checked;
    }
    QVERIFY(checked > 0);
}

void TestUpdatePages::newestNumber_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<int>("number"); // -1: refused
    QTest::addColumn<QString>("line"); // or, when refused, a part of why
    QTest::newRow("CR LF") << QByteArray("12400\r\n<html>") << 12400 << "12400";
    QTest::newRow("LF only") << QByteArray("12400\n99999") << 12400 << "12400";
    QTest::newRow("no line break") << QByteArray("3000") << 3000 << "3000";
    QTest::newRow("blanks around") << QByteArray("  12400 \r\n") << 12400 << "12400";
    QTest::newRow("whole part") << QByteArray("12400.9\r\n") << 12400 << "12400.9";
    QTest::newRow("zero") << QByteArray("0\r\n") << 0 << "0";
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647 << "2147483647";
    const QString noNumber = QStringLiteral("gives no message number");
    QTest::newRow("too large") << QByteArray("2147483648") << -1 << "number 2147483648 is larger";
    QTest::newRow("far too large") << QByteArray("99999999999999999999999") << -1 << "99999999999999999999999 is larger";
    QTest::newRow("empty") << QByteArray() << -1 << noNumber;
    QTest::newRow("error page") << QByteArray("<html>Not found</html>\r\n") << -1 << noNumber;
    QTest::newRow("number then text") << QByteArray("12400 messages\r\n") << -1 << noNumber;
    QTest::newRow("negative") << QByteArray("-5\r\n") << -1 << noNumber;
    QTest::newRow("number on the second line") << QByteArray("\r\n12400\r\n") << -1 << noNumber;
}

void TestUpdatePages::newestNumber()
{
    QFETCH(QByteArray, page);
    QFETCH(int, number);
    QFETCH(QString, line);
    QString problem;
    const auto newest = LastMessagePage::read(page, &problem);
    if (number < 0) {
        QVERIFY(!newest);
        QVERIFY2(problem.contains(line), qPrintable(problem));
        return;
    }
    QVERIFY(newest);
    QCOMPARE(newest->number, number);
    QCOMPARE(newest->line, line);
}

void TestUpdatePages::statusTime_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("after midnight") << QDateTime(QDate(2003, 3, 4), QTime(0, 5, 59)) << "12:05AM 3/4/03";
    QTest::newRow("afternoon") << QDateTime(QDate(2009, 11, 23), QTime(13, 7)) << "1:07PM 11/23/09";
    QTest::newRow("noon") << QDateTime(QDate(2010, 1, 1), QTime(12, 0)) << "12:00PM 1/1/10";
    QTest::newRow("last minute of the day") << QDateTime(QDate(1999, 12, 31), QTime(23, 59)) << "11:59PM 12/31/99";
    QTest::newRow("year 2000") << QDateTime(QDate(2000, 2, 9), QTime(9, 30)) << "9:30AM 2/9/00";
}

void TestUpdatePages::statusTime()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(StatusTime::format(time), text);
}

QTEST_GUILESS_MAIN(TestUpdatePages)
#include "tst_updatepages.moc"
