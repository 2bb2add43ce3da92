// SPDX-License-Identifier: GPL-3.0-or-later
// TryToDisplay and "Message At Yahoo" in the window, with the fake browser.
#include "app/form1.h"
#include "widgets/busystates.h"
#include "archive/messagearchive.h"
#include "view/viewer.h"
#include "widgets/icons.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "store/recordset.h"
#include "testenv.h"
#include "view/messagepage.h"
#include "windowharness.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

namespace {

const char *const kPageMenus[] = {"MenuFilePrint", "MnuPrintPreview", "MnuPageSetup", "MenuFileSaveAs"};

QList<MessageRecord> messages()
{
    QList<MessageRecord> records = Fixtures::range(1, 3);
    records[1].messdate = QStringLiteral("-1") + records[1].messdate; // message 2 is flagged
    records[2].messtitle = QStringLiteral("[vclub] <b>Snow</b> \u2603");
    records[2].message = QStringLiteral("<p>caf\u00e9 &amp; <script>x()</script></p>");
    return records;
}

void moveTo(WindowHarness &w, qint32 messnum)
{
    QCOMPARE(w.form().archive()->recordset()->findFirst(QStringLiteral("messnum = %1").arg(messnum)), Recordset::FindResult::Found);
}

}

class TestRendering : public QObject
{
    Q_OBJECT

private slots:
    void currentRecordIsWrittenAndShown_data()
    {
        QTest::addColumn<int>("messnum");
        QTest::addColumn<bool>("flagged");
        QTest::newRow("plain") << 1 << false;
        QTest::newRow("flagged") << 2 << true;
        QTest::newRow("markup and a character outside the code page") << 3 << false;
    }
    void currentRecordIsWrittenAndShown()
    {
        QFETCH(int, messnum);
        QFETCH(bool, flagged);
        const QList<MessageRecord> records = messages();
        WindowHarness w(records);
        QVERIFY(w.activated());
        w.fake().clearCalls();
        for (const char *name : kPageMenus)
            w.child<QAction>(name)->setEnabled(false);

        moveTo(w, messnum);
        w.form().viewer()->TryToDisplay();

        QCOMPARE(w.page(), MessagePage::render(records.at(messnum - 1)));
        QCOMPARE(w.form().viewer()->shownMessageNumber(), QString::number(messnum));
        QCOMPARE(w.fake().navigations(), QStringList{w.pagePath()});
        QCOMPARE(w.fake().messagePagePath(), w.pagePath());
        for (const char *name : kPageMenus)
            QVERIFY2(w.child<QAction>(name)->isEnabled(), name);
        auto *button = w.child<QToolButton>("CmdMarkDelete");
        QCOMPARE(button->icon().cacheKey(), (flagged ? Icons::trashIcon() : Icons::saveIcon()).cacheKey());
        QCOMPARE(button->toolTip(), flagged ? QStringLiteral("Remove deletion flag from current message")
                                            : QStringLiteral("Add deletion flag to current message"));
    }

    void switchedOffRenderingStillSetsMenusAndButton()
    {
        WindowHarness w(messages());
        QVERIFY(w.activated());
        const QByteArray before = w.page();
        QCOMPARE(w.pageNumber(), 1);
        w.fake().clearCalls();
        for (const char *name : kPageMenus)
            w.child<QAction>(name)->setEnabled(false);

        w.form().viewer()->pauseRendering(true);
        moveTo(w, 2);
        w.form().viewer()->TryToDisplay();

        QCOMPARE(w.page(), before);
        QCOMPARE(w.form().viewer()->shownMessageNumber(), QStringLiteral("1"));
        QVERIFY(w.fake().navigations().isEmpty());
        for (const char *name : kPageMenus)
            QVERIFY2(w.child<QAction>(name)->isEnabled(), name);
        QCOMPARE(w.child<QToolButton>("CmdMarkDelete")->icon().cacheKey(), Icons::trashIcon().cacheKey());
    }

    void noCurrentRecordRendersNothing()
    {
        WindowHarness w(messages());
        QVERIFY(w.activated());
        const QByteArray before = w.page();
        QVERIFY(w.form().archive()->recordset()->deleteCurrent());
        w.fake().clearCalls();
        w.form().viewer()->TryToDisplay();
        QCOMPARE(w.page(), before);
        QVERIFY(w.fake().navigations().isEmpty());
        QCOMPARE(w.form().viewer()->shownMessageNumber(), QStringLiteral("1"));
    }

    void unwritablePageIsShownFromMemory()
    {
        const QList<MessageRecord> records = messages();
        WindowHarness w(records);
        QVERIFY(w.activated());
        QVERIFY(QFile::remove(w.pagePath()));
        QVERIFY(QDir(w.path(".")).mkdir("tempfile.htm"));
        w.fake().clearCalls();

        moveTo(w, 2);
        w.form().viewer()->TryToDisplay();

        // The page is shown as it would have been written, under the page file's name,
        // and never from an older file.
        QCOMPARE(w.fake().shownPage(), MessagePage::render(records.at(1)));
        QCOMPARE(w.fake().navigations(), QStringList{w.pagePath()});
        QCOMPARE(w.form().viewer()->shownMessageNumber(), QStringLiteral("2"));
        QCOMPARE(w.child<QToolButton>("CmdMarkDelete")->icon().cacheKey(), Icons::trashIcon().cacheKey());
    }

    void messageAtYahoo()
    {
        AppConfig config;
        config.groupServer = QStringLiteral("http://groups.example.test");
        WindowHarness w(Fixtures::range(1, 3), config);
        QVERIFY(w.activated());
        auto *original = w.child<QAction>("MenuViewOriginal");
        original->setEnabled(true); // as the browser does once the message page is in view
        w.fake().clearCalls();

        original->trigger();
        QCOMPARE(w.fake().navigations(), QStringList{"http://groups.example.test/group/veltraclub/message/1"});
        QVERIFY(!w.child<QPushButton>("CmdGo")->isEnabled());
        QVERIFY(!w.child<QScrollBar>("hscroll1")->isEnabled());

        w.form().busy()->EnableOn();
        moveTo(w, 3);
        w.form().viewer()->TryToDisplay();
        w.fake().clearCalls();
        original->trigger();
        QCOMPARE(w.fake().navigations(), QStringList{"http://groups.example.test/group/veltraclub/message/3"});
    }

    void messageAtYahooBeforeAnyMessage()
    {
        WindowHarness w(QList<MessageRecord>{});
        QVERIFY(w.activated());
        QVERIFY(w.form().viewer()->shownMessageNumber().isEmpty());
        auto *original = w.child<QAction>("MenuViewOriginal");
        original->setEnabled(true);
        w.fake().clearCalls();
        original->trigger();
        QVERIFY(w.fake().navigations().isEmpty());
        QVERIFY(!w.child<QPushButton>("CmdGo")->isEnabled());
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestRendering test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rendering.moc"
