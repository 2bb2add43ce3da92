// SPDX-License-Identifier: GPL-3.0-or-later
// The search in the window, with the fake browser: Enter in the search box, the result
// list and its label, the hit limit, stop requests, the history, "#" terms, the closing
// steps of every other key, and the commands that start a search by putting in Enter.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "results/resultspanel.h"
#include "search/searchpanel.h"
#include "widgets/icons.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "windowharness.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sqlite3.h>

#include <functional>
#include <memory>

using namespace Harness;

namespace {

QComboBox *combo1(QWidget *w)
{
    return child<QComboBox>(w, "Combo1");
}
ResultTable *list1(QWidget *w)
{
    return child<ResultTable>(w, "List1");
}
QLabel *results(QWidget *w)
{
    return child<QLabel>(w, "lblResults");
}
QPushButton *cmdGo(QWidget *w)
{
    return child<QPushButton>(w, "CmdGo");
}
QColor resultsColor(QWidget *w)
{
    return results(w)->palette().color(QPalette::WindowText);
}

// Runs `check` from the events the search lets run after each hit, once the list holds
// `after` lines.
void duringSearch(QWidget *w, int after, std::function<void()> check)
{
    auto *timer = new QTimer(w);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, w, [w, after, check, timer] {
        if (list1(w)->count() >= after) {
            timer->stop();
            check();
        }
    });
    timer->start();
}

}

// Counts the paint events a widget gets.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

