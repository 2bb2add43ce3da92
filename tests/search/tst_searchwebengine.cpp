// SPDX-License-Identifier: GPL-3.0-or-later
// A search from end to end with the real browser engine: a term typed into the search box,
// Enter, and the first hit's page in the browser with the hits in the list and the
// searched words found in it.
#include "app/form1.h"
#include "browser/webenginebrowser.h"
#include "fixtures.h"
#include "windowharness.h"
#include "testenv.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QWebEnginePage>
#include <QtTest>

#include <memory>

using namespace Harness;

class TestSearchWebEngine final : public QObject
{
    Q_OBJECT

private slots:
    void typedTermShowsTheFirstHit()
    {
        DataFolder folder;
        QVERIFY(folder.isValid());
        QList<MessageRecord> records = Fixtures::range(1, 30);
        records[11].messtitle = QStringLiteral("[vclub] Clutch cable snapped");
        records[11].message = QStringLiteral("<tt>The clutch cable went on the motorway.</tt>");
        records[24].messtitle = QStringLiteral("[vclub] Re: Clutch cable snapped");
        QVERIFY(Fixtures::writeDatabase(folder.path("veltra.mdb"), records));

        auto *browser = new WebEngineBrowser;
        Form1 w(AppConfig{}, browser);
        w.showAsLoaded();
        // Activation sets "... V3.4.1"; the message page it shows then makes it "... V3.4".
        QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().startsWith(QLatin1String("Veltra Knowledgebase V3.4")), 5000);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Start-up shows message 1 first; the search must replace it.
        QTRY_VERIFY_WITH_TIMEOUT(browser->documentUrl().endsWith(QLatin1String("tempfile.htm")), 20000);

        QSignalSpy found(browser, &Browser::findTextResult);
        auto *box = child<QComboBox>(&w, "Combo1");
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("clutch cable"));
        QTest::keyClick(box, Qt::Key_Return);

        QCOMPARE(lines(child<ResultTable>(&w, "List1")),
                 (QStringList{"12 : [vclub] Clutch cable snapped", "25 : [vclub] Re: Clutch cable snapped"}));
        QCOMPARE(child<QLabel>(&w, "lblResults")->text(), QStringLiteral(" 2 Found"));
        // Each poll asks again; answers still on their way when the window goes (they are
        // given then) must not write into a variable of this function that is gone.
        const auto text = std::make_shared<QString>();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                browser->page()->toPlainText([text](const QString &t) { *text = t; });
                return text->contains(QLatin1String("The clutch cable went on the motorway."));
            }(),
            20000);
        QVERIFY(browser->documentUrl().endsWith(QLatin1String("tempfile.htm")));
        QCOMPARE(child<ResultTable>(&w, "List1")->currentRow(), 0);

        // The first word is found by the engine in the subject and the body, the first
        // occurrence current; F3 moves to the next. The page file is left as written.
        const QByteArray page = Fixtures::readAll(folder.path("tempfile.htm"));
        QTRY_VERIFY_WITH_TIMEOUT(!found.isEmpty(), 10000);
        QCOMPARE(found.last(), (QList<QVariant>{2, 1}));
        QTest::keyClick(&w, Qt::Key_F3);
        QTRY_COMPARE_WITH_TIMEOUT(found.last(), (QList<QVariant>{2, 2}), 10000);
        QCOMPARE(Fixtures::readAll(folder.path("tempfile.htm")), page);
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestSearchWebEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_searchwebengine.moc"
