// SPDX-License-Identifier: GPL-3.0-or-later
// Reading from the keyboard and keeping one's place, through the window with the fake
// browser: the window's keys, the place the cursor keeps after searches, the result
// list's sorting, and the splitter, zoom and last message kept in Preferences.ini.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "store/recordset.h"
#include "store/sqlitestatement.h"
#include "browser/browserpane.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "messagegenerator.h"
#include "search/searchpanel.h"
#include "results/resultline.h"
#include "view/viewer.h"
#include "windowharness.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

namespace {

// Twenty messages; only 14 and 17 say "headlamp", and the authors run backwards, stored
// as the group's pages write them.
QList<MessageRecord> archive()
{
    QList<MessageRecord> records = Fixtures::range(1, 20);
    for (MessageRecord &r : records)
        r.messauthor = QStringLiteral("%1 member &lt;m%2@example.org&gt;").arg(QChar(u'Z' - r.messnum)).arg(r.messnum);
    records[13].message = QStringLiteral("<p>The headlamp switch</p>");
    records[16].message = QStringLiteral("<p>A headlamp again</p>");
    return records;
}

qint32 shown(const WindowHarness &w)
{
    return w.form().viewer()->shownMessageNumber().toInt();
}

void key(const WindowHarness &w, QKeyCombination combination)
{
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : &w.form();
    QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
    QCoreApplication::processEvents();
}

QList<qint32> listedNumbers(const WindowHarness &w)
{
    QList<qint32> numbers;
    auto *list = w.child<ResultTable>("List1");
    for (int row = 0; row < list->count(); ++row)
        numbers << ResultLine::number(list->text(row)).value_or(0);
    return numbers;
}

}

