// SPDX-License-Identifier: GPL-3.0-or-later
// The tray in the window with the fake browser: into the tray and back, the pop-up menu,
// and every way out saving once. Offscreen there is no tray, so the test says whether one
// is running; tst_trayprocess tries a real one.
#include "app/form1.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "testenv.h"
#include "view/viewer.h"
#include "windowharness.h"

#include <QAction>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QtTest>

using namespace Harness;

class TestTray final : public Harness::WindowTest
{
    Q_OBJECT

    std::unique_ptr<Form1> startWithTray(bool option)
    {
        auto w = start(Fixtures::range(1, 5));
        w->setTrayAvailability([] { return true; });
        if (option)
            action(w.get(), "MnuMinTray")->trigger();
        return w;
    }
    static QSystemTrayIcon *icon(Form1 *w) { return w->findChild<QSystemTrayIcon *>(QStringLiteral("TrayIcon")); }
    static void minimise(Form1 *w)
    {
        w->showMinimized();
        QCoreApplication::processEvents();
    }
    QByteArray settingsLine(int index) const
    {
        return Fixtures::readAll(path(QStringLiteral("KnowledgeBase.ini"))).split('\n').value(index);
    }

private slots:
    // Qt's own tray code finds no tray signal offscreen, where the test says a tray runs.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("qt.core.qobject.connect=false")); }
    void popupMenuAndOption();
    void intoTheTrayAndBack_data();
    void intoTheTrayAndBack();
    void withoutOptionOrTrayOnlyMinimised();
    void resultsStripStaysThroughHideAndShow_data();
    void resultsStripStaysThroughHideAndShow();
    void exitFromTheTraySavesTheStateBefore_data();
    void exitFromTheTraySavesTheStateBefore();
    void everyWayOutSavesOnce_data();
    void everyWayOutSavesOnce();
};

void TestTray::popupMenuAndOption()
{
    auto w = startWithTray(false);
    auto *popup = w->findChild<QMenu *>(QStringLiteral("MnuPopup"));
    QVERIFY(popup);
    QStringList items;
    for (const QAction *a : popup->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + QLatin1Char(' ') + a->text());
    QCOMPARE(items, QStringList({"MnuShow &Show", "MnuExit &Exit", "-", "MnuClose &Close"}));
    for (const QAction *top : w->menuBar()->actions())
        QVERIFY(top->menu() != popup);
    QCOMPARE(icon(w.get())->toolTip(), QStringLiteral("Veltra Knowledgebase"));
    QVERIFY(!icon(w.get())->icon().isNull());
    QVERIFY(!icon(w.get())->isVisible());

    QAction *option = action(w.get(), "MnuMinTray");
    option->trigger();
    QVERIFY(option->isChecked());
    option->trigger();
    QVERIFY(!option->isChecked());
    option->trigger();
    QVERIFY(w->Form_Unload());
    QCOMPARE(settingsLine(10), QByteArray("True\r"));
}

void TestTray::intoTheTrayAndBack_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("normal, double-click") << false << false;
    QTest::newRow("maximised, double-click") << true << false;
    QTest::newRow("maximised, Show") << true << true;
}

void TestTray::intoTheTrayAndBack()
{
    QFETCH(bool, maximised);
    QFETCH(bool, byMenu);
    auto w = startWithTray(true);
    if (maximised)
        w->showMaximized();
    auto *hscroll1 = child<QScrollBar>(w.get(), "hscroll1");
    hscroll1->setValue(3);
    // Read on with the step button, which leaves the slider at 3.
    QTest::mouseClick(child<QToolButton>(w.get(), "H1Up"), Qt::LeftButton);
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("4"));

    minimise(w.get());
    QVERIFY(w->isHidden());
    QVERIFY(icon(w.get())->isVisible());

    // A single click, the right button and "&Close" leave it there.
    emit icon(w.get())->activated(QSystemTrayIcon::Trigger);
    emit icon(w.get())->activated(QSystemTrayIcon::Context);
    action(w.get(), "MnuClose")->trigger();
    QVERIFY(w->isHidden());
    QVERIFY(icon(w.get())->isVisible());
    QVERIFY(!QFile::exists(path(QStringLiteral("KnowledgeBase.ini"))));

    if (byMenu)
        action(w.get(), "MnuShow")->trigger();
    else
        emit icon(w.get())->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isMinimized());
    QCOMPARE(w->isMaximized(), maximised);
    QVERIFY(!icon(w.get())->isVisible());
    // Shown again, the window is activated again and still shows the message it left, with
    // the cursor on it: the next step goes on from there.
    QCoreApplication::processEvents();
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("4"));
    QTest::mouseClick(child<QToolButton>(w.get(), "H1Up"), Qt::LeftButton);
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("5"));
}

