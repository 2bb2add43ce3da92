// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of an mbox entry a mail program could get wrong without Python's reader
// noticing: the dates the archive writes and "From " lines. Headers that stored texts could
// break are read back by Python's and mutt's readers (mbox_readback.py).
#include "convert/mboxmessage.h"

#include <QTest>

class TestMboxMessage : public QObject
{
    Q_OBJECT

private slots:
    void archiveDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("when"); // ISO, empty when not a date
        QTest::newRow("spelled, am") << "Mon Mar 5, 2003 1:05 am" << "2003-03-05T01:05:00";
        QTest::newRow("12 am is midnight") << "Sat Jan 1, 2000 12:00 am" << "2000-01-01T00:00:00";
        QTest::newRow("12 pm is noon") << "Wed Feb 29, 2012 12:30 PM" << "2012-02-29T12:30:00";
        QTest::newRow("without weekday") << "Mar 5 2003 23:59" << "2003-03-05T23:59:00";
        QTest::newRow("ISO with seconds") << "2021-12-02 00:00:07" << "2021-12-02T00:00:07";
        QTest::newRow("ISO without seconds") << "2003-03-05 13:05" << "2003-03-05T13:05:00";
        QTest::newRow("no such day") << "Fri Feb 30, 2001 1:00 pm" << "";
        QTest::newRow("13 pm") << "Mon Mar 5, 2003 13:05 pm" << "";
        QTest::newRow("words") << "some time last week" << "";
        QTest::newRow("empty") << "" << "";
    }
    void archiveDates()
    {
        QFETCH(QString, text);
        QFETCH(QString, when);
        const auto parsed = MboxMessage::parseDate(text);
        QCOMPARE(parsed ? parsed->toString(Qt::ISODate).remove(QLatin1Char('Z')) : QString(), when);
    }

    void fromLinesAreQuotedAndPartsStayApart()
    {
        MboxMessage::Fields fields;
        fields.messnum = 7;
        fields.messauthor = QStringLiteral("a");
        fields.messdate = QStringLiteral("-1Mon Mar 5, 2003 1:05 am");
        fields.messtitle = QStringLiteral("two\nFrom lines");
        const QByteArray body("From the start<br>\n>From quoted\n--=_veltra\n");
        fields.message = body;
        const QByteArray entry = MboxMessage::format(fields);
        QVERIFY(entry.startsWith("From veltra-kb Wed Mar  5 01:05:00 2003\n"));
        QVERIFY(entry.endsWith("--=_veltra--\n\n"));
        const QList<QByteArray> lines = entry.split('\n');
        QCOMPARE(lines.count("--=_veltra"), 2);
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY2(!lines[i].startsWith("From "), lines[i].constData());
        QVERIFY(lines.contains(">From the start"));
        QVERIFY(lines.contains(">>From quoted"));
        QVERIFY(lines.contains("Date: Wed, 05 Mar 2003 01:05:00 -0000"));
        QVERIFY(lines.contains("X-Veltra-Date: -1Mon Mar 5, 2003 1:05 am"));
        for (const QByteArray &line : lines)
            QVERIFY2(line.size() <= 78, line.constData());
    }
};

QTEST_GUILESS_MAIN(TestMboxMessage)
#include "tst_mboxmessage.moc"
