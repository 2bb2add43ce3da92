// SPDX-License-Identifier: GPL-3.0-or-later
// The scripted browser the window tests rely on: its sequences keep the real browser's
// order and its records match the calls made.
#include "fakebrowser.h"
#include "testenv.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

namespace {

// Every notification of the browser as a line of text, with the document's title as a
// navigateComplete2 handler reads it.
void record(FakeBrowser &browser, QObject *context, QStringList &log)
{
    QObject::connect(&browser, &Browser::beforeNavigate2, context, [&log](const QString &u) { log << "before " + u; });
    QObject::connect(&browser, &Browser::progressChange, context,
                     [&log](int p, int m) { log << QStringLiteral("progress %1/%2").arg(p).arg(m); });
    QObject::connect(&browser, &Browser::navigateError, context, [&log](const QString &u) { log << "error " + u; });
    QObject::connect(&browser, &Browser::navigateComplete2, context, [&log, &browser](const QString &u) {
        log << "navigated " + u + " [" + browser.documentUrl() + "|" + browser.documentTitle() + "]";
    });
    QObject::connect(&browser, &Browser::downloadComplete, context, [&log] { log << "download"; });
    QObject::connect(&browser, &Browser::documentComplete, context, [&log](const QString &u) { log << "document " + u; });
    QObject::connect(&browser, &Browser::commandStateChange, context,
                     [&log](int c, bool e) { log << QStringLiteral("command %1 %2").arg(c).arg(e ? "on" : "off"); });
}

}

class TestFakeBrowser : public QObject
{
    Q_OBJECT

private slots:
    void sequencesKeepTheOrder_data()
    {
        QTest::addColumn<bool>("failed");
        QTest::newRow("completed") << false;
        QTest::newRow("failed") << true;
    }
    void sequencesKeepTheOrder()
    {
        QFETCH(bool, failed);
        FakeBrowser browser;
        QStringList log;
        record(browser, this, log);
        const QString url = QStringLiteral("http://www.host.org/");
        if (failed)
            browser.failNavigation(url, "T");
        else
            browser.completeNavigation(url, "T");
        QStringList expected{"before " + url, "progress 0/100", "progress 100/100"};
        if (failed)
            expected << "error " + url;
        expected << "navigated " + url + " [" + url + "|T]" << "download" << "document " + url;
        QCOMPARE(log, expected);
    }

    void navigateCompletesAsConfigured_data()
    {
        QTest::addColumn<FakeBrowser::AutoComplete>("mode");
        QTest::addColumn<int>("atOnce");     // documentComplete count when navigate() returns
        QTest::addColumn<int>("afterLoop");  // ... after the event loop has run
        QTest::newRow("off") << FakeBrowser::AutoComplete::Off << 0 << 0;
        QTest::newRow("immediate") << FakeBrowser::AutoComplete::Immediate << 1 << 1;
        QTest::newRow("queued") << FakeBrowser::AutoComplete::Queued << 0 << 1;
    }
    void navigateCompletesAsConfigured()
    {
        QFETCH(FakeBrowser::AutoComplete, mode);
        QFETCH(int, atOnce);
        QFETCH(int, afterLoop);
        FakeBrowser browser;
        browser.setAutoComplete(mode);
        const QString page = QStringLiteral("/data/kb/tempfile.htm");
        const QString url = QStringLiteral("file:///data/kb/tempfile.htm");
        browser.setTitleFor(url, "Message");
        QSignalSpy documents(&browser, &Browser::documentComplete);
        browser.navigate(page);
        QCOMPARE(documents.size(), atOnce);
        QCoreApplication::processEvents();
        QCOMPARE(documents.size(), afterLoop);
        QCOMPARE(browser.navigations(), QStringList{page});
        if (afterLoop > 0) {
            QCOMPARE(documents.first().first().toString(), url);
            QCOMPARE(browser.documentUrl(), url);
            QCOMPARE(browser.documentTitle(), QStringLiteral("Message"));
        }
    }

    void historyStateChangesOnlyWhenItDiffers()
    {
        FakeBrowser browser;
        QStringList log;
        record(browser, this, log);
        browser.setHistoryState(false, false);
        browser.setHistoryState(true, false);
        browser.setHistoryState(true, true);
        browser.setHistoryState(false, true);
        QCOMPARE(log, (QStringList{"command 2 on", "command 1 on", "command 2 off"}));
    }

    void takeFocusFocusesTheWidget()
    {
        FakeBrowser browser;
        QWidget window;
        auto *other = new QWidget(&window);
        other->setFocusPolicy(Qt::StrongFocus);
        browser.widget()->setParent(&window);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), other);
        browser.takeFocus();
        QCOMPARE(browser.takeFocusCount(), 1);
        QTRY_COMPARE(QApplication::focusWidget(), browser.widget());
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestFakeBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fakebrowser.moc"
