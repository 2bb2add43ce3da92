// SPDX-License-Identifier: GPL-3.0-or-later
// The history and address list editor in the window, with the fake browser: opening on
// an empty list, editing and deleting entries, saving and undoing, switching lists, the
// clear commands, the deletion panel, and edited entries through a restart.
#include "app/form1.h"
#include "lists/listeditor.h"
#include "fixtures.h"
#include "windowharness.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace Harness;

namespace {

struct Editor
{
    QWidget *panel;
    QListWidget *list;
    QLineEdit *text;
    QPushButton *del;
    QPushButton *change;
    QPushButton *save;
    QPushButton *undo;
    QLineEdit *null;

    // Which of Delete, Change and Save / Exit are enabled, as "DCS" with "-" for off.
    QString buttons() const
    {
        return QString(del->isEnabled() ? u'D' : u'-') + (change->isEnabled() ? u'C' : u'-')
               + (save->isEnabled() ? u'S' : u'-');
    }
};

Editor editor(QWidget *w)
{
    return {child<QWidget>(w, "PicEdit"),      child<QListWidget>(w, "LstEdit"),
            child<QLineEdit>(w, "Text1"),       child<QPushButton>(w, "CmdDelete"),
            child<QPushButton>(w, "Command2"),  child<QPushButton>(w, "cmdSaveExit"),
            child<QPushButton>(w, "CmdExit"),   child<QLineEdit>(w, "TxtNull")};
}

QComboBox *combo(QWidget *w, const char *name)
{
    return child<QComboBox>(w, name);
}

// A click on the entry, as the user makes it.
void select(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

QStringList listSort(QWidget *w)
{
    return lines(child<QListWidget>(w, "ListSort"));
}

}

class TestListEditor final : public Harness::WindowTest
{
    Q_OBJECT

    // History.txt and UrlList.txt for the next start.
    void lists(const QByteArray &history, const QByteArray &urls)
    {
        Fixtures::writeAll(path("History.txt"), history);
        Fixtures::writeAll(path("UrlList.txt"), urls);
    }

private slots:
    void openingOnAnEmptyListDoesNothing_data();
    void openingOnAnEmptyListDoesNothing();
    void editingTheHistory();
    void undoLeavesTheListAsItWas_data();
    void undoLeavesTheListAsItWas();
    void editorAndDeletionPanelHideEachOther();
    void clearCommands();
    void clearingDuringASearchKeepsItsTerm();
    void editedEntriesSurviveARestart();
};

void TestListEditor::openingOnAnEmptyListDoesNothing_data()
{
    QTest::addColumn<QByteArray>("history");
    QTest::addColumn<QByteArray>("urls");
    QTest::addColumn<QString>("menu");
    QTest::newRow("empty history") << QByteArray() << crlf({"http://a.example/"}) << "MnuEditHistory";
    QTest::newRow("empty address list") << crlf({"clutch"}) << QByteArray() << "MnuEditAddress";
}

void TestListEditor::openingOnAnEmptyListDoesNothing()
{
    QFETCH(QByteArray, history);
    QFETCH(QByteArray, urls);
    QFETCH(QString, menu);
    lists(history, urls);
    auto w = start(Fixtures::range(1, 3));
    Editor e = editor(w.get());
    action(w.get(), "MnuDelete")->trigger();
    action(w.get(), qPrintable(menu))->trigger();
    QVERIFY(!e.panel->isVisible());
    QVERIFY(child<QWidget>(w.get(), "PicDeleteMarked")->isVisible());
    QCOMPARE(w->listEditor()->editedList(), QString());
    QCOMPARE(e.list->count(), 0);
}

void TestListEditor::editingTheHistory()
{
    lists(crlf({"A", "B", "C"}), crlf({"http://a.example/"}));
    auto w = start({titled(1, " A B C N"), titled(2, " other")});
    Editor e = editor(w.get());
    QComboBox *box = combo(w.get(), "Combo1");

    action(w.get(), "MnuEditHistory")->trigger();
    QVERIFY(e.panel->isVisible());
    QCOMPARE(w->listEditor()->editedList(), QStringLiteral("history"));
    QCOMPARE(lines(e.list), (QStringList{"A", "B", "C"}));
    QVERIFY(e.list->selectedItems().isEmpty());
    QCOMPARE(e.buttons(), QStringLiteral("---"));

    // Tabbing into the list makes its first entry current but selects none: typing does
    // not offer "Change".
    e.list->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(e.text, QStringLiteral("typed"));
    QCOMPARE(e.buttons(), QStringLiteral("---"));

    select(e.list, 1);
    QCOMPARE(e.text->text(), QStringLiteral("B"));
    QCOMPARE(e.buttons(), QStringLiteral("D--"));
    QTest::keyClicks(e.text, QStringLiteral("xyz"));
    QCOMPARE(e.buttons(), QStringLiteral("DC-"));
    // Another entry, by arrow key: the typed text is gone and "Change" is off again.
    e.list->setFocus();
    QTest::keyClick(e.list, Qt::Key_Down);
    QCOMPARE(e.text->text(), QStringLiteral("C"));
    QCOMPARE(e.buttons(), QStringLiteral("D--"));
    QCOMPARE(lines(e.list), (QStringList{"A", "B", "C"}));

    // "Change" with an empty edit box makes an empty entry.
    e.text->selectAll();
    QTest::keyClick(e.text, Qt::Key_Backspace);
    QCOMPARE(e.buttons(), QStringLiteral("DC-"));
    e.change->click();
    QCOMPARE(lines(e.list), (QStringList{"A", "B", ""}));
    QCOMPARE(e.buttons(), QStringLiteral("D-S"));
    QCOMPARE(QApplication::focusWidget(), e.null);

    select(e.list, 0);
    QTest::keyClicks(e.text, QStringLiteral("q"));
    e.del->click();
    QCOMPARE(lines(e.list), (QStringList{"B", ""}));
    QVERIFY(e.list->selectedItems().isEmpty());
    QCOMPARE(e.text->text(), QString());
    QCOMPARE(e.buttons(), QStringLiteral("-CS")); // "Change" stays on
    QCOMPARE(QApplication::focusWidget(), e.null);
    // Without a selection "Change" touches no entry.
    e.text->setText(QStringLiteral("new"));
    e.change->click();
    QCOMPARE(lines(e.list), (QStringList{"B", ""}));
    QCOMPARE(e.buttons(), QStringLiteral("--S"));
    QCOMPARE(entries(box), (QStringList{"A", "B", "C"})); // nothing saved yet

    box->setEditText(QStringLiteral("typed"));
    e.save->click();
    QVERIFY(!e.panel->isVisible());
    QCOMPARE(e.buttons(), QStringLiteral("---"));
    QCOMPARE(entries(box), (QStringList{"B", ""}));
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(listSort(w.get()), (QStringList{"B", ""}));
    QCOMPARE(entries(combo(w.get(), "Combo2")), QStringList{"http://a.example/"});

    // A new term goes on top of the edited entries, which follow in reverse order;
    // the deleted one does not come back.
    search(w.get(), QStringLiteral("N"));
    QCOMPARE(entries(box), (QStringList{"N", "", "B"}));
    search(w.get(), QStringLiteral("A"));
    QCOMPARE(entries(box), (QStringList{"A", "N", "", "B"}));

    QVERIFY(w->Form_Unload());
    QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"A", "N", "", "B"}));
}

