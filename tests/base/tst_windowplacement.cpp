// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window saved at the last exit opens with the screens there are now: kept where
// it can be reached, moved onto its screen where it cannot, refused off every screen.
#include "base/windowplacement.h"

#include <QtTest>

class TestWindowPlacement final : public QObject
{
    Q_OBJECT

private slots:
    void fitted_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("expected");
        const QRect one(0, 0, 1280, 900);
        const QRect right(1280, 0, 1280, 900);
        // The same screen at a scale factor of 2, in device-independent pixels.
        const QRect doubled(0, 0, 640, 450);
        QTest::newRow("on its screen: kept") << QRect(100, 80, 900, 650) << QList{one} << QRect(100, 80, 900, 650);
        QTest::newRow("a little over the edge: kept") << QRect(-100, 80, 900, 650) << QList{one} << QRect(-100, 80, 900, 650);
        QTest::newRow("scale 2: smaller, onto the screen")
            << QRect(300, 200, 900, 650) << QList{doubled} << QRect(0, 0, 640, 450);
        QTest::newRow("scale 2, small window mostly off: moved in") << QRect(500, 300, 400, 300) << QList{doubled}
                                                        << QRect(240, 150, 400, 300);
        QTest::newRow("its screen unplugged: off every screen") << QRect(1500, 100, 800, 600) << QList{one} << QRect();
        QTest::newRow("on the second screen, both there") << QRect(1500, 100, 800, 600) << QList{one, right}
                                                         << QRect(1500, 100, 800, 600);
        QTest::newRow("across two screens: kept on the one with most")
            << QRect(1000, 100, 800, 600) << QList{one, right} << QRect(1000, 100, 800, 600);
        QTest::newRow("mostly off to the left: moved") << QRect(-700, 100, 800, 600) << QList{one} << QRect(0, 100, 800, 600);
        QTest::newRow("title bar above the screen: moved down") << QRect(100, -10, 800, 600) << QList{one}
                                                                << QRect(100, 0, 800, 600);
        QTest::newRow("larger than the screen") << QRect(0, 0, 3000, 2000) << QList{one} << one;
        QTest::newRow("far below every screen") << QRect(100, 5000, 800, 600) << QList{one, right} << QRect();
        QTest::newRow("no size") << QRect(100, 100, 0, 0) << QList{one} << QRect();
        QTest::newRow("no screens known: as saved") << QRect(5000, 5000, 800, 600) << QList<QRect>()
                                                   << QRect(5000, 5000, 800, 600);
    }
    void fitted()
    {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, expected);
        QCOMPARE(WindowPlacement::fitted(saved, screens), expected);
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
