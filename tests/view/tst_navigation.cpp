// SPDX-License-Identifier: GPL-3.0-or-later
// Moving between messages in the window, with the fake browser: the buttons and their
// repeat, the two sliders and the result list.
#include "app/form1.h"
#include "view/viewer.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "testenv.h"
#include "view/messagepage.h"
#include "results/resultline.h"
#include "windowharness.h"

#include <QApplication>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int kLongTime = 24 * 60 * 60 * 1000;

QList<MessageRecord> withNumbers(std::initializer_list<qint32> numbers)
{
    QList<MessageRecord> records;
    for (qint32 n : numbers)
        records << Fixtures::message(n);
    return records;
}

// Fills the result list as a search does, without selecting anything.
ResultTable *fillResults(const WindowHarness &w, std::initializer_list<qint32> numbers)
{
    auto *list = w.child<ResultTable>("List1");
    for (qint32 n : numbers)
        list->hits()->append({{n, 0}});
    w.child<QScrollBar>("hscroll2")->setMaximum(list->count() - 1);
    return list;
}

void press(const WindowHarness &w, const char *button)
{
    QTest::mousePress(w.child<QToolButton>(button), Qt::LeftButton);
}

void release(const WindowHarness &w, const char *button)
{
    QTest::mouseRelease(w.child<QToolButton>(button), Qt::LeftButton);
}

// Whether a tick of the repeat timer renders a message: it does unless a held step
// button stands at the end of the table.
bool tickRenders(const WindowHarness &w)
{
    const int before = w.pageNavigations();
    w.tickTimer3();
    return w.pageNavigations() > before;
}

void click(const WindowHarness &w, const char *button)
{
    press(w, button);
    release(w, button);
}

