// SPDX-License-Identifier: GPL-3.0-or-later
// The result list's columns: the date texts read for sorting, the zoom steps of the page,
// and the list's sorting by a column with the selected entry kept.
#include "base/zoomsteps.h"
#include "store/messagedate.h"
#include "results/resultline.h"
#include "results/resultlistwidget.h"

#include <QHeaderView>
#include <QSignalSpy>
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

    // Sorting by a column: equal keys keep number order in both directions, a quoted name
    // sorts by its first letter, undated
    // entries go after the dated ones, the selected entry stays selected without a
    // selection change, and clearing the list goes back to number order.
    void sortByColumn_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("author up") << int(ResultListWidget::AuthorColumn) << int(Qt::AscendingOrder)
                                   << QList<int>{7, 3, 9, 5};
        QTest::newRow("author down") << int(ResultListWidget::AuthorColumn) << int(Qt::DescendingOrder)
                                     << QList<int>{5, 3, 9, 7};
        QTest::newRow("date up") << int(ResultListWidget::DateColumn) << int(Qt::AscendingOrder)
                                 << QList<int>{9, 7, 5, 3};
        QTest::newRow("subject up") << int(ResultListWidget::SubjectColumn) << int(Qt::AscendingOrder)
                                    << QList<int>{9, 3, 7, 5};
        QTest::newRow("number down") << int(ResultListWidget::NumberColumn) << int(Qt::DescendingOrder)
                                     << QList<int>{9, 7, 5, 3};
    }
    void sortByColumn()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        const QHash<qint32, ResultListWidget::Details> details{
            {3, {QStringLiteral("bob"), QStringLiteral("Tue Jan 6, 2004 9:00 am")}},
            {5, {QStringLiteral("\"Zed\""), QStringLiteral("-1Mon Jan 5, 2004 3:12 pm")}},
            {7, {QStringLiteral("Anne"), QStringLiteral("2003-12-24 10:00")}},
            {9, {QStringLiteral("bob"), QStringLiteral("1999-01-01 00:00")}},
        };
        ResultListWidget list;
        int reads = 0;
        list.setDetailsSource([&](qint32 n) -> std::optional<ResultListWidget::Details> {
            ++reads;
            return details.value(n);
        });
        list.addItems({ResultLine::text(3, QStringLiteral("[vclub] brakes")), ResultLine::text(5, QStringLiteral("[vclub] wipers")),
                       ResultLine::text(7, QStringLiteral("[vclub] clutch : again")), ResultLine::text(9, QStringLiteral("[vclub] Axle"))});
        list.setCurrentRow(2); // message 7
        QSignalSpy picked(&list, &QListWidget::itemSelectionChanged);
        QSignalSpy reordered(&list, &ResultListWidget::reordered);

        list.sortEntries(column, Qt::SortOrder(order));
        QFETCH(QList<int>, numbers);
        QList<int> got;
        for (int row = 0; row < list.count(); ++row)
            got << *ResultLine::number(list.item(row)->text());
        QCOMPARE(got, numbers);
        QCOMPARE(list.currentItem()->text(), ResultLine::text(7, QStringLiteral("[vclub] clutch : again")));
        QCOMPARE(picked.count(), 0);
        QCOMPARE(reordered.count(), 1);
        QCOMPARE(reordered.first().first().toInt(), list.currentRow());
        QVERIFY(reads <= 4); // each message's details read once

        list.clear();
        QCOMPARE(list.sortColumn(), int(ResultListWidget::NumberColumn));
        QCOMPARE(list.sortOrder(), Qt::AscendingOrder);
    }

    void columnTexts()
    {
        const QString line = ResultLine::text(12, QStringLiteral("[vclub] a : b"));
        QCOMPARE(ResultListWidget::numberText(line), QStringLiteral("12"));
        QCOMPARE(ResultListWidget::subjectText(line), QStringLiteral("[vclub] a : b"));
    }
};

QTEST_MAIN(TestResultColumns)
#include "tst_resultcolumns.moc"
