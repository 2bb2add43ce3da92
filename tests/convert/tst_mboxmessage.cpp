// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of an mbox entry a mail program could get wrong without Python's reader
// noticing: the dates the archive writes, "From " lines, and headers that stored texts
// could break.
#include "convert/mboxmessage.h"

#include <QRegularExpression>
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

    // What a stored author or subject may hold that must not reach a header as it is: a line
    // break starts a header of the sender's making, a NUL cuts C readers short.
    void headersCarryNoControlCharacter_data()
    {
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("from");    // as a reader decodes it
        QTest::addColumn<QString>("subject"); // the same
        QTest::newRow("CR LF starting a header") << QStringLiteral("Evil\r\nBcc: injected@evil.example")
                                                 << QStringLiteral("Hi\r\nBcc: injected@evil.example")
                                                 << QStringLiteral("\"Evil Bcc: injected@evil.example\" <unknown@invalid>")
                                                 << QStringLiteral("Hi Bcc: injected@evil.example");
        QTest::newRow("lone LF, lone CR, tabs") << QStringLiteral("Al\t\tJones <al@example.org>")
                                                << QStringLiteral("one\ntwo\rthree\t four")
                                                << QStringLiteral("\"Al Jones\" <al@example.org>")
                                                << QStringLiteral("one two three  four");
        QTest::newRow("NUL and other controls dropped") << QStringLiteral("B\x01o\x7f\x1b" "b <b@example.org>")
                                                        << QStringLiteral("cut") + QChar(0) + QString::fromUtf16(u" here\u0085then\u009b")
                                                        << QStringLiteral("\"Bob\" <b@example.org>")
                                                        << QStringLiteral("cut here then");
        QTest::newRow("a break written as a reference") << QStringLiteral("Sue&#10;Bcc: x@y.example")
                                                        << QStringLiteral("Nuts &amp; bolts&#13;&#10;Bcc: x@y.example")
                                                        << QStringLiteral("\"Sue Bcc: x@y.example\" <unknown@invalid>")
                                                        << QStringLiteral("Nuts & bolts Bcc: x@y.example");
        QTest::newRow("not ASCII, with a break") << QString::fromUtf16(u"J\u00fcrgen\r\nM\u00fcller <j@example.org>")
                                                 << QString::fromUtf16(u"Gr\u00f6\u00dfe\u2028zweite Zeile")
                                                 << QString::fromUtf16(u"J\u00fcrgen M\u00fcller <j@example.org>")
                                                 << QString::fromUtf16(u"Gr\u00f6\u00dfe zweite Zeile");
    }
    void headersCarryNoControlCharacter()
    {
        QFETCH(QString, author);
        QFETCH(QString, title);
        QFETCH(QString, from);
        QFETCH(QString, subject);
        MboxMessage::Fields fields;
        fields.messnum = 9;
        fields.messauthor = author;
        fields.messdate = QStringLiteral("Mon Mar 5, 2003\r\n1:05 am");
        fields.messtitle = title;
        const QByteArray entry = MboxMessage::format(fields);
        const QByteArray head = entry.left(entry.indexOf("\n\n"));
        for (const char c : head)
            QVERIFY2(c == '\n' || (c >= 0x20 && c < 0x7f), head.constData());
        const QStringList lines = QString::fromLatin1(head).split(u'\n');
        QCOMPARE(header(lines, "From"), from);
        QCOMPARE(header(lines, "Subject"), subject);
        QCOMPARE(header(lines, "X-Veltra-Date"), QStringLiteral("Mon Mar 5, 2003 1:05 am"));
    }

private:
    // A header's value unfolded, its RFC 2047 words (as written here: UTF-8, base64) decoded.
    static QString header(const QStringList &lines, const char *name)
    {
        const QString start = QLatin1String(name) + QStringLiteral(": ");
        QString value;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!lines[i].startsWith(start))
                continue;
            value = lines[i].mid(start.size());
            while (i + 1 < lines.size() && lines[i + 1].startsWith(u' '))
                value += lines[++i];
        }
        static const QRegularExpression word(QStringLiteral(R"(=\?UTF-8\?B\?([A-Za-z0-9+/=]*)\?=( (?==\?))?)"));
        QString decoded;
        qsizetype at = 0;
        for (auto it = word.globalMatch(value); it.hasNext();) {
            const auto m = it.next();
            decoded += value.mid(at, m.capturedStart() - at);
            decoded += QString::fromUtf8(QByteArray::fromBase64(m.captured(1).toLatin1()));
            at = m.capturedEnd();
        }
        return decoded + value.mid(at);
    }
};

QTEST_GUILESS_MAIN(TestMboxMessage)
#include "tst_mboxmessage.moc"
