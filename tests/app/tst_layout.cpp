// SPDX-License-Identifier: GPL-3.0-or-later
// The window's layout: hiding and showing the knowledge base, the panels at the size
// thresholds, the status strip never over the page, a damaged settings size, and Tab.
#include "app/form1.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "windowharness.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace Harness;

namespace {

// Resizes the window so that its client area (below the menu bar) is `client`.
void resizeClient(Form1 *w, QSize client)
{
    const QWidget *central = widget(w, "centralwidget");
    w->resize(w->size() + client - central->size());
    QTRY_COMPARE_WITH_TIMEOUT(central->size(), client, 2000);
}

// The browser's bottom edge and the strip's top, in the client area's coordinates.
int pageBottom(Form1 *w)
{
    QWidget *page = widget(w, "web1");
    return page->mapTo(widget(w, "centralwidget"), QPoint(0, page->height())).y();
}

}

class TestLayout final : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void hidingAndShowingTheKnowledgeBase();
    void panelsFollowTheSize_data();
    void panelsFollowTheSize();
    void damagedSettingsSizeStaysUsable_data();
    void damagedSettingsSizeStaysUsable();
    void tabGoesThroughTheControlsInOrder();
};

void TestLayout::hidingAndShowingTheKnowledgeBase()
{
    auto w = start(Fixtures::range(1, 5));
    resizeClient(w.get(), QSize(900, 600));
    QWidget *panel = widget(w.get(), "Picture1");
    auto *toggle = child<QToolButton>(w.get(), "CmdUpDown");
    QCOMPARE(toggle->toolTip(), QStringLiteral("Hide knowldegebase"));
    action(w.get(), "MnuDelete")->trigger();
    const int shownBottom = pageBottom(w.get());

    toggle->click();
    QCOMPARE(panel->y(), 0);
    QCOMPARE(toggle->toolTip(), QStringLiteral("Show knowledgebase"));
    QCOMPARE(toggle->icon().cacheKey(), child<QToolButton>(w.get(), "CmdDown")->icon().cacheKey());
    QVERIFY(!action(w.get(), "MnuDelete")->isEnabled());
    QVERIFY(!widget(w.get(), "PicDeleteMarked")->isVisible());
    QVERIFY(w->findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
    // The top line ends at the result list's edge, the page where it ended before.
    QWidget *line1 = widget(w.get(), "Line1");
    QCOMPARE(line1->x() + line1->width(), widget(w.get(), "Line6")->x());
    QCOMPARE(pageBottom(w.get()), shownBottom);

    toggle->click();
    QCOMPARE(panel->y(), 100);
    QCOMPARE(toggle->toolTip(), QStringLiteral("Hide knowledgebase"));
    QCOMPARE(toggle->icon().cacheKey(), child<QToolButton>(w.get(), "CmdUp")->icon().cacheKey());
    QVERIFY(action(w.get(), "MnuDelete")->isEnabled());
    QVERIFY(!widget(w.get(), "PicDeleteMarked")->isVisible());
    // A wide resize carries the line to the window's edge again.
    resizeClient(w.get(), QSize(1000, 600));
    QCOMPARE(line1->x() + line1->width(), 1000);
}

void TestLayout::panelsFollowTheSize_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("widthsFollow"); // above 6000 twips

    QTest::newRow("smallest") << QSize(300, 240) << false;
    QTest::newRow("at the width threshold") << QSize(400, 400) << false;
    QTest::newRow("just above it") << QSize(401, 400) << true;
    QTest::newRow("large") << QSize(1200, 900) << true;
}

void TestLayout::panelsFollowTheSize()
{
    QFETCH(QSize, client);
    QFETCH(bool, widthsFollow);
    auto w = start(Fixtures::range(1, 5));
    resizeClient(w.get(), QSize(800, 600));
    const int listWidth = widget(w.get(), "List1")->width();
    const int addressWidth = widget(w.get(), "Combo2")->width();
    resizeClient(w.get(), client);

    QCOMPARE(widget(w.get(), "List1")->width() != listWidth, widthsFollow);
    QCOMPARE(widget(w.get(), "Combo2")->width() != addressWidth, widthsFollow);
    // The browser follows the width at every size and ends where the strip begins.
    QWidget *strip = widget(w.get(), "stbar");
    QCOMPARE(widget(w.get(), "web1")->mapTo(w.get(), QPoint(widget(w.get(), "web1")->width(), 0)).x(),
             widget(w.get(), "centralwidget")->mapTo(w.get(), QPoint(client.width(), 0)).x());
    QCOMPARE(pageBottom(w.get()), strip->y());
    QCOMPARE(strip->y() + strip->height(), client.height());
    // The status text and the progress bar are inside the strip and the window.
    QWidget *text = widget(w.get(), "LblStBar1");
    QWidget *bar = widget(w.get(), "PBar1");
    QVERIFY(text->height() >= text->sizeHint().height());
    QVERIFY(bar->x() > 0 && bar->x() + bar->width() <= client.width());
    QVERIFY(text->width() > 0);
}