void TestTray::withoutOptionOrTrayOnlyMinimised()
{
    auto w = startWithTray(false);
    w->showMaximized();
    minimise(w.get());
    QVERIFY(w->isVisible());
    QVERIFY(!icon(w.get())->isVisible());

    // With the option but no tray, hidden the window could not be reached again.
    w->setTrayAvailability([] { return false; });
    action(w.get(), "MnuMinTray")->trigger();
    auto *status = child<QLineEdit>(w.get(), "LblStBar1");
    w->showNormal();
    minimise(w.get());
    QVERIFY(w->isVisible());
    QVERIFY(w->isMinimized());
    QVERIFY(!icon(w.get())->isVisible());
    QCOMPARE(status->text(),
             QStringLiteral(" No system tray is running, so the window was minimised instead of going to the tray."));
    status->setText(QStringLiteral("page"));
    w->showNormal();
    minimise(w.get());
    QCOMPARE(status->text(), QStringLiteral("page")); // told once
}

// A listing of five hits keeps its strip (the "<", the results slider, the ">") through every
// way the window is hidden and shown again; showing the window again used to hide it.
void TestTray::resultsStripStaysThroughHideAndShow_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("tray, double-click") << true << false;
    QTest::newRow("tray, Show") << true << true;
    QTest::newRow("minimised and restored") << false << false;
}

void TestTray::resultsStripStaysThroughHideAndShow()
{
    QFETCH(bool, tray);
    QFETCH(bool, byMenu);
    auto w = startWithTray(tray);
    search(w.get(), QStringLiteral("Subject"));
    QWidget *strip = widget(w.get(), "HPic2");
    QVERIFY(strip->isVisible());
    for (int round = 0; round < 2; ++round) {
        minimise(w.get());
        QCOMPARE(w->isHidden(), tray);
        if (!tray)
            w->showNormal();
        else if (byMenu)
            action(w.get(), "MnuShow")->trigger();
        else
            emit icon(w.get())->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(w->isVisible());
        // Form_Activate runs from the event loop after the window is shown.
        QVERIFY(TestEnv::waitForQueued());
        QVERIFY(strip->isVisible());
        auto *hscroll2 = child<QScrollBar>(w.get(), "hscroll2");
        QCOMPARE(hscroll2->maximum(), 4);
        QTest::mouseClick(child<QToolButton>(w.get(), "H2Up"), Qt::LeftButton);
        QCOMPARE(hscroll2->value(), round + 1);
    }
}

void TestTray::exitFromTheTraySavesTheStateBefore_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::newRow("normal") << false;
    QTest::newRow("maximised") << true;
}

void TestTray::exitFromTheTraySavesTheStateBefore()
{
    QFETCH(bool, maximised);
    auto w = startWithTray(true);
    const QRect normal = w->geometry();
    if (maximised)
        w->showMaximized();
    minimise(w.get());
    QVERIFY(w->isHidden());
    // A desktop may report a hidden window as minimised only.
    w->setWindowState(Qt::WindowMinimized);

    action(w.get(), "MnuExit")->trigger();
    QVERIFY(!icon(w.get())->isVisible());
    QVERIFY(w->isHidden());
    QCOMPARE(settingsLine(7), maximised ? QByteArray(" 2\r") : QByteArray(" 0\r"));
    QCOMPARE(settingsLine(2).trimmed().toInt(), normal.width() * 15);
    QCOMPARE(settingsLine(10), QByteArray("True\r"));
}

void TestTray::everyWayOutSavesOnce_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("E&xit, close button") << "E&xit" << "close";
    QTest::newRow("logout, E&xit") << "logout" << "E&xit";
    QTest::newRow("close button, logout") << "close" << "logout";
    QTest::newRow("tray Exit, logout") << "tray" << "logout";
    // Qt sends a closed window no second close event itself; the window must not rely on it.
    QTest::newRow("E&xit, close event") << "E&xit" << "event";
}

void TestTray::everyWayOutSavesOnce()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    auto w = startWithTray(true);
    search(w.get(), QStringLiteral("Subject"));
    const auto leave = [&](const QString &way) {
        if (way == QLatin1String("E&xit"))
            action(w.get(), "MenuFileExit")->trigger();
        else if (way == QLatin1String("close"))
            w->close();
        else if (way == QLatin1String("logout"))
            w->sessionEnding();
        else if (way == QLatin1String("event")) {
            QCloseEvent event;
            QCoreApplication::sendEvent(w.get(), &event);
        }
        else {
            minimise(w.get());
            action(w.get(), "MnuExit")->trigger();
        }
    };
    const QString ini = path(QStringLiteral("KnowledgeBase.ini"));
    const QString history = path(QStringLiteral("History.txt"));

    leave(first);
    QVERIFY(!w->isVisible());
    QVERIFY(QFile::exists(ini));
    QCOMPARE(Fixtures::readAll(history), crlf({"Subject"}));
    QVERIFY(QFile::remove(ini));
    QVERIFY(QFile::remove(history));
    leave(second);
    QVERIFY(!QFile::exists(ini));
    QVERIFY(!QFile::exists(history));
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
