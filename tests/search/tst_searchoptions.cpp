// SPDX-License-Identifier: GPL-3.0-or-later
// The search options in the window: the search field and wildcard menus with their check
// marks and the button texts, "&Interrupt Search", and the two commands that start a
// search by putting the Enter key into the keyboard input.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "results/resultspanel.h"
#include "search/searchpanel.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "windowharness.h"
#include "testenv.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Harness;

namespace {

const std::initializer_list<const char *> kFieldMenus = {"MenuSearchAuthor", "MenuSearchBody", "MenuSearchTitle"};
const std::initializer_list<const char *> kModeMenus = {"MenuKeyPreface", "MenuKeyAppend", "MenuKeyBracket", "MenuKeyNone"};

QStringList checked(QWidget *w, std::initializer_list<const char *> names)
{
    QStringList out;
    for (const char *n : names) {
        if (action(w, n)->isChecked())
            out << QLatin1String(n);
    }
    return out;
}

QPushButton *cmdGo(QWidget *w)
{
    return child<QPushButton>(w, "CmdGo");
}

QString resultsText(QWidget *w)
{
    return child<QLabel>(w, "lblResults")->text();
}

// One word in one place only: the field searched decides which message is found.
QList<MessageRecord> fieldRecords()
{
    MessageRecord subject = titled(1, QStringLiteral(" clutch cable"));
    MessageRecord author = titled(2, QStringLiteral(" other"));
    author.messauthor = QStringLiteral("Clutch Master <cm@example.org>");
    MessageRecord body = titled(3, QStringLiteral(" third"));
    body.message = QStringLiteral("<tt>my clutch slips</tt>");
    return {subject, author, body, titled(4, QStringLiteral(" gearbox"))};
}

}