QPoint rowCentre(ResultTable *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

// The deferred focus move, kept from firing by itself during the test.
QTimer *armTimer2(const WindowHarness &w)
{
    QTimer *timer2 = w.timer("Timer2");
    timer2->setInterval(kLongTime);
    timer2->start();
    return timer2;
}

}

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void startUpShowsMessageOne()
    {
        WindowHarness w(Fixtures::range(1, 5));
        QVERIFY(w.activated());
        QCOMPARE(w.page(), MessagePage::render(Fixtures::message(1)));
        QCOMPARE(w.fake().navigations().last(), w.pagePath());
        QCOMPARE(w.form().viewer()->shownMessageNumber(), QStringLiteral("1"));
        QCOMPARE(w.form().viewer()->sliderMessageNumber(), 1);
        QCOMPARE(w.cursorNumber(), 1);
    }

    void nothingToShow_data()
    {
        QTest::addColumn<bool>("database");
        QTest::newRow("empty table") << true;
        QTest::newRow("no database") << false;
    }
    void nothingToShow()
    {
        QFETCH(bool, database);
        std::unique_ptr<WindowHarness> w = database ? std::make_unique<WindowHarness>(QList<MessageRecord>{})
                                                 : WindowHarness::withoutDatabase();
        QVERIFY(w->activated());
        for (const char *button : {"H1Down", "H1Up", "H2Down", "H2Up"}) {
            press(*w, button);
            w->tickTimer3();
            release(*w, button);
        }
        auto *hscroll1 = w->child<QScrollBar>("hscroll1");
        hscroll1->setMaximum(10);
        hscroll1->setValue(3);
        hscroll1->setSliderDown(true);
        hscroll1->setSliderPosition(5);
        hscroll1->setSliderDown(false);
        ResultTable *list = fillResults(*w, {3, 4});
        list->setCurrentRow(0);
        list->setCurrentRow(1);
        w->child<QScrollBar>("hscroll2")->setValue(0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));

        QVERIFY(w->fake().navigations().isEmpty());
        QVERIFY(!QFileInfo::exists(w->pagePath()));
        QVERIFY(w->form().viewer()->shownMessageNumber().isEmpty());
        QVERIFY(!w->timer("Timer3")->isActive());
    }

    void stepAtTheEnds_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("back");
        QTest::addColumn<int>("afterBack");
        QTest::newRow("H1Down on the first record") << "H1Down" << 1 << "H1Up" << 2;
        QTest::newRow("H1Up on the last record") << "H1Up" << 5 << "H1Down" << 4;
    }
    void stepAtTheEnds()
    {
        QFETCH(QString, button);
        QFETCH(int, start);
        QFETCH(QString, back);
        QFETCH(int, afterBack);
        WindowHarness w(Fixtures::range(1, 5));
        QVERIFY(w.activated());
        w.child<QScrollBar>("hscroll1")->setValue(start);
        QCOMPARE(w.pageNumber(), start);
        const int before = w.pageNavigations();
        const QByteArray name = button.toLatin1();

        press(w, name);
        QCOMPARE(w.pageNavigations(), before);
        QVERIFY(!w.timer("Timer3")->isActive());
        QCOMPARE(w.cursorNumber(), start);
        // Only the forward button stays held at the end: a tick then renders nothing.
        QCOMPARE(tickRenders(w), button != "H1Up");
        release(w, name);
        QVERIFY(tickRenders(w));

        const int beforeBack = w.pageNavigations();
        click(w, back.toLatin1());
        QCOMPARE(w.pageNumber(), afterBack);
        QCOMPARE(w.pageNavigations(), beforeBack + 1);
    }

    void heldButtonRepeatsUntilTheEnd_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("pages"); // after the press, then after each tick; 0: nothing rendered
        QTest::newRow("H1Up") << "H1Up" << 1 << QList<int>{2, 3, 4, 5, 0, 0};
        QTest::newRow("H1Down") << "H1Down" << 5 << QList<int>{4, 3, 2, 1, 0, 0};
    }
    void heldButtonRepeatsUntilTheEnd()
    {
        QFETCH(QString, button);
        QFETCH(int, start);
        QFETCH(QList<int>, pages);
        WindowHarness w(Fixtures::range(1, 5));
        QVERIFY(w.activated());
        w.holdTimer3();
        w.child<QScrollBar>("hscroll1")->setValue(start);
        const QByteArray name = button.toLatin1();

        int navigations = w.pageNavigations();
        press(w, name);
        QVERIFY(w.timer("Timer3")->isActive());
        for (int i = 0; i < pages.size(); ++i) {
            if (i > 0)
                w.tickTimer3();
            const int expected = pages.at(i);
            if (expected != 0)
                ++navigations;
            QCOMPARE(w.pageNavigations(), navigations);
            if (expected != 0)
                QCOMPARE(w.pageNumber(), expected);
        }
        // At the end the ticks go on, the cursor staying on the end record.
        QVERIFY(w.timer("Timer3")->isActive());
        QCOMPARE(w.cursorNumber(), pages.at(3));
        release(w, name);
        QVERIFY(!w.timer("Timer3")->isActive());
        // Let go, neither button steps: a tick renders the record in place.
        QVERIFY(tickRenders(w));
        QCOMPARE(w.cursorNumber(), pages.at(3));
    }

    void repeatFollowsTheRealTimer()
    {
        WindowHarness w(Fixtures::range(1, 40));
        QVERIFY(w.activated());
        QTimer *timer3 = w.timer("Timer3");
        QCOMPARE(timer3->interval(), 250);
        const int before = w.pageNavigations();
        press(w, "H1Up");
        // The press renders at once; the first repeat waits a whole interval.
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(w.pageNumber() >= 4, 5000);
        release(w, "H1Up");
        const int after = w.pageNavigations();
        QVERIFY(TestEnv::waitPast(2 * timer3->interval())); // two repeats would have come by now
        QCOMPARE(w.pageNavigations(), after);
        QVERIFY(!timer3->isActive());
    }

    void spaceKeyHoldsAFocusedButton()
    {
        WindowHarness w(Fixtures::range(1, 5));
        QVERIFY(w.activated());
        w.holdTimer3();
        auto *h1Up = w.child<QToolButton>("H1Up");
        QTest::keyPress(h1Up, Qt::Key_Space);
        QCOMPARE(w.pageNumber(), 2);
        QVERIFY(w.timer("Timer3")->isActive());
        w.tickTimer3();
        QCOMPARE(w.pageNumber(), 3);
        QTest::keyRelease(h1Up, Qt::Key_Space);
        QVERIFY(!w.timer("Timer3")->isActive());
        w.tickTimer3();
        QCOMPARE(w.pageNumber(), 3);
    }

    void stepsFollowStoredOrderAndLeaveTheSlider()
    {
        WindowHarness w(withNumbers({1, 2, 5, 9}));
        QVERIFY(w.activated());
        QList<int> shown;
        for (int i = 0; i < 3; ++i) {
            click(w, "H1Up");
            shown << w.pageNumber();
        }
        QCOMPARE(shown, (QList<int>{2, 5, 9}));
        QCOMPARE(w.child<QScrollBar>("hscroll1")->value(), 1);
        QCOMPARE(w.form().viewer()->sliderMessageNumber(), 1);
    }

    void sliderToANumberWithoutMessage()
    {
        WindowHarness w(withNumbers({1, 2, 4, 5}));
        QVERIFY(w.activated());
        auto *hscroll1 = w.child<QScrollBar>("hscroll1");
        hscroll1->setValue(4);
        QCOMPARE(w.pageNumber(), 4);
        const int before = w.pageNavigations();
        hscroll1->setValue(3);
        QCOMPARE(w.pageNavigations(), before);
        QCOMPARE(w.pageNumber(), 4);
        QCOMPARE(w.form().viewer()->sliderMessageNumber(), 3);
        // The cursor stays with the message in view, and the next step goes on from there.
        QCOMPARE(w.cursorNumber(), 4);
        click(w, "H1Up");
        QCOMPARE(w.pageNumber(), 5);
    }

    void sliderDragCancelsTheFocusMove_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("valueWhileHeld");
        // The all-messages slider keeps its value until the thumb is let go; the results
        // slider is set to the entry selected, as every list click does.
        QTest::newRow("all messages") << "hscroll1" << 6 << 6 << 2;
        QTest::newRow("results") << "hscroll2" << 2 << 5 << 2;
    }
    void sliderDragCancelsTheFocusMove()
    {
        QFETCH(QString, slider);
        QFETCH(int, position);
        QFETCH(int, page);
        QFETCH(int, valueWhileHeld);
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        fillResults(w, {2, 4, 5, 7})->setCurrentRow(0);
        QCOMPARE(w.pageNumber(), 2);
        auto *bar = w.child<QScrollBar>(slider.toLatin1());
        QTimer *timer2 = armTimer2(w);

        bar->setSliderDown(true);
        bar->setSliderPosition(position);
        QVERIFY(!timer2->isActive());
        QCOMPARE(w.pageNumber(), page);
        QCOMPARE(bar->value(), valueWhileHeld);
        bar->setSliderDown(false);
        QCOMPARE(bar->value(), position);
        QCOMPARE(w.pageNumber(), page);
    }

    void programChangeOfTheSliderKeepsTheFocusMove()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        QTimer *timer2 = armTimer2(w);
        w.child<QScrollBar>("hscroll1")->setValue(6);
        QCOMPARE(w.pageNumber(), 6);
        QVERIFY(timer2->isActive());
    }

    void programSelectionShowsTheHitOnce()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        auto *hscroll1 = w.child<QScrollBar>("hscroll1");
        auto *hscroll2 = w.child<QScrollBar>("hscroll2");
        QTimer *timer2 = armTimer2(w);
        int before = w.pageNavigations();

        list->setCurrentRow(0);
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 2);
        QCOMPARE(hscroll1->value(), 2);
        QCOMPARE(w.form().viewer()->sliderMessageNumber(), 2);
        QVERIFY(!timer2->isActive());

        before = w.pageNavigations();
        list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 5);
        QCOMPARE(hscroll2->value(), 2);
        // Done following the list, the slider picks an entry again.
        hscroll2->setValue(3);
        QCOMPARE(list->currentRow(), 3);
        hscroll2->setValue(2);
        QCOMPARE(list->currentRow(), 2);

        // Taking the selection away shows nothing.
        before = w.pageNavigations();
        list->clearSelection();
        QCOMPARE(w.pageNavigations(), before);
    }

    void mouseClicksOnTheList()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        QWidget *viewport = list->viewport();

        int before = w.pageNavigations();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 4);

        // The entry already shown: back to the message page, which is not written again.
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        {
            QFile page(w.pagePath());
            QVERIFY(page.open(QIODevice::ReadWrite));
            QVERIFY(page.setFileTime(old, QFileDevice::FileModificationTime));
        }
        const QByteArray shown = w.page();
        w.fake().clearCalls();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(w.fake().navigations(), QStringList{w.pagePath()});
        QCOMPARE(w.page(), shown);
        QCOMPARE(QFileInfo(w.pagePath()).lastModified(), old);

        before = w.pageNavigations();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(list, 3));
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 7);
    }

    void clickedHitIsShownWhenThePageMovedOn_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a button stepped on") << "step";
        QTest::newRow("the file was used for an update page") << "overwrite";
        QTest::newRow("the file was removed") << "remove";
    }
    void clickedHitIsShownWhenThePageMovedOn()
    {
        QFETCH(QString, change);
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(w.pageNumber(), 4);
        if (change == "step")
            click(w, "H1Up");
        else if (change == "overwrite")
            Fixtures::writeAll(w.pagePath(), "<html><body>Message #900 from the update server</body></html>");
        else
            QVERIFY(QFile::remove(w.pagePath()));

        w.fake().clearCalls();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(w.fake().navigations(), QStringList{w.pagePath()});
        QCOMPARE(w.page(), MessagePage::render(Fixtures::message(4)));
        QCOMPARE(w.cursorNumber(), 4);
    }

    void hitAtTheSliderValueIsShown()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        click(w, "H1Up");
        click(w, "H1Up");
        QCOMPARE(w.pageNumber(), 3);
        QCOMPARE(w.child<QScrollBar>("hscroll1")->value(), 1);
        // The slider raises no change for 1, yet the hit asked for must come into view.
        fillResults(w, {1, 4})->setCurrentRow(0);
        QCOMPARE(w.pageNumber(), 1);
        QCOMPARE(w.cursorNumber(), 1);
    }

    void hitOutsideTheSliderRange()
    {
        // Stored out of order: the slider's maximum comes from the last record, 3.
        WindowHarness w(withNumbers({1, 2, 60, 3}));
        QVERIFY(w.activated());
        auto *hscroll1 = w.child<QScrollBar>("hscroll1");
        QCOMPARE(hscroll1->maximum(), 3);
        fillResults(w, {60, 2})->setCurrentRow(0);
        QCOMPARE(w.pageNumber(), 60);
        QCOMPARE(hscroll1->value(), 1);
        QCOMPARE(hscroll1->maximum(), 3);
    }

    void resultButtonsMoveTheResultsSlider()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        w.holdTimer3();
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        auto *hscroll2 = w.child<QScrollBar>("hscroll2");
        list->setCurrentRow(0);
        QCOMPARE(w.pageNumber(), 2);

        press(w, "H2Up");
        QCOMPARE(hscroll2->value(), 1);
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(w.pageNumber(), 4);
        QVERIFY(w.timer("Timer3")->isActive());

        // A tick moves to the next hit and renders the current record once more.
        int before = w.pageNavigations();
        w.tickTimer3();
        QCOMPARE(hscroll2->value(), 2);
        QCOMPARE(w.pageNumber(), 5);
        QCOMPARE(w.pageNavigations(), before + 2);
        w.tickTimer3();
        QCOMPARE(w.pageNumber(), 7);
        // At the last hit the slider stays; the message is still rendered at each tick.
        before = w.pageNavigations();
        w.tickTimer3();
        QCOMPARE(hscroll2->value(), 3);
        QCOMPARE(w.pageNavigations(), before + 1);
        QCOMPARE(w.pageNumber(), 7);
        release(w, "H2Up");
        QVERIFY(!w.timer("Timer3")->isActive());
        // Let go, the button steps no more.
        hscroll2->setValue(2);
        w.tickTimer3();
        QCOMPARE(hscroll2->value(), 2);
        hscroll2->setValue(3);

        click(w, "H2Down");
        QCOMPARE(hscroll2->value(), 2);
        QCOMPARE(w.pageNumber(), 5);
        hscroll2->setValue(0);
        before = w.pageNavigations();
        press(w, "H2Down");
        QCOMPARE(hscroll2->value(), 0);
        QCOMPARE(w.pageNavigations(), before);
        release(w, "H2Down");
    }

    void resultsSliderNeedsASelection()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        auto *hscroll2 = w.child<QScrollBar>("hscroll2");
        const int before = w.pageNavigations();
        hscroll2->setValue(2);
        hscroll2->setSliderDown(true);
        hscroll2->setSliderPosition(3);
        hscroll2->setSliderDown(false);
        QCOMPARE(w.pageNavigations(), before);
        QCOMPARE(list->selectedRow(), -1);

        list->setCurrentRow(0);
        hscroll2->setValue(2);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(w.pageNumber(), 5);
        // A position past the last entry selects nothing.
        hscroll2->setMaximum(10);
        hscroll2->setValue(6);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(w.pageNumber(), 5);
    }

    void listKeyPressHandsTheFocusToTheWindow()
    {
        WindowHarness w(Fixtures::range(1, 8));
        QVERIFY(w.activated());
        ResultTable *list = fillResults(w, {2, 4, 5, 7});
        list->setCurrentRow(0);
        w.form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.form()));
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());
        QTimer *timer2 = armTimer2(w);

        QTest::keyClick(list, Qt::Key_5);
        QVERIFY(!timer2->isActive());
        QCOMPARE(QApplication::focusWidget(), &w.form());
        // The list still takes the key: it selects the entry the key begins.
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(w.pageNumber(), 5);
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestNavigation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_navigation.moc"