void TestListEditor::undoLeavesTheListAsItWas_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("box");
    QTest::newRow("history") << "MnuEditHistory" << "Combo1";
    QTest::newRow("address list") << "MnuEditAddress" << "Combo2";
}

void TestListEditor::undoLeavesTheListAsItWas()
{
    QFETCH(QString, menu);
    QFETCH(QString, box);
    const QStringList original{"one", "two", "three", "four"};
    lists(crlf({"one", "two", "three", "four"}), crlf({"one", "two", "three", "four"}));
    auto w = start(Fixtures::range(1, 3));
    Editor e = editor(w.get());
    QComboBox *target = combo(w.get(), qPrintable(box));
    target->setEditText(QStringLiteral("as typed"));

    action(w.get(), qPrintable(menu))->trigger();
    select(e.list, 0);
    e.del->click();
    select(e.list, 1);
    e.text->setText(QStringLiteral("changed"));
    e.change->click();
    select(e.list, 2);
    e.del->click();
    select(e.list, 0);
    QTest::keyClicks(e.text, QStringLiteral("!"));
    QCOMPARE(e.buttons(), QStringLiteral("DCS"));
    e.undo->click();

    QVERIFY(!e.panel->isVisible());
    QCOMPARE(entries(target), original);
    QCOMPARE(target->currentText(), QStringLiteral("as typed"));
    QCOMPARE(listSort(w.get()), original);
    // "Change" keeps its state; the edit box its text until an entry is selected.
    QCOMPARE(e.buttons(), QStringLiteral("-C-"));

    // Opened again, the editor shows the list, not the abandoned copy.
    action(w.get(), qPrintable(menu))->trigger();
    QCOMPARE(lines(e.list), original);
    QCOMPARE(e.text->text(), QStringLiteral("two!"));
    select(e.list, 3);
    QCOMPARE(e.text->text(), QStringLiteral("four"));
}

void TestListEditor::editorAndDeletionPanelHideEachOther()
{
    lists(crlf({"clutch"}), crlf({"http://a.example/"}));
    auto w = start(Fixtures::range(1, 3));
    Editor e = editor(w.get());
    QWidget *deletion = child<QWidget>(w.get(), "PicDeleteMarked");

    action(w.get(), "MnuDelete")->trigger();
    QVERIFY(deletion->isVisible());
    action(w.get(), "MnuEditAddress")->trigger();
    QVERIFY(e.panel->isVisible());
    QVERIFY(!deletion->isVisible());
    e.undo->click();
    QVERIFY(!e.panel->isVisible());
    QVERIFY(!deletion->isVisible());

    action(w.get(), "MnuEditHistory")->trigger();
    action(w.get(), "MnuDelete")->trigger();
    QVERIFY(!e.panel->isVisible());
    QVERIFY(deletion->isVisible());
}