class TestReading : public QObject
{
    Q_OBJECT

private slots:
    // Where a command leaves the cursor, the next step goes on from the message on screen.
    void nextStepFollowsTheMessageOnScreen_data()
    {
        QTest::addColumn<QString>("term"); // searched in the body; empty: typed, not searched
        QTest::addColumn<qint32>("before");
        QTest::addColumn<qint32>("after");
        QTest::newRow("search with hits") << "headlamp" << 14 << 15;
        QTest::newRow("search without hits") << "sunroof" << 6 << 7;
        QTest::newRow("keys typed into the search box") << "" << 6 << 7;
    }
    void nextStepFollowsTheMessageOnScreen()
    {
        QFETCH(QString, term);
        WindowHarness w(archive());
        QVERIFY(w.activated());
        w.child<QScrollBar>("hscroll1")->setValue(6);
        Harness::action(&w.form(), "MenuSearchBody")->trigger();
        if (term.isEmpty()) {
            auto *box = w.child<QComboBox>("Combo1");
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("abc"));
        } else {
            Harness::search(&w.form(), term);
        }
        QFETCH(qint32, before);
        QCOMPARE(shown(w), before);
        QTest::mouseClick(w.child<QToolButton>("H1Up"), Qt::LeftButton);
        QFETCH(qint32, after);
        QCOMPARE(shown(w), after);
    }

    // Each key does what its menu item says, wherever the focus is, and a text box keeps
    // its text: none of them is a key the box uses.
    void windowKeys_data()
    {
        QTest::addColumn<QKeyCombination>("combination");
        QTest::addColumn<QString>("effect");
        QTest::newRow("next message") << QKeyCombination(Qt::CTRL, Qt::Key_PageDown) << "shown 18";
        QTest::newRow("previous message") << QKeyCombination(Qt::CTRL, Qt::Key_PageUp) << "shown 16";
        QTest::newRow("next hit") << QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_PageDown) << "shown 17";
        QTest::newRow("previous hit") << QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_PageUp) << "shown 14";
        QTest::newRow("flag") << QKeyCombination(Qt::CTRL, Qt::Key_D) << "flagged";
        QTest::newRow("search box") << QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_F) << "search box";
        QTest::newRow("zoom in") << QKeyCombination(Qt::CTRL, Qt::Key_Plus) << "zoom 110";
        QTest::newRow("zoom in without shift") << QKeyCombination(Qt::CTRL, Qt::Key_Equal) << "zoom 110";
        QTest::newRow("zoom out") << QKeyCombination(Qt::CTRL, Qt::Key_Minus) << "zoom 90";
        QTest::newRow("help") << QKeyCombination(Qt::NoModifier, Qt::Key_F1) << "help";
    }
    void windowKeys()
    {
        QFETCH(QKeyCombination, combination);
        QFETCH(QString, effect);
        for (const bool inTextBox : {false, true}) {
            WindowHarness w(archive());
            QVERIFY(w.activated());
            // The flag button is enabled once the page has loaded. A loaded page also
            // writes its address into the address bar, so only this row lets pages load.
            if (effect == QLatin1String("flagged"))
                w.fake().setAutoComplete(FakeBrowser::AutoComplete::Immediate);
            Harness::action(&w.form(), "MenuSearchBody")->trigger();
            Harness::search(&w.form(), QStringLiteral("headlamp"));
            w.child<ResultTable>("List1")->setCurrentRow(1); // 17
            QCOMPARE(shown(w), 17);
            auto *address = w.child<QComboBox>("Combo2");
            if (inTextBox) {
                address->setFocus();
                address->setEditText(QStringLiteral("www.example.org"));
                address->lineEdit()->setCursorPosition(4);
            }
            const int navigations = w.fake().navigations().size();
            key(w, combination);
            if (effect.startsWith(QLatin1String("shown ")))
                QCOMPARE(shown(w), effect.mid(6).toInt());
            else if (effect == QLatin1String("flagged"))
                QVERIFY(w.form().archive()->recordset()->field(QStringLiteral("messdate")).toString().startsWith(u"-1"));
            else if (effect == QLatin1String("search box"))
                QVERIFY(w.child<QComboBox>("Combo1")->hasFocus());
            else if (effect.startsWith(QLatin1String("zoom ")))
                QCOMPARE(w.form().browserPane()->zoomPercent(), effect.mid(5).toInt());
            else if (effect == QLatin1String("help"))
                QVERIFY(w.fake().navigations().mid(navigations).join(u' ').contains(QLatin1String("help.html")));
            if (inTextBox) {
                QCOMPARE(address->currentText(), QStringLiteral("www.example.org"));
                if (effect != QLatin1String("search box"))
                    QCOMPARE(address->lineEdit()->cursorPosition(), 4);
            }
        }
    }

    // A step made from the keyboard leaves the focus where it was, so the next key steps
    // again; and the slider's Right goes up, as its thumb moves right.
    void keyStepsRepeat_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<qint32>>("pages");
        QTest::newRow("> with Space") << "H1Up" << int(Qt::Key_Space) << QList<qint32>{5, 6, 7};
        QTest::newRow("slider with Right") << "hscroll1" << int(Qt::Key_Right) << QList<qint32>{5, 6, 7};
        QTest::newRow("slider with Left") << "hscroll1" << int(Qt::Key_Left) << QList<qint32>{3, 2, 1};
    }
    void keyStepsRepeat()
    {
        QFETCH(QString, control);
        QFETCH(int, key);
        WindowHarness w(archive());
        QVERIFY(w.activated());
        w.fake().setAutoComplete(FakeBrowser::AutoComplete::Queued);
        w.child<QScrollBar>("hscroll1")->setValue(4);
        QWidget *target = w.child<QWidget>(qPrintable(control));
        target->setFocus(Qt::TabFocusReason);
        QFETCH(QList<qint32>, pages);
        QList<qint32> got;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            QCoreApplication::processEvents();
            got << shown(w);
        }
        QCOMPARE(got, pages);
        QCOMPARE(QApplication::focusWidget(), target);
    }

    // A header click sorts the hits, the slider steps through them in the new order, and
    // the next search lists in number order again.
    void sortingTheHits()
    {
        WindowHarness w(archive());
        QVERIFY(w.activated());
        Harness::search(&w.form(), QStringLiteral("Subject 1"));
        QCOMPARE(listedNumbers(w), (QList<qint32>{1, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
        auto *list = w.child<ResultTable>("List1");
        QHeaderView *header = list->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(ResultModel::AuthorColumn) + 5, header->height() / 2));
        // Authors run backwards: the highest number has the first name.
        QCOMPARE(listedNumbers(w), (QList<qint32>{19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 1}));
        QCOMPARE(list->hits()->author(0), QStringLiteral("G member <m19@example.org>"));
        QCOMPARE(list->currentRow(), 10); // message 1, still the one shown
        QCOMPARE(shown(w), 1);
        QTest::mouseClick(w.child<QToolButton>("H2Down"), Qt::LeftButton);
        QCOMPARE(shown(w), 10);

        Harness::search(&w.form(), QStringLiteral("Subject 2"));
        QCOMPARE(listedNumbers(w), (QList<qint32>{2, 12, 20})); // every word, anywhere in the subject
        QCOMPARE(list->sortColumn(), int(ResultModel::NumberColumn));
    }

    // The splitter's place, the zoom and the last message read are kept in a file of their
    // own; KnowledgeBase.ini keeps its twelve lines. With the option on, the next start
    // opens on the message last read.
    void placeKeptBetweenRuns()
    {
        WindowHarness w(archive());
        QVERIFY(w.activated());
        auto *list = w.child<ResultTable>("List1");
        const int listHeight = list->height();
        QWidget *splitter = w.child<QWidget>("PanelSplitter");
        QVERIFY(splitter && splitter->isVisible());
        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(10, 1));
        QTest::mouseMove(splitter, QPoint(10, 81));
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(10, 81));
        QCOMPARE(list->height(), listHeight + 80);
        QCOMPARE(w.child<QWidget>("Picture1")->y(), list->geometry().bottom() + 3);
        key(w, QKeyCombination(Qt::CTRL, Qt::Key_Minus));
        Harness::action(&w.form(), "MnuOpenLastMessage")->trigger();
        w.child<QScrollBar>("hscroll1")->setValue(12);

        w.form().close();
        w.restart();
        QVERIFY(w.activated());
        QCOMPARE(Fixtures::readAll(w.path(QStringLiteral("KnowledgeBase.ini"))).count("\r\n"), 12);
        QCOMPARE(w.child<ResultTable>("List1")->height(), listHeight + 80);
        QCOMPARE(w.form().browserPane()->zoomPercent(), 90);
        QCOMPARE(shown(w), 12);
        QCOMPARE(w.cursorNumber(), 12);

        // Hidden and shown again, the knowledge-base panel comes back at the dragged height.
        QTest::mouseClick(w.child<QToolButton>("CmdUpDown"), Qt::LeftButton);
        QVERIFY(!w.child<QWidget>("PanelSplitter")->isVisible());
        QTest::mouseClick(w.child<QToolButton>("CmdUpDown"), Qt::LeftButton);
        QCOMPARE(w.child<ResultTable>("List1")->height(), listHeight + 80);
    }

    // The window's state through a restart, kept in Preferences.ini in device-independent
    // pixels; values no screen or panel can take give the defaults, and the file is mended.
    void windowStateRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("lines"); // written over Preferences.ini before the restart; empty: as saved
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QString>("window"); // the normal place written at the second exit
        QTest::addColumn<QString>("share");
        QTest::newRow("maximised, splitter moved") << QByteArray() << true << "40,30,500,420" << "0.5";
        QTest::newRow("normal with a position") << QByteArray() << false << "40,30,500,420" << "0.5";
        QTest::newRow("off every screen, a share above 1")
            << QByteArray("Window=9000,9000,500,420\r\nPanelShare=1.5\r\n") << false << "centred" << "0.000000";
        QTest::newRow("a negative size") << QByteArray("Window=40,30,-500,420\r\nPanelShare=0.5\r\n") << false
                                         << "40,30,500,420" << "0.5";
    }
    void windowStateRoundTrip()
    {
        QFETCH(QByteArray, lines);
        QFETCH(bool, maximised);
        QFETCH(QString, window);
        QFETCH(QString, share);
        WindowHarness w(archive());
        QVERIFY(w.activated());
        w.form().move(40, 30);
        w.form().resize(500, 420);
        QWidget *splitter = w.child<QWidget>("PanelSplitter");
        const int panels = w.child<QWidget>("Picture1")->geometry().bottom() + 1;
        const int target = panels / 2;
        const QPoint from(10, 1);
        QTest::mousePress(splitter, Qt::LeftButton, {}, from);
        QTest::mouseMove(splitter, from + QPoint(0, target - w.child<QWidget>("Picture1")->y()));
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, from + QPoint(0, target - w.child<QWidget>("Picture1")->y()));
        if (maximised)
            w.form().showMaximized();
        w.form().close();
        const QString prefs = w.path(QStringLiteral("Preferences.ini"));
        if (!lines.isEmpty())
            Fixtures::writeAll(prefs, Fixtures::readAll(prefs) + lines);
        w.restart();
        QVERIFY(w.activated());
        QCOMPARE(w.form().isMaximized(), maximised);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(w.form().frameGeometry().topLeft()));
        auto *picture = w.child<QWidget>("Picture1");
        // The message keeps at least a third of the window.
        QVERIFY(picture->height() >= w.form().centralWidget()->height() / 3 - 1);
        w.form().close();
        const QByteArray written = Fixtures::readAll(prefs);
        QCOMPARE(Fixtures::readAll(w.path(QStringLiteral("KnowledgeBase.ini"))).count("\r\n"), 12);
        QRect expected(40, 30, 500, 420);
        if (window == QLatin1String("centred"))
            expected.moveCenter(screen.center());
        QVERIFY2(written.contains(QStringLiteral("\r\nWindow=%1,%2,%3,%4\r\n").arg(expected.x()).arg(expected.y())
                                      .arg(expected.width()).arg(expected.height()).toLatin1()) || window == QLatin1String("centred"),
                 written.constData());
        const double kept = written.mid(written.indexOf("PanelShare=") + 11, 8).toDouble();
        QVERIFY2(qAbs(kept - share.toDouble()) < 0.02, written.constData());
    }

    // The shown message's conversation is listed with it selected, whatever reply and
    // forward prefixes and list tags its messages carry; the keys step through it.
    void conversationListed()
    {
        QList<MessageRecord> records = archive();
        const QStringList titles = {QStringLiteral("[vclub] Brake squeal"), QStringLiteral("Re: [vclub] brake squeal"),
                                    QStringLiteral("[vclub] RE: Fwd: Brake  squeal"), QStringLiteral("[vclub] Re[2]: BRAKE SQUEAL"),
                                    QStringLiteral("[vclub] Brake squeal fixed")};
        const int numbers[] = {3, 8, 11, 15, 19};
        for (int i = 0; i < 5; ++i)
            records[numbers[i] - 1].messtitle = titles.at(i);
        WindowHarness w(records);
        QVERIFY(w.activated());
        w.fake().setAutoComplete(FakeBrowser::AutoComplete::Immediate);
        w.child<QScrollBar>("hscroll1")->setValue(11);
        QVERIFY(w.child<QToolButton>("CmdConversation")->isEnabled());
        key(w, QKeyCombination(Qt::CTRL, Qt::Key_T));
        // The count made from the table itself: every title ending in the words, less the one
        // that says more.
        SqliteStatement count;
        QVERIFY(count.prepare(w.form().archive()->recordset()->connection(),
                              "SELECT messnum FROM veltra WHERE messtitle LIKE '%squeal' ORDER BY messnum", false));
        QList<qint32> expected;
        while (count.step() == SqliteStatement::Step::Row)
            expected << qint32(count.columnInt64(0));
        count.finalize();
        QCOMPARE(listedNumbers(w), expected);
        QCOMPARE(expected.size(), 4);
        QCOMPARE(w.child<QLabel>("lblResults")->text(), QStringLiteral(" 4 Found"));
        QCOMPARE(shown(w), 11);
        QCOMPARE(w.child<ResultTable>("List1")->currentRow(), 2);
        key(w, QKeyCombination(Qt::ALT, Qt::Key_PageDown));
        QCOMPARE(shown(w), 15);
        key(w, QKeyCombination(Qt::ALT, Qt::Key_PageDown));
        QCOMPARE(shown(w), 15); // the last of it
        key(w, QKeyCombination(Qt::ALT, Qt::Key_PageUp));
        QCOMPARE(shown(w), 11);
    }

    // On the demo archive, the first message's conversation is every message whose subject
    // ends in its words after nothing but the list's tag and reply prefixes: counted here
    // through SQLite from the stored subjects.
    void conversationOnTheDemoArchive()
    {
        WindowHarness w(MessageGenerator::generate(1, 2900));
        QVERIFY(w.activated());
        w.fake().setAutoComplete(FakeBrowser::AutoComplete::Immediate);
        // Shown again now that pages finish loading, so the page's commands are on.
        w.child<QScrollBar>("hscroll1")->setValue(2);
        w.child<QScrollBar>("hscroll1")->setValue(1);
        QCOMPARE(shown(w), 1);
        const QString first = w.form().archive()->recordset()->field(QStringLiteral("messtitle")).toString();
        const QString words = first.mid(MessageGenerator::subjectLead().size());
        SqliteStatement titles;
        QVERIFY(titles.prepare(w.form().archive()->recordset()->connection(),
                               "SELECT messnum, substr(messtitle, 1, length(messtitle) - length(?1)) FROM veltra"
                               " WHERE messtitle LIKE '%' || ?1 ORDER BY messnum",
                               false));
        QVERIFY(titles.bindText(1, words));
        static const QRegularExpression prefixes(QStringLiteral("^(\\s*(\\[\\w+\\]|(re|fwd?|aw|sv)(\\[\\d+\\])?:))*\\s*$"),
                                                 QRegularExpression::CaseInsensitiveOption);
        QList<qint32> expected;
        while (titles.step() == SqliteStatement::Step::Row) {
            if (prefixes.match(titles.columnText(1)).hasMatch())
                expected << qint32(titles.columnInt64(0));
        }
        titles.finalize();
        QVERIFY(expected.size() > 10);
        key(w, QKeyCombination(Qt::CTRL, Qt::Key_T));
        QCOMPARE(listedNumbers(w), expected);
        QCOMPARE(w.child<QLabel>("lblResults")->text(), QStringLiteral(" %1 Found").arg(expected.size()));
        QCOMPARE(shown(w), 1);
    }

    // A preferences file that cannot be read gives the defaults; one a later version wrote
    // is left as it is.
    void unreadablePreferences_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("keptAsItWas");
        QTest::newRow("damaged") << QByteArray("\x7f" "ELF\0\0garbage", 12) << false;
        QTest::newRow("later version") << QByteArray("[Veltra Knowledgebase preferences]\r\nFormat=9\r\nZoom=300\r\n")
                                       << true;
    }
    void unreadablePreferences()
    {
        QFETCH(QByteArray, bytes);
        WindowHarness w(archive());
        Fixtures::writeAll(w.path(QStringLiteral("Preferences.ini")), bytes);
        w.restart();
        QVERIFY(w.activated());
        QCOMPARE(w.form().browserPane()->zoomPercent(), 100);
        QCOMPARE(shown(w), 1);
        w.form().close();
        w.restart();
        QFETCH(bool, keptAsItWas);
        QCOMPARE(Fixtures::readAll(w.path(QStringLiteral("Preferences.ini"))) == bytes, keptAsItWas);
    }
};

QTEST_MAIN(TestReading)
#include "tst_reading.moc"