void TestLayout::damagedSettingsSizeStaysUsable_data()
{
    QTest::addColumn<QByteArray>("top");
    QTest::addColumn<QByteArray>("width");
    QTest::addColumn<QByteArray>("height");
    QTest::newRow("zero") << QByteArray(" 0") << QByteArray(" 0") << QByteArray(" 0");
    QTest::newRow("tiny") << QByteArray(" 0") << QByteArray("1e-45") << QByteArray("1e-45");
    QTest::newRow("most negative") << QByteArray(" 0") << QByteArray("-2147483648") << QByteArray("-2147483648");
    QTest::newRow("far off the screen") << QByteArray(" 9000000") << QByteArray(" 99999999") << QByteArray(" 99999999");
}

void TestLayout::damagedSettingsSizeStaysUsable()
{
    QFETCH(QByteArray, top);
    QFETCH(QByteArray, width);
    QFETCH(QByteArray, height);
    QVERIFY(Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), Fixtures::range(1, 3)));
    Fixtures::writeAll(path(QStringLiteral("History.txt")), "");
    Fixtures::writeAll(path(QStringLiteral("UrlList.txt")), "");
    Fixtures::writeAll(path(QStringLiteral("KnowledgeBase.ini")),
                       top + "\r\n 0\r\n" + width + "\r\n" + height
                           + "\r\nSubject\r\nB\r\n 100\r\n 0\r\nFalse\r\nFalse\r\nFalse\r\n 0\r\n");
    auto w = restart();
    QVERIFY(w->width() >= w->minimumWidth() && w->height() >= w->minimumHeight());
    const QRect screen = QGuiApplication::primaryScreen()->availableVirtualGeometry();
    QVERIFY(w->width() <= screen.width() && w->height() <= screen.height());
    QVERIFY(QGuiApplication::screenAt(w->geometry().center()));
}

void TestLayout::tabGoesThroughTheControlsInOrder()
{
    auto w = start(Fixtures::range(1, 30));
    search(w.get(), QStringLiteral("Subject"));
    const QStringList chain{QStringLiteral("Combo1"), QStringLiteral("CmdGo"), QStringLiteral("cmdCheckDelete"),
                            QStringLiteral("CmdMarkRange"), QStringLiteral("List1"), QStringLiteral("H2Down"),
                            QStringLiteral("hscroll2"), QStringLiteral("H2Up"), QStringLiteral("H1Down"),
                            QStringLiteral("hscroll1"), QStringLiteral("H1Up"), QStringLiteral("CmdBack"),
                            QStringLiteral("CmdForward"), QStringLiteral("CmdStop"), QStringLiteral("CmdRefresh"),
                            QStringLiteral("CmdHome"), QStringLiteral("CmdManuals"), QStringLiteral("CmdReg"),
                            QStringLiteral("cmdYahoo"), QStringLiteral("CmdUpDown"), QStringLiteral("CmdMarkDelete"),
                            QStringLiteral("Combo2")};
    // The controls the browser has not enabled are passed over.
    QStringList order;
    for (const QString &name : chain) {
        const QWidget *control = widget(w.get(), name.toLatin1().constData());
        if (control->isEnabled() && control->isVisible())
            order << name;
    }
    QVERIFY(order.size() >= 15);
    child<QComboBox>(w.get(), "Combo1")->setFocus();
    QStringList visited;
    for (int i = 0; i < order.size() + 3; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus && focus->isVisible());
        // A box's edit field stands for the box.
        if (qobject_cast<QLineEdit *>(focus) && qobject_cast<QComboBox *>(focus->parentWidget()))
            focus = focus->parentWidget();
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited.mid(0, order.size()), order);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
