// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window saved at the last exit opens with the screens there are now: kept where
// all of it is on them, moved wholly onto its screen where it is not, onto the main screen
// with its size where it is off every screen.
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
        QTest::newRow("a little over the edge: moved in") << QRect(-100, 80, 900, 650) << QList{one} << QRect(0, 80, 900, 650);
        QTest::newRow("scale 2, mostly on the screen: moved in, its size kept")
            << QRect(100, 60, 600, 400) << QList{doubled} << QRect(40, 50, 600, 400);
        QTest::newRow("scale 2: smaller, onto the screen")
            << QRect(300, 200, 900, 650) << QList{doubled} << QRect(0, 0, 640, 450);
        QTest::newRow("scale 2, small window mostly off: moved in") << QRect(500, 300, 400, 300) << QList{doubled}
                                                        << QRect(240, 150, 400, 300);
        QTest::newRow("its screen unplugged: its size, in the middle of the main screen")
            << QRect(1500, 100, 800, 600) << QList{one} << QRect(240, 150, 800, 600);
        QTest::newRow("off every screen, larger than the main one") << QRect(5000, 100, 3000, 600) << QList{one, right}
                                                                    << QRect(0, 150, 1280, 600);
        QTest::newRow("on the second screen, both there") << QRect(1500, 100, 800, 600) << QList{one, right}
                                                         << QRect(1500, 100, 800, 600);
        QTest::newRow("across two screens, all on them: kept")
            << QRect(1000, 100, 800, 600) << QList{one, right} << QRect(1000, 100, 800, 600);
        QTest::newRow("across two screens, its foot below the shorter: onto the one with most")
            << QRect(1000, 400, 800, 600) << QList{one, QRect(1280, 0, 1280, 1024)} << QRect(1280, 400, 800, 600);
        QTest::newRow("a mirrored screen over the first, over the edge of both: moved in")
            << QRect(600, 100, 800, 600) << QList{one, QRect(0, 0, 1024, 768)} << QRect(480, 100, 800, 600);
        QTest::newRow("mostly off to the left: moved") << QRect(-700, 100, 800, 600) << QList{one} << QRect(0, 100, 800, 600);
        QTest::newRow("title bar above the screen: moved down") << QRect(100, -10, 800, 600) << QList{one}
                                                                << QRect(100, 0, 800, 600);
        QTest::newRow("larger than the screen") << QRect(0, 0, 3000, 2000) << QList{one} << one;
        QTest::newRow("far below every screen: onto the main one") << QRect(100, 5000, 800, 600) << QList{right, one}
                                                                   << QRect(1520, 150, 800, 600);
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
