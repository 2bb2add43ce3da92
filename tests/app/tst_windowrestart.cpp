// SPDX-License-Identifier: GPL-3.0-or-later
// The window's place through a real restart: tray_child left at one scale factor on some
// screens, then started again at another scale or with a screen gone, must come back
// wholly on a screen, its size kept where it fits, maximised where it was, and the message
// keeping a third of the window whatever share the browser panel was saved with.
#include "commandchild.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QRect toRect(const QString &text)
{
    const QStringList n = text.split(QLatin1Char(','));
    return n.size() == 4 ? QRect(n.at(0).toInt(), n.at(1).toInt(), n.at(2).toInt(), n.at(3).toInt()) : QRect();
}

// The offscreen platform's screens, in device pixels, without window frames, so the
// window's outer rect is the one it is placed by.
QString writeScreens(const QString &file, const QList<QRect> &screens)
{
    QJsonArray list;
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QRect &r = screens.at(i);
        list.append(QJsonObject{{"name", QStringLiteral("Screen%1").arg(i)},
                                {"x", r.x()},
                                {"y", r.y()},
                                {"width", r.width()},
                                {"height", r.height()},
                                {"logicalDpi", 96},
                                {"logicalBaseDpi", 96},
                                {"dpr", 1}});
    }
    const QJsonObject config{{"synchronousWindowSystem", true}, {"windowFrameMargins", false}, {"screens", list}};
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(config).toJson()) < 0)
        return {};
    return file;
}

QProcessEnvironment environment(const QString &screensFile, int scale)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR_ROUNDING_POLICY",
                             "QT_USE_PHYSICAL_DPI", "QT_FONT_DPI"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + screensFile);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
    return env;
}

}

class TestWindowRestart final : public QObject
{
    Q_OBJECT

private slots:
    void comesBackOnScreen_data();
    void comesBackOnScreen();
};

void TestWindowRestart::comesBackOnScreen_data()
{
    QTest::addColumn<QList<QRect>>("screensBefore"); // device pixels
    QTest::addColumn<int>("scaleBefore");
    QTest::addColumn<QRect>("placed"); // the frame's corner and inner size, device-independent
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<QList<QRect>>("screensAfter");
    QTest::addColumn<int>("scaleAfter");
    QTest::addColumn<QSize>("size"); // the normal size it must come back with

    const QList<QRect> large{QRect(0, 0, 2560, 1600)};
    const QList<QRect> laptop{QRect(0, 0, 1280, 800)};
    // At a scale of 2 the large screen is 1280 by 800 device-independent pixels.
    QTest::newRow("scale 1 to 2, over the right edge: moved in, same size")
        << large << 1 << QRect(300, 150, 1000, 600) << false << large << 2 << QSize(1000, 600);
    QTest::newRow("scale 1 to 2, larger than the screen: made to fit")
        << large << 1 << QRect(100, 100, 2000, 1200) << false << large << 2 << QSize(1280, 800);
    QTest::newRow("scale 1 to 2, maximised: maximised again")
        << large << 1 << QRect(200, 150, 900, 600) << true << large << 2 << QSize(900, 600);
    QTest::newRow("a large screen, then a small one")
        << QList{QRect(0, 0, 2560, 1440)} << 1 << QRect(1600, 800, 800, 500) << false << laptop << 1 << QSize(800, 500);
    QTest::newRow("a large screen, then a small one at scale 2: as large as it")
        << QList{QRect(0, 0, 2560, 1440)} << 1 << QRect(1600, 800, 800, 500) << false << laptop << 2 << QSize(640, 400);
    QTest::newRow("two screens, the second unplugged")
        << QList{laptop.front(), QRect(1280, 0, 1920, 1080)} << 1 << QRect(1500, 200, 900, 700) << false << laptop << 1
        << QSize(900, 700);
}

void TestWindowRestart::comesBackOnScreen()
{
    QFETCH(QList<QRect>, screensBefore);
    QFETCH(int, scaleBefore);
    QFETCH(QRect, placed);
    QFETCH(bool, maximised);
    QFETCH(QList<QRect>, screensAfter);
    QFETCH(int, scaleAfter);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    {
        CommandChild child;
        const QString screens = writeScreens(dir.filePath(QStringLiteral("before.json")), screensBefore);
        QVERIFY(!screens.isEmpty());
        QVERIFY(child.start(QStringLiteral(TRAY_CHILD_PATH), dir.path(), environment(screens, scaleBefore)));
        QCOMPARE(child.ask(QStringLiteral("place %1 %2 %3 %4").arg(placed.x()).arg(placed.y()).arg(placed.width())
                               .arg(placed.height())),
                 QStringLiteral("ok"));
        // Where it was put before the exit, so the restart is what moves it.
        QCOMPARE(toRect(child.askPairs(QStringLiteral("geometry")).value("frame")), placed);
        if (maximised) {
            QCOMPARE(child.ask(QStringLiteral("maximize")), QStringLiteral("ok"));
            QVERIFY(QTest::qWaitFor([&] { return child.askPairs(QStringLiteral("geometry")).value("maximized") == "1"; },
                                    5000));
        }
        QCOMPARE(child.ask(QStringLiteral("exit")), QStringLiteral("ok"));
        QCOMPARE(child.readLine(), QStringLiteral("ended"));
        QVERIFY(child.process().waitForFinished(10000));
        QCOMPARE(child.process().exitCode(), 0);
    }

    // The browser panel as low as a share can put it: the message must still keep a third.
    QFile preferences(dir.filePath(QStringLiteral("Preferences.ini")));
    QVERIFY(preferences.open(QIODevice::ReadWrite));
    QString text = QString::fromLatin1(preferences.readAll());
    QVERIFY(text.contains(QLatin1String("\nPanelShare=")));
    text.replace(QRegularExpression(QStringLiteral("\nPanelShare=[^\r\n]*")), QStringLiteral("\nPanelShare=0.95"));
    QVERIFY(preferences.resize(0) && preferences.seek(0) && preferences.write(text.toLatin1()) == text.size());
    preferences.close();

    CommandChild child;
    const QString screens = writeScreens(dir.filePath(QStringLiteral("after.json")), screensAfter);
    QVERIFY(!screens.isEmpty());
    QVERIFY(child.start(QStringLiteral(TRAY_CHILD_PATH), dir.path(), environment(screens, scaleAfter)));
    const auto g = child.askPairs(QStringLiteral("geometry"));
    QStringList pairs;
    for (auto it = g.cbegin(); it != g.cend(); ++it)
        pairs << it.key() + QLatin1Char('=') + it.value();
    const QString seen = pairs.join(QLatin1Char(' '));
    QCOMPARE(g.value("scale").toDouble(), double(scaleAfter));
    const QRect available = toRect(g.value("available"));
    QVERIFY2(!available.isEmpty(), qPrintable(seen));
    QVERIFY2(available.contains(toRect(g.value("frame"))), qPrintable(seen));
    QCOMPARE(g.value("maximized"), maximised ? QStringLiteral("1") : QStringLiteral("0"));
    // A maximised window returns to this size, on the screen, when it is restored.
    const QRect normal = toRect(g.value("normal"));
    QVERIFY2(available.contains(normal), qPrintable(seen));
    QCOMPARE(normal.size(), size);
    QVERIFY2(3 * g.value("message").toInt() >= g.value("central").toInt() - 3, qPrintable(seen));
    QCOMPARE(child.ask(QStringLiteral("exit")), QStringLiteral("ok"));
    QVERIFY(child.process().waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestWindowRestart)
#include "tst_windowrestart.moc"
