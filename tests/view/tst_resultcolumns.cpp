// SPDX-License-Identifier: GPL-3.0-or-later
// The result list's date texts read for sorting, and the zoom steps of the page.
#include "base/zoomsteps.h"
#include "store/messagedate.h"

#include <QtTest>

class TestResultColumns : public QObject
{
    Q_OBJECT

private slots:
    void dateRead_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("iso"); // empty: not read
        QTest::newRow("group service") << "Mon Jan 5, 2004 3:12 pm" << "2004-01-05T15:12:00Z";
        QTest::newRow("noon is pm 12") << "Sat Jul 3, 2010 12:05 pm" << "2010-07-03T12:05:00Z";
        QTest::newRow("midnight is am 12") << "Sat Jul 3, 2010 12:05 am" << "2010-07-03T00:05:00Z";
        QTest::newRow("flagged") << "-1Mon Jan 5, 2004 3:12 PM" << "2004-01-05T15:12:00Z";
        QTest::newRow("older list server") << "2003-11-30 08:01" << "2003-11-30T08:01:00Z";
        QTest::newRow("day only") << "2003-11-30" << "2003-11-30T00:00:00Z";
        QTest::newRow("no such day") << "Mon Feb 30, 2004 3:12 pm" << "";
        QTest::newRow("hour 13 with pm") << "Mon Jan 5, 2004 13:12 pm" << "";
        QTest::newRow("unknown month") << "Mon Foo 5, 2004 3:12 pm" << "";
        QTest::newRow("free text") << "last Tuesday" << "";
        QTest::newRow("empty") << "" << "";
    }
    void dateRead()
    {
        QFETCH(QString, text);
        QFETCH(QString, iso);
        const auto read = MessageDate::read(text);
        QCOMPARE(read.has_value(), !iso.isEmpty());
        if (read)
            QCOMPARE(read->toString(Qt::ISODate), iso);
    }

    void zoomSteps_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("to");
        QTest::newRow("in from 100") << 100 << 1 << 110;
        QTest::newRow("out from 100") << 100 << -1 << 90;
        QTest::newRow("between steps, in") << 105 << 1 << 110;
        QTest::newRow("between steps, out") << 105 << -1 << 100;
        QTest::newRow("largest stays") << 500 << 1 << 500;
        QTest::newRow("smallest stays") << 25 << -1 << 25;
        QTest::newRow("beyond the largest") << 900 << -1 << 400;
    }
    void zoomSteps()
    {
        QFETCH(int, from);
        QFETCH(int, direction);
        QFETCH(int, to);
        QCOMPARE(ZoomSteps::next(from, direction), to);
    }
};

QTEST_MAIN(TestResultColumns)
#include "tst_resultcolumns.moc"