void TestListEditor::clearCommands()
{
    lists(crlf({"A", "B"}), crlf({"http://a.example/", "http://b.example/"}));
    auto w = start({titled(1, " N")});
    QComboBox *history = combo(w.get(), "Combo1");
    QComboBox *urls = combo(w.get(), "Combo2");
    history->setEditText(QStringLiteral("typed"));
    urls->setEditText(QStringLiteral("http://c.example/"));

    action(w.get(), "MnuClearHistory")->trigger();
    QCOMPARE(history->count(), 0);
    QCOMPARE(history->currentText(), QString());
    QCOMPARE(listSort(w.get()), QStringList());
    QCOMPARE(entries(urls), (QStringList{"http://a.example/", "http://b.example/"}));
    // The cleared entries do not come back with the next term.
    search(w.get(), QStringLiteral("N"));
    QCOMPARE(entries(history), QStringList{"N"});

    action(w.get(), "MnuClearAddress")->trigger();
    QCOMPARE(urls->count(), 0);
    QCOMPARE(urls->currentText(), QString());
    QCOMPARE(entries(history), QStringList{"N"});

    QVERIFY(w->Form_Unload());
    QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"N"}));
    QCOMPARE(Fixtures::readAll(path("UrlList.txt")), QByteArray());
}

void TestListEditor::clearingDuringASearchKeepsItsTerm()
{
    lists(crlf({"A", "B"}), QByteArray());
    QList<MessageRecord> records;
    for (int n = 1; n <= 40; ++n)
        records << titled(n, QStringLiteral(" clutch"));
    auto w = start(records);
    auto *list1 = child<ResultTable>(w.get(), "List1");
    auto *timer = new QTimer(w.get());
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, w.get(), [&] {
        if (list1->count() >= 3) {
            timer->stop();
            action(w.get(), "MnuClearHistory")->trigger();
        }
    });
    timer->start();
    search(w.get(), QStringLiteral("clutch"));
    QVERIFY(!timer->isActive());
    QCOMPARE(list1->count(), 40);
    // The search records its own term, not an empty one, in the cleared history.
    QCOMPARE(entries(combo(w.get(), "Combo1")), QStringList{"clutch"});
    QCOMPARE(listSort(w.get()), QStringList{"clutch"});
}

void TestListEditor::editedEntriesSurviveARestart()
{
    // An address longer than an edit box takes by default is not cut when selected.
    const QByteArray longAddress = "http://a.example/" + QByteArray(40000, 'a');
    lists(crlf({"A", "B", "C", "D"}), longAddress + "\r\n");
    auto w = start(Fixtures::range(1, 3));
    Editor e = editor(w.get());
    action(w.get(), "MnuEditAddress")->trigger();
    select(e.list, 0);
    QCOMPARE(e.text->text(), QString::fromLatin1(longAddress));
    QCOMPARE(e.buttons(), QStringLiteral("D--"));
    e.del->click();

    const QString longEntry = QStringLiteral("\"a, b\" ") + QString(9993, u'x');
    // Opening the other list throws the unsaved deletion away: the save goes to the history.
    action(w.get(), "MnuEditHistory")->trigger();
    QCOMPARE(w->listEditor()->editedList(), QStringLiteral("history"));
    const QStringList edited{longEntry, QStringLiteral("\"for the clutch\""), QStringLiteral(u"日本 car, €"), QString()};
    for (int row = 0; row < edited.size(); ++row) {
        select(e.list, row);
        e.text->setText(edited.at(row));
        e.change->click();
    }
    QCOMPARE(lines(e.list), edited);
    e.save->click();
    QCOMPARE(entries(combo(w.get(), "Combo2")), QStringList{QString::fromLatin1(longAddress)});
    action(w.get(), "MnuEditAddress")->trigger();
    select(e.list, 0);
    e.text->setText(QStringLiteral(" http://a.example/?q=1,2 "));
    e.change->click();
    e.save->click();
    w->close();
    w.reset();

    w = restart();
    QCOMPARE(entries(combo(w.get(), "Combo1")),
             (QStringList{longEntry, QStringLiteral("\"for the clutch\""), QStringLiteral(u"?? car, €"), QString()}));
    QCOMPARE(listSort(w.get()), entries(combo(w.get(), "Combo1")));
    QCOMPARE(entries(combo(w.get(), "Combo2")), QStringList{" http://a.example/?q=1,2 "});
}

QTEST_MAIN(TestListEditor)
#include "tst_listeditor.moc"