class TestSearchOptions final : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void searchField_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("captionAfter");
        QTest::addColumn<QString>("tipAfter");
        QTest::addColumn<QString>("hit");
        QTest::newRow("author") << "MenuSearchAuthor" << "Author" << "Search message author" << "Author"
                                << "Search message Author" << "2 : [vclub] other";
        QTest::newRow("body") << "MenuSearchBody" << "Body" << "Search message body" << "Body "
                              << "Search message Body" << "3 : [vclub] third";
        QTest::newRow("subject") << "MenuSearchTitle" << "Subject" << "Search message subject" << "Subject"
                                 << "Search message Subject" << "1 : [vclub] clutch cable";
    }
    void searchField()
    {
        QFETCH(QString, menu);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        QFETCH(QString, captionAfter);
        QFETCH(QString, tipAfter);
        QFETCH(QString, hit);
        auto w = start(fieldRecords());
        QAction *chosen = action(w.get(), qPrintable(menu));
        // Twice: choosing the entry already checked keeps its mark.
        for (int i = 0; i < 2; ++i) {
            chosen->trigger();
            QCOMPARE(checked(w.get(), kFieldMenus), QStringList{menu});
            QCOMPARE(cmdGo(w.get())->text(), caption);
            QCOMPARE(cmdGo(w.get())->toolTip(), tip);
        }
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), QStringList{hit});
        QCOMPARE(cmdGo(w.get())->text(), captionAfter);
        QCOMPARE(cmdGo(w.get())->toolTip(), tipAfter);
    }

    void bodyWinsOverAuthor()
    {
        auto w = start(fieldRecords());
        action(w.get(), "MenuSearchAuthor")->setChecked(true);
        action(w.get(), "MenuSearchBody")->setChecked(true);
        search(w.get(), QStringLiteral("clutch"));
        QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), QStringList{"3 : [vclub] third"});
    }

    void wildcardMode_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("hits");
        QTest::newRow("bracket") << "MenuKeyBracket"
                                 << QStringList{"1 : [vclub]red", "2 : [vclub]redcar", "3 : [vclub]bigred",
                                                "4 : [vclub]a red b"};
        QTest::newRow("append") << "MenuKeyAppend" << QStringList{"1 : [vclub]red", "2 : [vclub]redcar"};
        QTest::newRow("preface") << "MenuKeyPreface" << QStringList{"1 : [vclub]red", "3 : [vclub]bigred"};
        QTest::newRow("none") << "MenuKeyNone" << QStringList{"1 : [vclub]red"};
    }
    void wildcardMode()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, hits);
        auto w = start({titled(1, QStringLiteral("red")), titled(2, QStringLiteral("redcar")),
                        titled(3, QStringLiteral("bigred")), titled(4, QStringLiteral("a red b")),
                        titled(5, QStringLiteral("blue"))});
        const QString captionBefore = cmdGo(w.get())->text();
        for (int i = 0; i < 2; ++i) {
            action(w.get(), qPrintable(menu))->trigger();
            QCOMPARE(checked(w.get(), kModeMenus), QStringList{menu});
        }
        QCOMPARE(cmdGo(w.get())->text(), captionBefore);
        search(w.get(), QStringLiteral("RED")); // like ignores letter case
        QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), hits);
    }

    void interruptOnlySetsTheFlag()
    {
        auto w = start(fieldRecords());
        const QString label = resultsText(w.get());
        QAction *interrupt = action(w.get(), "MenuOptionsInterrupt");
        interrupt->trigger();
        QVERIFY(w->results()->interruptRequested());
        QVERIFY(!interrupt->isChecked());
        QCOMPARE(resultsText(w.get()), label);
        QCOMPARE(checked(w.get(), kFieldMenus), QStringList{"MenuSearchTitle"});
    }

    // Whole words find a word only where it stands whole; choosing them keeps the wildcard
    // mode chosen before for KnowledgeBase.ini (its sixth line never goes missing) and
    // themselves in Preferences.ini, and a wildcard mode chosen again turns them off.
    void wholeWordsFindWordsAndAreKeptApart()
    {
        auto w = start({titled(1, QStringLiteral(" a new seal")), titled(2, QStringLiteral(" sealant")),
                        titled(3, QStringLiteral(" seals"))});
        action(w.get(), "MenuKeyAppend")->trigger();
        action(w.get(), "MenuKeyWords")->trigger();
        QVERIFY(action(w.get(), "MenuKeyWords")->isChecked());
        QVERIFY(!action(w.get(), "MenuKeyAppend")->isChecked());
        search(w.get(), QStringLiteral("SEAL"));
        QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), QStringList{"1 : [vclub] a new seal"});
        QVERIFY(w->Form_Unload());
        QCOMPARE(Fixtures::readAll(path("KnowledgeBase.ini")).split('\n').value(5).trimmed(), QByteArray("A"));
        QVERIFY(Fixtures::readAll(path("Preferences.ini")).contains("WholeWords=1"));

        w = restart();
        QVERIFY(action(w.get(), "MenuKeyWords")->isChecked());
        action(w.get(), "MenuKeyBracket")->trigger();
        QVERIFY(!action(w.get(), "MenuKeyWords")->isChecked());
        search(w.get(), QStringLiteral("seal"));
        QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 3);
    }

    void goWithAnEmptyBoxOnlyMovesTheFocus()
    {
        auto w = start(fieldRecords());
        auto *box = child<QComboBox>(w.get(), "Combo1");
        auto *list = child<ResultTable>(w.get(), "List1");
        list->hits()->append({{1, 0}});
        EnterCounter enters(box);
        child<QWidget>(w.get(), "List1")->setFocus();
        QTest::mouseClick(cmdGo(w.get()), Qt::LeftButton);
        QVERIFY(box->hasFocus());
        QVERIFY(TestEnv::waitForQueued()); // Go puts its Enter in the queue: it would be in by now
        QCOMPARE(enters.count, 0);
        QCOMPARE(list->count(), 1);
    }

    void goPutsInEnter()
    {
        auto w = start(fieldRecords());
        auto *box = child<QComboBox>(w.get(), "Combo1");
        auto *list = child<ResultTable>(w.get(), "List1");
        list->hits()->append({{9, 0}});
        box->setEditText(QStringLiteral("gearbox"));
        EnterCounter enters(box);
        EnterCounter strays(box, EnterCounter::Elsewhere);
        child<QWidget>(w.get(), "List1")->setFocus();
        QTest::mouseClick(cmdGo(w.get()), Qt::LeftButton);
        // The list is cleared at once; the search follows when the key arrives.
        QCOMPARE(list->count(), 0);
        QCOMPARE(enters.count, 0);
        QTRY_COMPARE(resultsText(w.get()), QStringLiteral(" 1 Found"));
        QCOMPARE(lines(list), QStringList{"4 : [vclub] gearbox"});
        QCOMPARE(enters.count, 1);
        QCOMPARE(strays.count, 0);
    }

    void pickingAHistoryEntrySearchesIt()
    {
        Fixtures::writeAll(path("History.txt"), crlf({"cable", "gearbox", "third"}));
        auto w = start(fieldRecords());
        auto *box = child<QComboBox>(w.get(), "Combo1");
        EnterCounter enters(box);
        EnterCounter strays(box, EnterCounter::Elsewhere);
        // The focus hand-over after start-up is over before the user opens the drop-down.
        QTRY_VERIFY(!w->findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
        box->setFocus();
        box->showPopup();
        QAbstractItemView *view = box->view();
        QTRY_VERIFY(view->isVisible());
        // A release right after the drop-down opened is taken for the end of the opening click.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        const QRect item = view->visualRect(view->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_COMPARE(resultsText(w.get()), QStringLiteral(" 1 Found"));
        QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), QStringList{"4 : [vclub] gearbox"});
        QCOMPARE(box->currentText(), QStringLiteral("gearbox"));
        QVERIFY(TestEnv::waitForQueued());
        QCOMPARE(enters.count, 1);
        QCOMPARE(strays.count, 0);
    }

    void arrowKeysInTheClosedBoxSearchNothing()
    {
        Fixtures::writeAll(path("History.txt"), crlf({"cable", "gearbox"}));
        auto w = start(fieldRecords());
        auto *box = child<QComboBox>(w.get(), "Combo1");
        EnterCounter enters(box);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QVERIFY(TestEnv::waitForQueued());
        QCOMPARE(box->currentText(), QStringLiteral("cable"));
        QCOMPARE(enters.count, 0);
        QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 0);
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestSearchOptions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_searchoptions.moc"
