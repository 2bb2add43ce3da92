// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the message number back from a result-list entry.
#include "results/resultline.h"

#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<qint32>)

class TestResultLine : public QObject
{
    Q_OBJECT

private slots:
    void number_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<std::optional<qint32>>("number");
        const std::optional<qint32> none;
        QTest::newRow("result line") << "1234 : [vclub] Clutch" << std::optional<qint32>(1234);
        QTest::newRow("colons in the subject") << "77 : Re: Fw: Re: brakes" << std::optional<qint32>(77);
        QTest::newRow("empty subject") << "5 : " << std::optional<qint32>(5);
        QTest::newRow("the character before the colon is dropped, blank or not")
            << "1234: x" << std::optional<qint32>(123);
        QTest::newRow("blanks inside the number are skipped") << "1 2 : x" << std::optional<qint32>(12);
        QTest::newRow("leading blanks") << "   9 : x" << std::optional<qint32>(9);
        QTest::newRow("no number") << "abc : x" << std::optional<qint32>(0);
        QTest::newRow("colon first") << ": x" << std::optional<qint32>(0);
        QTest::newRow("colon second") << "7: x" << std::optional<qint32>(0);
        QTest::newRow("no colon reads the whole line") << "42 and more" << std::optional<qint32>(42);
        QTest::newRow("empty line") << "" << std::optional<qint32>(0);
        QTest::newRow("negative") << "-5 : x" << std::optional<qint32>(-5);
        QTest::newRow("fraction rounds half to even") << "12.5 : x" << std::optional<qint32>(12);
        QTest::newRow("fraction rounds half to even, upwards") << "13.5 : x" << std::optional<qint32>(14);
        QTest::newRow("largest") << "2147483647 : x" << std::optional<qint32>(2147483647);
        QTest::newRow("too large") << "2147483648 : x" << none;
        QTest::newRow("far too large") << "1e400 : x" << none;
    }
    void number()
    {
        QFETCH(QString, line);
        QFETCH(std::optional<qint32>, number);
        QCOMPARE(ResultLine::number(line), number);
    }

    void writtenLinesReadBack_data()
    {
        QTest::addColumn<qint32>("messnum");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << 1 << "[vclub] Subject";
        QTest::newRow("subject with colons and digits") << 1234567 << "12 : 34: x";
        QTest::newRow("empty subject") << 9 << "";
        QTest::newRow("negative") << -3 << "odd";
    }
    void writtenLinesReadBack()
    {
        QFETCH(qint32, messnum);
        QFETCH(QString, title);
        const QString line = ResultLine::text(messnum, title);
        QCOMPARE(line, QString::number(messnum) + " : " + title);
        QCOMPARE(ResultLine::number(line), std::optional<qint32>(messnum));
    }
};

QTEST_GUILESS_MAIN(TestResultLine)
#include "tst_resultline.moc"
