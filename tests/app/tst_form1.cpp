// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, shut-down, busy states and the focus hand-over of the window, with the fake browser.
#include "app/form1.h"
#include "widgets/busystates.h"
#include "archive/messagearchive.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include "testtext.h"
#include "windowharness.h"

#include <memory>

using namespace Harness;

class TestForm1 : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void firstStartWithoutFiles()
    {
        QList<MessageRecord> records = Fixtures::range(1, 5);
        records << Fixtures::message(9); // a gap: the count and the last number differ
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), records));
        auto w = restart();
        QCOMPARE(w->archive()->folder(), QDir::currentPath());
        QCOMPARE(child<QLabel>(w.get(), "LblUpdateStatus")->text(), QStringLiteral("6 Messages - Last # 9"));
        QCOMPARE(w->archive()->messageCount(), 6);
        QCOMPARE(w->archive()->lastMessageNumber(), 9);
        auto *hscroll1 = child<QScrollBar>(w.get(), "hscroll1");
        QCOMPARE(hscroll1->maximum(), 9);
        QCOMPARE(hscroll1->value(), 1);
        QVERIFY(action(w.get(), "MenuSearchTitle")->isChecked());
        QVERIFY(!action(w.get(), "MenuSearchBody")->isChecked());
        QVERIFY(!action(w.get(), "MenuSearchAuthor")->isChecked());
        QVERIFY(action(w.get(), "MenuKeyBracket")->isChecked());
        for (const char *name : {"MenuKeyPreface", "MenuKeyAppend", "MenuKeyNone", "MnuOptionsStartPage", "MnuUpdateAuto",
                                 "MnuMinTray"})
            QVERIFY2(!action(w.get(), name)->isChecked(), name);
        for (const char *name : {"MenuFilePrint", "MnuPrintPreview", "MnuPageSetup", "MenuFileSaveAs", "MnuFind"})
            QVERIFY2(action(w.get(), name)->isEnabled(), name);
        QVERIFY(!action(w.get(), "MenuViewOriginal")->isEnabled());
        QCOMPARE(child<QComboBox>(w.get(), "Combo1")->count(), 0);
        QCOMPARE(child<QComboBox>(w.get(), "Combo2")->count(), 0);
        QCOMPARE(child<QWidget>(w.get(), "Picture1")->y(), 100);
        QVERIFY(child<QWidget>(w.get(), "HPic2")->isHidden());
        QCOMPARE(child<QCheckBox>(w.get(), "ChkNoWarn")->checkState(), Qt::Unchecked);
        QCOMPARE(child<QPushButton>(w.get(), "CmdGo")->text(), QStringLiteral("Subject"));
        QVERIFY(fake()->silent());
        QVERIFY(fake()->registeredAsBrowser());
    }

    void historyWithoutAddressListSkipsSettings()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        Fixtures::writeAll(path("History.txt"), crlf({"alpha", "beta, gamma", "  delta"}));
        Fixtures::writeAll(path("KnowledgeBase.ini"),
                           crlf({" 300", " 450", " 9000", " 7000", "Body", "N", " 0", " 0", "True", "True", "True", " 1"}));
        auto w = restart();
        auto *combo1 = child<QComboBox>(w.get(), "Combo1");
        QStringList entries;
        for (int i = 0; i < combo1->count(); ++i)
            entries << combo1->itemText(i);
        QCOMPARE(entries, (QStringList{"alpha", "beta", "gamma", "delta"}));
        QCOMPARE(combo1->currentText(), QString());
        auto *listSort = child<QListWidget>(w.get(), "ListSort");
        QCOMPARE(listSort->count(), 4);
        QCOMPARE(listSort->item(3)->text(), QStringLiteral("delta"));
        QVERIFY(action(w.get(), "MenuSearchTitle")->isChecked());
        QVERIFY(!action(w.get(), "MnuUpdateAuto")->isChecked());
        QCOMPARE(child<QWidget>(w.get(), "Picture1")->y(), 100);
    }

    void allFilesApplied()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        Fixtures::writeAll(path("History.txt"), crlf({"clutch"}));
        Fixtures::writeAll(path("UrlList.txt"), crlf({"www.example.org", "http://a.example/"}));
        Fixtures::writeAll(path("KnowledgeBase.ini"),
                           crlf({" 300", " 450", " 9000", " 7500", "Body", "N", " 0", " 0", "True", "True", "False", " 1"}));
        auto w = restart();
        QCOMPARE(child<QComboBox>(w.get(), "Combo2")->count(), 2);
        QVERIFY(action(w.get(), "MenuSearchBody")->isChecked());
        QVERIFY(!action(w.get(), "MenuSearchTitle")->isChecked());
        QCOMPARE(child<QPushButton>(w.get(), "CmdGo")->text(), QStringLiteral("Body"));
        QCOMPARE(child<QPushButton>(w.get(), "CmdGo")->toolTip(), QStringLiteral("Search message Body"));
        QVERIFY(action(w.get(), "MenuKeyNone")->isChecked());
        QVERIFY(!action(w.get(), "MenuKeyBracket")->isChecked());
        QCOMPARE(child<QWidget>(w.get(), "Picture1")->y(), 0);
        QCOMPARE(child<QToolButton>(w.get(), "CmdUpDown")->toolTip(), QStringLiteral("Show knowledgebase"));
        QVERIFY(action(w.get(), "MnuOptionsStartPage")->isChecked());
        QVERIFY(action(w.get(), "MnuUpdateAuto")->isChecked());
        QVERIFY(!action(w.get(), "MnuMinTray")->isChecked());
        QCOMPARE(child<QCheckBox>(w.get(), "ChkNoWarn")->checkState(), Qt::Checked);
        QCOMPARE(w->size(), QSize(600, 500));
        // The start-page option sends the browser to the club's start page.
        QTRY_VERIFY(fake()->navigations().contains(QStringLiteral("http://www.veltraclub.org")));
    }

    void settingsWithUnknownFieldOrShortFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("subject");
        QTest::addColumn<bool>("bracket");
        QTest::addColumn<QString>("caption");
        QTest::newRow("lower-case body unchecks all") << crlf({" 300", " 450", " 9000", " 7500", "body", "A"}) << false
                                                      << false << "Subject";
        QTest::newRow("four lines") << crlf({" 300", " 450", " 9000", " 7500"}) << true << true << "Subject";
        QTest::newRow("bad number stops at once") << crlf({"abc", " 450", " 9000", " 7500", "Body"}) << true << true
                                                  << "Subject";
    }
    void settingsWithUnknownFieldOrShortFile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, subject);
        QFETCH(bool, bracket);
        QFETCH(QString, caption);
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        Fixtures::writeAll(path("History.txt"), QByteArray());
        Fixtures::writeAll(path("UrlList.txt"), QByteArray());
        Fixtures::writeAll(path("KnowledgeBase.ini"), ini);
        auto w = restart();
        QCOMPARE(action(w.get(), "MenuSearchTitle")->isChecked(), subject);
        QCOMPARE(action(w.get(), "MenuKeyBracket")->isChecked(), bracket);
        QCOMPARE(child<QPushButton>(w.get(), "CmdGo")->text(), caption);
    }

    void hugeWindowSizeIsKeptToTheScreen()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        Fixtures::writeAll(path("History.txt"), QByteArray());
        Fixtures::writeAll(path("UrlList.txt"), QByteArray());
        Fixtures::writeAll(path("KnowledgeBase.ini"), crlf({" 0", " 0", " 2000000000", " 2000000000"}));
        auto w = restart();
        const QSize screen = QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
        QVERIFY(w->width() <= screen.width());
        QVERIFY(w->height() <= screen.height());
    }

    void shutDownWritesTheFilesExactly()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        Fixtures::writeAll(path("History.txt"), crlf({"clutch", "caf\xe9 racer"}));
        Fixtures::writeAll(path("UrlList.txt"), crlf({"www.example.org"}));
        Fixtures::writeAll(path("KnowledgeBase.ini"),
                           crlf({" 300", " 450", " 9000", " 7500", "Author", "P", " 100", " 0", "False", "True", "False",
                                 " 1"}));
        auto w = restart();
        w->close();
        QCOMPARE(Fixtures::readAll(path("KnowledgeBase.ini")),
                 crlf({" 300", " 450", " 9000", " 7500", "Author", "P", " 100", " 0", "False", "True", "False", " 1"}));
        QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"clutch", "caf\xe9 racer"}));
        QCOMPARE(Fixtures::readAll(path("UrlList.txt")), crlf({"www.example.org"}));
    }

    void emptyCheckGroupsKeepTwelveLines()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        auto w = restart();
        for (const char *name : {"MenuSearchTitle", "MenuKeyBracket"})
            action(w.get(), name)->setChecked(false);
        QVERIFY(w->Form_Unload());
        const QList<QByteArray> lines = Fixtures::readAll(path("KnowledgeBase.ini")).split('\n');
        QCOMPARE(lines.size(), 13); // twelve lines and the empty rest after the last CR LF
        QCOMPARE(lines.at(4), QByteArray("Subject\r"));
        QCOMPARE(lines.at(5), QByteArray("B\r"));
    }

    void maximisedWindowSavesNormalBounds()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        auto w = restart();
        const QRect normal = w->geometry();
        w->showMaximized();
        QVERIFY(w->Form_Unload());
        const QList<QByteArray> lines = Fixtures::readAll(path("KnowledgeBase.ini")).split('\n');
        QCOMPARE(lines.at(2).trimmed().toInt(), normal.width() * 15);
        QCOMPARE(lines.at(7), QByteArray(" 2\r"));
    }

    void emptyTable()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), {}));
        auto w = restart();
        QCOMPARE(child<QLabel>(w.get(), "LblUpdateStatus")->text(), QStringLiteral("0 Messages - Last # 0"));
    }

    void missingDatabaseOffersToCreateOne_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("created");
        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
    }
    void missingDatabaseOffersToCreateOne()
    {
        QFETCH(int, answer);
        QFETCH(bool, created);
        ModalAnswerer answerer{QMessageBox::StandardButton(answer)};
        auto w = restart();
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts.first().contains(QStringLiteral("veltra.mdb")));
        QCOMPARE(QFile::exists(path("veltra.mdb")), created);
        QCOMPARE(w->archive()->recordset() != nullptr, created);
        if (created)
            QCOMPARE(child<QLabel>(w.get(), "LblUpdateStatus")->text(), QStringLiteral("0 Messages - Last # 0"));
    }

    void unusableDatabaseIsReportedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text file") << QByteArray("this is not a database\r\n");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("jet header") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\x5a');
    }
    void unusableDatabaseIsReportedAndLeftAlone()
    {
        QFETCH(QByteArray, bytes);
        Fixtures::writeAll(path("veltra.mdb"), bytes);
        ModalAnswerer answerer;
        auto w = restart();
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY2(answerer.texts.first().contains(QStringLiteral("veltra.mdb")), qPrintable(answerer.texts.first()));
        QCOMPARE(w->archive()->recordset(), nullptr);
        w->close();
        QCOMPARE(Fixtures::readAll(path("veltra.mdb")), bytes);
    }

    void unwritableSettingsAreReportedWithoutTouchingTheOthers()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        // A folder where the settings file should be: the write must fail, whoever runs the test.
        QVERIFY(QDir(QDir::currentPath()).mkdir(QStringLiteral("KnowledgeBase.ini")));
        Fixtures::writeAll(path("History.txt"), crlf({"kept"}));
        auto w = restart();
        ModalAnswerer answerer;
        QVERIFY(!w->Form_Unload());
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts.first().contains(QStringLiteral("KnowledgeBase.ini")));
        QVERIFY(QFileInfo(path("KnowledgeBase.ini")).isDir());
        QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"kept"}));
    }

    void busyStates()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        auto w = restart();
        auto *list1 = child<ResultTable>(w.get(), "List1");
        auto *markRange = child<QToolButton>(w.get(), "CmdMarkRange");
        auto *markDelete = child<QToolButton>(w.get(), "CmdMarkDelete");
        const char *panel[] = {"CmdGo", "Combo1", "hscroll1", "hscroll2", "List1", "cmdCheckDelete"};

        w->busy()->EnableOff();
        w->busy()->EnableOff();
        for (const char *name : panel)
            QVERIFY2(!child<QWidget>(w.get(), name)->isEnabled(), name);
        QVERIFY(!markRange->isEnabled());
        QVERIFY(!markDelete->isEnabled());
        w->busy()->EnableOn(); // one EnableOn undoes any number of EnableOff
        for (const char *name : panel)
            QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);
        QVERIFY(!markRange->isEnabled()); // the result list is empty
        QVERIFY(!markDelete->isEnabled());
        list1->hits()->append({{1, 0}});
        w->busy()->EnableOff();
        w->busy()->EnableOn();
        QVERIFY(markRange->isEnabled());
    }

    void webBusyStatesRememberEnabledButtons()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        auto w = restart();
        auto *back = child<QToolButton>(w.get(), "CmdBack");
        auto *forward = child<QToolButton>(w.get(), "CmdForward");
        auto *refresh = child<QToolButton>(w.get(), "CmdRefresh");
        back->setEnabled(false);
        forward->setEnabled(false);
        refresh->setEnabled(false);
        w->busy()->EnableWebOff();
        w->busy()->EnableWebOn();
        QVERIFY(!back->isEnabled());
        for (const char *name : {"CmdHome", "CmdManuals", "CmdReg", "CmdUpDown", "Combo2"})
            QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);

        back->setEnabled(true);
        w->busy()->EnableWebOff();
        for (const char *name : {"CmdBack", "CmdForward", "CmdRefresh", "CmdHome", "CmdManuals", "CmdReg", "CmdUpDown",
                                 "Combo2"})
            QVERIFY2(!child<QWidget>(w.get(), name)->isEnabled(), name);
        QVERIFY(child<QWidget>(w.get(), "cmdYahoo")->isEnabled());
        QVERIFY(child<QWidget>(w.get(), "CmdStop")->isEnabled() == child<QWidget>(w.get(), "CmdStop")->isEnabled());
        w->busy()->EnableWebOn();
        QVERIFY(back->isEnabled());
        // Once seen enabled, back is switched on by every later EnableWebOn.
        back->setEnabled(false);
        w->busy()->EnableWebOff();
        w->busy()->EnableWebOn();
        QVERIFY(back->isEnabled());
        QVERIFY(!forward->isEnabled());
    }

    void focusGoesToTheBrowserOnceAfterStartUp()
    {
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), Fixtures::range(1, 3)));
        auto w = restart();
        w->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(fake()->takeFocusCount(), 1, 2000);
        // The hand-over comes only when Timer2 runs out: once what start-up left queued has run,
        // a Timer2 at rest means no second one is coming.
        QVERIFY(TestEnv::waitForQueued());
        auto *timer2 = w->findChild<QTimer *>(QStringLiteral("Timer2"));
        QVERIFY(!timer2->isActive());
        QCOMPARE(fake()->takeFocusCount(), 1);
        QVERIFY(w->findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
        QVERIFY(!w->findChild<QTimer *>(QStringLiteral("Timer3"))->isActive());
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestForm1 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1.moc"