class TestSearchRun final : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void noMatchLeavesHistoryAndStopRequest()
    {
        auto w = start(Fixtures::range(1, 5));
        w->results()->requestInterrupt();
        list1(w.get())->hits()->append({{3, 0}});
        search(w.get(), QStringLiteral("wombat"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
        QCOMPARE(resultsColor(w.get()), QColor(Qt::black));
        QCOMPARE(list1(w.get())->count(), 0);
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        QVERIFY(cmdGo(w.get())->isEnabled());
        QVERIFY(combo1(w.get())->isEnabled());
        QVERIFY(!child<QToolButton>(w.get(), "CmdMarkRange")->isEnabled());
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isHidden());
        QCOMPARE(combo1(w.get())->count(), 0);
        QVERIFY(w->results()->interruptRequested()); // only a search that found something clears it
        QVERIFY(combo1(w.get())->hasFocus());
    }

    void oneHit()
    {
        auto w = start({titled(1, " red car"), titled(2, " blue car"), titled(3, " green van")});
        search(w.get(), QStringLiteral("blue"));
        QCOMPARE(lines(list1(w.get())), QStringList{"2 : [vclub] blue car"});
        QCOMPARE(list1(w.get())->currentRow(), 0);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 1 Found"));
        QCOMPARE(resultsColor(w.get()), QColor(Qt::black));
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isHidden());
        auto *hscroll2 = child<QScrollBar>(w.get(), "hscroll2");
        QCOMPARE(hscroll2->maximum(), 1);
        QCOMPARE(hscroll2->value(), 0);
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        QCOMPARE(cmdGo(w.get())->toolTip(), QStringLiteral("Search message Subject"));
        QCOMPARE(entries(combo1(w.get())), QStringList{"blue"});
        QCOMPARE(combo1(w.get())->currentText(), QStringLiteral("blue"));
        // The hit is shown through the list's click handling.
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).contains("Body of message 2</p>"));
        QCOMPARE(fake()->navigations().last(), path("tempfile.htm"));
        // The closing steps: the cursor on the hit in view (not the first record), the focus
        // hand-over off.
        QCOMPARE(w->archive()->recordset()->field(QStringLiteral("messnum")).toInt(), 2);
        QVERIFY(!w->findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
        auto *markRange = child<QToolButton>(w.get(), "CmdMarkRange");
        QVERIFY(markRange->isEnabled());
        QCOMPARE(markRange->icon().cacheKey(), Icons::saveIcon().cacheKey());
        QCOMPARE(markRange->toolTip(), QStringLiteral("Add Deletion Flag To  All Found Messages"));
    }

    void twoHitsSelectSecondThenFirst()
    {
        auto w = start({titled(1, " red car"), titled(4, " blue car"), titled(9, " blue van"), titled(12, " grey")});
        QSignalSpy rows(list1(w.get()), &ResultTable::currentRowChanged);
        search(w.get(), QStringLiteral("blue"));
        QCOMPARE(lines(list1(w.get())), (QStringList{"4 : [vclub] blue car", "9 : [vclub] blue van"}));
        QList<int> seen;
        for (const auto &args : rows)
            seen << args.at(0).toInt();
        seen.removeAll(-1); // clearing the list
        QCOMPARE(seen, (QList<int>{0, 1, 0}));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 2 Found"));
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isVisible());
        auto *hscroll2 = child<QScrollBar>(w.get(), "hscroll2");
        QCOMPARE(hscroll2->maximum(), 1);
        QCOMPARE(hscroll2->value(), 0);
        QVERIFY(list1(w.get())->hasFocus());
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).contains("Body of message 4</p>"));
        QVERIFY(child<QToolButton>(w.get(), "CmdMarkRange")->isEnabled());
    }

    // The hit's words are found in the page once it has come, and F3 walks through every
    // occurrence of each word in turn; a message reached otherwise, or a number search,
    // finds nothing.
    void hitWordsAreFoundInThePage()
    {
        auto w = start({titled(1, " red car"), titled(4, " blue car"), titled(9, " blue van")});
        fake()->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
        fake()->setMatches(QStringLiteral("blue"), 2);
        fake()->setMatches(QStringLiteral("car"), 1);
        search(w.get(), QStringLiteral("blue car"));
        QCOMPARE(fake()->findTexts(), QStringList{"blue"});
        const auto f3 = [&] { QTest::keyClick(w.get(), Qt::Key_F3); };
        for (int i = 0; i < 4; ++i)
            f3();
        QCOMPARE(fake()->findTexts(), (QStringList{"blue", "blue", "car", "blue", "blue"}));

        // Stepping to another message highlights nothing new.
        QTest::mouseClick(child<QWidget>(w.get(), "H1Up"), Qt::LeftButton);
        QCOMPARE(fake()->findTexts().size(), 5);
        search(w.get(), QStringLiteral("#9"));
        f3();
        QCOMPARE(fake()->findTexts().size(), 5);
    }

    void busyWhileSearching()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 6; ++n)
            records << titled(n * 10, QStringLiteral(" clutch %1").arg(n));
        auto w = start(records);
        QStringList seen;
        duringSearch(w.get(), 2, [&] {
            seen << results(w.get())->text() << cmdGo(w.get())->text();
            QCOMPARE(resultsColor(w.get()), QColor(255, 0, 0));
            for (const char *name : {"Combo1", "CmdGo", "List1", "hscroll1", "CmdBack", "Combo2"})
                QVERIFY2(!child<QWidget>(w.get(), name)->isEnabled(), name);
            QVERIFY(!action(w.get(), "MenuFilePrint")->isEnabled());
        });
        search(w.get(), QStringLiteral("clutch"));
        // The running text changes at most every 50 ms, so it may still tell of the first hit.
        QCOMPARE(seen.size(), 2);
        QVERIFY2(QRegularExpression(QStringLiteral("^ Searched (20|30) and found [12]: Still searching\\.\\.\\.$"))
                     .match(seen[0])
                     .hasMatch(),
                 qPrintable(seen[0]));
        QCOMPARE(seen[1], QStringLiteral("Wait.."));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 6 Found"));
        for (const char *name : {"Combo1", "CmdGo", "List1", "hscroll1", "Combo2"})
            QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);
    }

    void hitLimit_data()
    {
        QTest::addColumn<int>("hits");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("label");
        QTest::newRow("5,000") << 5000 << 5000 << " 5000 Found";
        QTest::newRow("5,001") << 5001 << 5001 << "Found>5,000";
        QTest::newRow("5,003") << 5003 << 5001 << "Found>5,000";
    }
    void hitLimit()
    {
        QFETCH(int, hits);
        QFETCH(int, listed);
        QFETCH(QString, label);
        // Misses among the hits, and after them.
        QList<MessageRecord> records;
        int matching = 0;
        for (int n = 1; matching < hits; ++n) {
            const bool hit = n % 997 != 0;
            matching += hit;
            records << titled(n, hit ? QStringLiteral(" hit") : QStringLiteral(" miss"));
        }
        const int last = records.last().messnum;
        records << titled(last + 1, QStringLiteral(" miss")) << titled(last + 2, QStringLiteral(" miss"));
        auto w = start(records);
        // Every change of the label is repainted and, with a screen reader listening,
        // announced: the search shows its progress a few times a second, not once a hit.
        PaintCounter paints(results(w.get()));
        QElapsedTimer took;
        took.start();
        search(w.get(), QStringLiteral("hit"));
        const qint64 ms = took.elapsed();
        QVERIFY2(paints.count < 20 + ms / 25, qPrintable(QStringLiteral("%1 in %2 ms").arg(paints.count).arg(ms)));
        QCOMPARE(list1(w.get())->count(), listed);
        QCOMPARE(results(w.get())->text(), label);
        QVERIFY(!list1(w.get())->text(listed - 1).contains(QLatin1String("miss")));
        QVERIFY(!w->results()->interruptRequested());
        QCOMPARE(child<QScrollBar>(w.get(), "hscroll2")->maximum(), listed - 1);
        QCOMPARE(entries(combo1(w.get())), QStringList{"hit"});
    }

    void stopRequestDuringTheRun()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 50; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        // The request comes in the events let run after the third hit; the loop sees it
        // after the next line.
        duringSearch(w.get(), 3, [&] { action(w.get(), "MenuOptionsInterrupt")->trigger(); });
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(list1(w.get())->count(), 4);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 4 Found"));
        QVERIFY(!w->results()->interruptRequested());
        QCOMPARE(entries(combo1(w.get())), QStringList{"clutch"});
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isVisible());
    }

    void stepDuringASearchGoesOnFromTheMessageInView()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 40; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        child<QScrollBar>(w.get(), "hscroll1")->setValue(20);
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).startsWith("Message Number: 20<br>"));
        QByteArray duringSearch;
        ::duringSearch(w.get(), 3, [&] {
            QTest::mouseClick(child<QToolButton>(w.get(), "H1Up"), Qt::LeftButton);
            duringSearch = Fixtures::readAll(path("tempfile.htm"));
        });
        search(w.get(), QStringLiteral("clutch"));
        // The step went on from the message in view, and the search lost none of its hits.
        QVERIFY2(duringSearch.startsWith("Message Number: 21<br>"), duringSearch.left(24).constData());
        QCOMPARE(list1(w.get())->count(), 40);
        QCOMPARE(lines(list1(w.get())).last(), QStringLiteral("40 : [vclub] clutch"));
    }

    void enterDuringASearchStartsNoSecond()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 30; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        duringSearch(w.get(), 3, [&] {
            QCoreApplication::postEvent(combo1(w.get()), new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier,
                                                                       QStringLiteral("\r")));
        });
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(list1(w.get())->count(), 30);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 30 Found"));
        QCOMPARE(lines(list1(w.get())).last(), QStringLiteral("30 : [vclub] clutch"));
    }

    void pendingStopRequestEndsTheNextSearchAfterOneLine()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 20; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        action(w.get(), "MenuOptionsInterrupt")->trigger();
        QVERIFY(w->results()->interruptRequested());
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(list1(w.get())->count(), 1);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 1 Found"));
        QVERIFY(!w->results()->interruptRequested());
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(list1(w.get())->count(), 20);
    }

    void historyRule()
    {
        Fixtures::writeAll(path("History.txt"), crlf({"A", "B", "C"}));
        auto w = start({titled(1, " A B C N n"), titled(2, " other")});
        QComboBox *box = combo1(w.get());
        QCOMPARE(entries(box), (QStringList{"A", "B", "C"}));
        search(w.get(), QStringLiteral("N"));
        QCOMPARE(entries(box), (QStringList{"N", "C", "B", "A"}));
        search(w.get(), QStringLiteral("B")); // known: nothing moves
        QCOMPARE(entries(box), (QStringList{"N", "C", "B", "A"}));
        search(w.get(), QStringLiteral("b")); // other letter case: a new term
        QCOMPARE(entries(box), (QStringList{"b", "N", "C", "B", "A"}));
        search(w.get(), QStringLiteral("wombat")); // no match: not recorded
        QCOMPARE(entries(box), (QStringList{"b", "N", "C", "B", "A"}));
        QStringList sorted;
        auto *listSort = child<QListWidget>(w.get(), "ListSort");
        for (int i = 0; i < listSort->count(); ++i)
            sorted << listSort->item(i)->text();
        QCOMPARE(sorted, (QStringList{"A", "B", "C", "N", "b"}));

        // The terms are there again after a restart, in the order the drop-down showed them.
        w->close();
        w.reset();
        QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"b", "N", "C", "B", "A"}));
        w = restart();
        QCOMPARE(entries(combo1(w.get())), (QStringList{"b", "N", "C", "B", "A"}));
    }

    void otherCommandsMovingTheCursorLoseNoHit_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("next message button") << "H1Up";
        QTest::newRow("window shown again") << "show";
    }
    void otherCommandsMovingTheCursorLoseNoHit()
    {
        QFETCH(QString, command);
        QList<MessageRecord> records;
        for (int n = 1; n <= 20; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        duringSearch(w.get(), 5, [&] {
            if (command == QLatin1String("H1Up")) {
                auto *up = child<QToolButton>(w.get(), "H1Up");
                emit up->pressed();
                emit up->released();
            } else {
                w->hide();
                w->show();
                QVERIFY(TestEnv::waitForQueued()); // activation runs from the event loop, inside the search
            }
        });
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 20 Found"));
        QStringList expected;
        for (int n = 1; n <= 20; ++n)
            expected << QStringLiteral("%1 : [vclub] clutch").arg(n);
        QCOMPARE(lines(list1(w.get())), expected);
    }

    void closingDuringASearchKeepsItsTerm()
    {
        QList<MessageRecord> records;
        for (int n = 1; n <= 40; ++n)
            records << titled(n, QStringLiteral(" clutch"));
        auto w = start(records);
        duringSearch(w.get(), 3, [&] { w->close(); });
        search(w.get(), QStringLiteral("clutch"));
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(list1(w.get())->count() < 40); // the close stopped the search
        QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"clutch"}));
    }

    void messageNumberAtTheSliderValueIsShown()
    {
        auto w = start(Fixtures::range(1, 50));
        auto *up = child<QToolButton>(w.get(), "H1Up");
        for (int i = 0; i < 2; ++i) {
            emit up->pressed();
            emit up->released();
        }
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).startsWith("Message Number: 3<br>"));
        QCOMPARE(child<QScrollBar>(w.get(), "hscroll1")->value(), 1);
        search(w.get(), QStringLiteral("#1"));
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).startsWith("Message Number: 1<br>"));
    }

    void messageNumberJumpsWithoutGaps()
    {
        auto w = start(Fixtures::range(1, 50));
        search(w.get(), QStringLiteral("#42"));
        QCOMPARE(child<QScrollBar>(w.get(), "hscroll1")->value(), 42);
        QCOMPARE(list1(w.get())->count(), 0);
        QCOMPARE(combo1(w.get())->count(), 0);
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isHidden());
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        QCOMPARE(cmdGo(w.get())->toolTip(), QStringLiteral("Search message Subject"));
        QVERIFY(cmdGo(w.get())->isEnabled());
        QVERIFY(Fixtures::readAll(path("tempfile.htm")).contains("Body of message 42</p>"));
        // Beyond the slider's maximum there is no jump: the number is searched for.
        search(w.get(), QStringLiteral("#51"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
    }

    void messageNumberSearchWithGaps_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("label");
        QTest::newRow("listed") << "#120" << "120 : [vclub] Subject 120" << " 1 Found";
        QTest::newRow("trailing letters") << "#7abc" << "7 : [vclub] Subject 7" << " 1 Found";
        QTest::newRow("4.5 asks for 4") << "#4.5" << "4 : [vclub] Subject 4" << " 1 Found";
        QTest::newRow("5.5 asks for 6") << "#5.5" << "6 : [vclub] Subject 6" << " 1 Found";
        QTest::newRow("a gap") << "#50" << "" << " No Messages Found";
        QTest::newRow("zero") << "#0" << "" << " Invalid Message Number";
        QTest::newRow("# alone") << "#" << "" << " Invalid Message Number";
        QTest::newRow("negative") << "#-4" << "" << " Invalid Message Number";
        QTest::newRow("beyond 32 bits") << "#4294967296" << "" << " Invalid Message Number";
    }
    void messageNumberSearchWithGaps()
    {
        QFETCH(QString, term);
        QFETCH(QString, line);
        QFETCH(QString, label);
        QList<MessageRecord> records = Fixtures::range(1, 10);
        MessageRecord flagged = Fixtures::message(120);
        flagged.messdate.prepend(QStringLiteral("-1"));
        records << flagged;
        auto w = start(records);
        search(w.get(), term);
        QCOMPARE(results(w.get())->text(), label);
        QCOMPARE(lines(list1(w.get())), line.isEmpty() ? QStringList{} : QStringList{line});
        QCOMPARE(combo1(w.get())->count(), 0); // never recorded
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        QVERIFY(cmdGo(w.get())->isEnabled());
        auto *markRange = child<QToolButton>(w.get(), "CmdMarkRange");
        QCOMPARE(markRange->isEnabled(), !line.isEmpty());
        // A number search counts no flags, so even a flagged hit offers to add the flag.
        if (!line.isEmpty())
            QCOMPARE(markRange->icon().cacheKey(), Icons::saveIcon().cacheKey());
    }

    void flaggedHitsChooseThePicture_data()
    {
        QTest::addColumn<bool>("secondFlagged");
        QTest::addColumn<bool>("trash");
        QTest::newRow("all flagged") << true << true;
        QTest::newRow("one not flagged") << false << false;
    }
    void flaggedHitsChooseThePicture()
    {
        QFETCH(bool, secondFlagged);
        QFETCH(bool, trash);
        auto w = start({titled(1, " clutch", true), titled(2, " clutch", secondFlagged), titled(3, " other", false)});
        search(w.get(), QStringLiteral("clutch"));
        auto *markRange = child<QToolButton>(w.get(), "CmdMarkRange");
        QCOMPARE(markRange->icon().cacheKey(), (trash ? Icons::trashIcon() : Icons::saveIcon()).cacheKey());
        QCOMPARE(markRange->toolTip(), child<QLabel>(w.get(), trash ? "PicTrash" : "PicSave")->toolTip());
    }

    void invalidTerm()
    {
        auto w = start(Fixtures::range(1, 3));
        search(w.get(), QStringLiteral("   "));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" Invalid Search Term"));
        QCOMPARE(combo1(w.get())->currentText(), QString());
        QVERIFY(combo1(w.get())->isEnabled());
        QVERIFY(cmdGo(w.get())->isEnabled());
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        // A tab is a character like any other.
        search(w.get(), QStringLiteral("\t"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
    }

    void refusedPatternIsReported()
    {
        auto w = start({titled(1, "[abc"), titled(2, "abc")});
        action(w.get(), "MenuKeyNone")->trigger();
        search(w.get(), QStringLiteral("[abc"));
        QVERIFY2(results(w.get())->text().contains(QLatin1String("\"[\"")), qPrintable(results(w.get())->text()));
        QCOMPARE(resultsColor(w.get()), QColor(Qt::black));
        QCOMPARE(cmdGo(w.get())->text(), QStringLiteral("Subject"));
        QVERIFY(cmdGo(w.get())->isEnabled());
        QVERIFY(combo1(w.get())->isEnabled());
        QVERIFY(!child<QToolButton>(w.get(), "CmdMarkRange")->isEnabled());
        QCOMPARE(combo1(w.get())->count(), 0);
        // "[[]" is the bracket itself; without wildcards the subject proper must match whole.
        search(w.get(), QStringLiteral("[[]abc"));
        QCOMPARE(lines(list1(w.get())), QStringList{"1 : [vclub][abc"});
    }

    void hostileTermsChangeNothing()
    {
        auto w = start(Fixtures::range(1, 5));
        const int changes = sqlite3_total_changes(w->archive()->recordset()->handle());
        const QStringList terms = {
            QStringLiteral("x'; drop table veltra; --"), QStringLiteral("' or '1'='1"), QStringLiteral("\"'\""),
            QString(10000, u'x'), QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QString::fromUtf8("\xff\xfe\xc3\x28"),
            QStringLiteral("*"),
        };
        for (const QString &term : terms)
            search(w.get(), term);
        QCOMPARE(list1(w.get())->count(), 5); // "*" in Bracket mode lists everything
        QCOMPARE(sqlite3_total_changes(w->archive()->recordset()->handle()), changes);
        QCOMPARE(w->archive()->recordset()->recordCount(), 5);
    }

    void closingStepsOnOtherKeys()
    {
        auto w = start({titled(1, " clutch"), titled(2, " clutch"), titled(3, " van")});
        QComboBox *box = combo1(w.get());
        auto *markRange = child<QToolButton>(w.get(), "CmdMarkRange");
        auto *timer2 = w->findChild<QTimer *>(QStringLiteral("Timer2"));

        // An empty list: the trash picture, and the key still reaches the box.
        box->setFocus();
        w->archive()->recordset()->moveLast();
        timer2->start();
        QTest::keyClick(box, Qt::Key_V);
        QCOMPARE(box->currentText(), QStringLiteral("v"));
        QCOMPARE(markRange->icon().cacheKey(), Icons::trashIcon().cacheKey());
        QCOMPARE(w->archive()->recordset()->field(QStringLiteral("messnum")).toInt(), 1);
        QVERIFY(!timer2->isActive());
        QVERIFY(!markRange->isEnabled());

        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(list1(w.get())->count(), 2);
        markRange->setEnabled(false);
        markRange->setIcon(Icons::trashIcon());
        w->archive()->recordset()->moveLast();
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->currentText(), QStringLiteral("clutc"));
        QCOMPARE(markRange->icon().cacheKey(), Icons::saveIcon().cacheKey());
        QVERIFY(markRange->isEnabled());
        QCOMPARE(w->archive()->recordset()->field(QStringLiteral("messnum")).toInt(), 1);
        QCOMPARE(list1(w.get())->count(), 2);

        // Enter in an empty box searches nothing.
        box->setEditText(QString());
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(list1(w.get())->count(), 2);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" 2 Found"));
    }

    void keysTypedIntoTheEditFieldAreSeenOnce()
    {
        Fixtures::writeAll(path("History.txt"), crlf({"wombat"}));
        auto w = start({titled(1, " clutch"), titled(2, " van")});
        QComboBox *box = combo1(w.get());
        QLineEdit *edit = box->lineEdit();
        EnterCounter counter(box);
        EnterCounter strays(box, EnterCounter::Elsewhere);
        box->setFocus();
        w->archive()->recordset()->moveLast();
        QTest::keyClicks(edit, QStringLiteral("clutch"));
        QCOMPARE(box->currentText(), QStringLiteral("clutch"));
        QCOMPARE(w->archive()->recordset()->field(QStringLiteral("messnum")).toInt(), 1); // the closing steps ran
        const qsizetype shown = fake()->navigations().size();
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(TestEnv::waitForQueued()); // a second Enter the box passed on would be in by now
        QCOMPARE(counter.count, 1);
        QCOMPARE(fake()->navigations().size(), shown + 1);
        QCOMPARE(lines(list1(w.get())), QStringList{"1 : [vclub] clutch"});

        // Enter on a history entry: the box then activates that entry by itself, which is
        // no pick from the drop-down and must not search a second time.
        box->setFocus();
        box->setEditText(QStringLiteral("wombat"));
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(box->hasFocus()); // given back after a search without hits
        QVERIFY(TestEnv::waitForQueued()); // the box's own activation of the entry has run
        QCOMPARE(counter.count, 2);
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
        QCOMPARE(strays.count, 0);
    }

    void noDatabaseBehavesAsNoMatch()
    {
        ModalAnswerer answerer{QMessageBox::No};
        auto w = restart();
        QCOMPARE(w->archive()->recordset(), nullptr);
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
        search(w.get(), QStringLiteral("#5"));
        QCOMPARE(results(w.get())->text(), QStringLiteral(" No Messages Found"));
        QTest::keyClick(combo1(w.get()), Qt::Key_X);
        QVERIFY(combo1(w.get())->isEnabled());
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestSearchRun test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_searchrun.moc"
