// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing in the window with the fake browser: the address bar and the navigation
// commands, the browser's ten notifications, and the page commands.
#include "app/form1.h"
#include "controltext.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "testenv.h"
#include "testtext.h"
#include "windowharness.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int kLongTime = 24 * 60 * 60 * 1000;

AppConfig testConfig()
{
    AppConfig config;
    config.clubHost = QStringLiteral("club.example");
    config.groupServer = QStringLiteral("http://groups.example");
    config.searchServer = QStringLiteral("http://search.example");
    return config;
}

// Counts the key presses a widget receives.
class KeyCounter final : public QObject
{
public:
    explicit KeyCounter(QWidget *target) { target->installEventFilter(this); }
    QList<int> keys;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent *>(event)->keyCombination().toCombined();
        return false;
    }
};

}

class TestBrowsingWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> m_w;

    FakeBrowser &fake() const { return m_w->fake(); }
    QComboBox *combo2() const { return m_w->child<QComboBox>("Combo2"); }
    QTimer *timer2() const { return m_w->timer("Timer2"); }
    bool busy() const { return !m_w->child<ResultTable>("List1")->isEnabled(); }
    // Whether the page now on its way goes into the address list once it has loaded.
    bool recordedOnceLoaded() const
    {
        const QStringList before = ControlText::entries(combo2());
        m_w->fake().completeNavigation(QStringLiteral("http://loaded.example/page"));
        return ControlText::entries(combo2()) != before;
    }
    QString status() const { return m_w->child<QLineEdit>("LblStBar1")->text(); }
    QString messageUrl() const { return QUrl::fromLocalFile(m_w->pagePath()).toString(); }

    void typeAddress(const QString &text)
    {
        QComboBox *bar = combo2();
        bar->setFocus();
        bar->setEditText(text);
        QTest::keyClick(bar, Qt::Key_Return);
    }
    void command(const QString &name)
    {
        if (auto *button = m_w->child<QToolButton>(name.toLatin1().constData()))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            m_w->child<QAction>(name.toLatin1().constData())->trigger();
    }

private slots:
    void init()
    {
        m_w = std::make_unique<WindowHarness>(Fixtures::range(1, 5), testConfig());
        QVERIFY(m_w->activated());
        // The start-up hand-over is over; from here the tests see every enabling.
        timer2()->stop();
        timer2()->setInterval(kLongTime);
        fake().clearCalls();
    }
    void cleanup() { m_w.reset(); }

    void navigationCommands_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("address"); // what navigate() is given; empty: none
        QTest::addColumn<bool>("pending");    // addressNavPending
        QTest::addColumn<bool>("busy");       // EnableOff was called
        QTest::addColumn<bool>("timer2");
        QTest::addColumn<QList<int>>("calls"); // back, forward, refresh, stop

        const QList<int> none{0, 0, 0, 0};
        QTest::newRow("home") << "CmdHome" << "www.club.example" << true << true << true << none;
        QTest::newRow("group") << "cmdYahoo" << "http://groups.example/group/veltraclub/" << true << true << true << none;
        QTest::newRow("registry") << "CmdReg" << "http://club.example/registry.html" << true << true << true << none;
        QTest::newRow("manuals") << "CmdManuals" << "http://club.example/manuals/index.htm" << true << true << true
                                 << none;
        QTest::newRow("news") << "MnuKBNews" << "http://club.example/knowledgebase.html" << true << true << false << none;
        QTest::newRow("about") << "MenuHelpAbout" << "about.html" << false << true << false << none;
        QTest::newRow("help") << "MenuHelpContents" << "help.html" << false << true << false << none;
        QTest::newRow("back") << "CmdBack" << "" << false << false << true << QList<int>{1, 0, 0, 0};
        QTest::newRow("forward") << "CmdForward" << "" << false << false << true << QList<int>{0, 1, 0, 0};
        QTest::newRow("refresh") << "CmdRefresh" << "" << false << true << true << QList<int>{0, 0, 1, 0};
    }
    void navigationCommands()
    {
        QFETCH(QString, control);
        QFETCH(QString, address);
        QFETCH(bool, pending);
        QFETCH(bool, busy);
        QFETCH(bool, timer2);
        QFETCH(QList<int>, calls);
        command(control);
        if (!address.contains(QLatin1Char('/')) && !address.isEmpty() && !address.startsWith(QLatin1String("www.")))
            address = m_w->path(address); // a page in the data folder
        QCOMPARE(fake().navigations(), address.isEmpty() ? QStringList() : QStringList{address});
        QCOMPARE(this->busy(), busy);
        QCOMPARE(this->timer2()->isActive(), timer2);
        QCOMPARE((QList<int>{fake().backCount(), fake().forwardCount(), fake().refreshCount(), fake().stopCount()}),
                 calls);
        QCOMPARE(recordedOnceLoaded(), pending);
    }

    void stopReleasesTheBusyState()
    {
        command("CmdHome");
        QVERIFY(busy());
        command("CmdStop");
        QCOMPARE(fake().stopCount(), 1);
        QVERIFY(!busy());
    }

    void addressBar_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("address"); // empty: nothing happens
        QTest::addColumn<bool>("pending");
        QTest::addColumn<QString>("barAfter");

        QTest::newRow("search term") << "clutch cable" << "http://search.example/search?hl=en&q=clutch+cable" << false
                                     << "";
        QTest::newRow("escaped search") << "R&D #2" << "http://search.example/search?hl=en&q=R%26D+%232" << false << "";
        QTest::newRow("bare host") << "example.org" << "http://example.org" << false << "example.org";
        QTest::newRow("www host") << "www.example.org" << "www.example.org" << true << "www.example.org";
        QTest::newRow("drive letter") << "C:" << "/" << true << "C:";
        QTest::newRow("backslash path") << "C:\\temp" << "" << false << "C:\\temp";
    }
    void addressBar()
    {
        QFETCH(QString, typed);
        QFETCH(QString, address);
        QFETCH(bool, pending);
        QFETCH(QString, barAfter);
        typeAddress(typed);
        QCOMPARE(fake().navigations(), address.isEmpty() ? QStringList() : QStringList{address});
        QCOMPARE(busy(), !address.isEmpty());
        QCOMPARE(combo2()->currentText(), barAfter);
        QCOMPARE(recordedOnceLoaded(), pending);
    }

    void pickingAnEntryNavigatesAsTyping()
    {
        combo2()->addItems({"www.one.example", "www.two.example"});
        combo2()->setCurrentIndex(-1);
        combo2()->showPopup();
        QAbstractItemView *view = combo2()->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        view->setCurrentIndex(view->model()->index(1, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_COMPARE(fake().navigations(), QStringList{"www.two.example"});
        QVERIFY(recordedOnceLoaded());
        // Enter on a listed text is one navigation, not a pick as well.
        fake().clearCalls();
        typeAddress("www.one.example");
        QVERIFY(TestEnv::waitForQueued());
        QCOMPARE(fake().navigations(), QStringList{"www.one.example"});
    }

    void typedAddressIsRecordedAndSaved()
    {
        fake().setAutoComplete(FakeBrowser::AutoComplete::Immediate);
        const QString url = QStringLiteral("http://www.example.org");
        fake().setTitleFor(url, QStringLiteral("Example Domain"));
        typeAddress("www.example.org");
        QCOMPARE(ControlText::entries(combo2()), QStringList{url});
        QCOMPARE(combo2()->currentText(), url);
        QCOMPARE(m_w->form().windowTitle(), QStringLiteral("Example Domain - Veltra Knowledgebase V3.4"));
        QVERIFY(!busy());

        // A link followed from there is not recorded; the bar shows where the browser is.
        fake().completeNavigation(QStringLiteral("http://www.example.org/more"));
        QCOMPARE(ControlText::entries(combo2()), QStringList{url});
        QCOMPARE(combo2()->currentText(), QStringLiteral("http://www.example.org/more"));
        QCOMPARE(m_w->form().windowTitle(), QStringLiteral("Veltra Knowledgebase V3.4"));

        // A text that cannot be an address is reported on one line and saved on one line;
        // what Windows-1252 cannot hold (the mark a pasted invalid byte leaves) becomes "?".
        typeAddress(QStringLiteral("http://bad\nhost"));
        // A usable address comes back in ASCII, so nothing of it is lost.
        typeAddress(QStringLiteral("http://ex\ufffdmple.org/"));
        typeAddress(QStringLiteral("http://www.example.org/caf\u00e9\ufffd"));
        QVERIFY(m_w->form().Form_Unload());
        QCOMPARE(Fixtures::readAll(m_w->path("UrlList.txt")),
                 TestText::crlf({"http://www.example.org/caf%C3%A9%EF%BF%BD", "http://ex?mple.org/", "http://bad%0Ahost",
                                 "http://www.example.org"}));
    }

    void addressListKeepsItsShape_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("after");
        QStringList fifty;
        for (int i = 1; i <= 50; ++i)
            fifty << QStringLiteral("http://site%1.example/").arg(i);
        QTest::newRow("copy in other case") << QStringList{"http://a.example/", "HTTP://WWW.B.EXAMPLE/"}
                                            << "http://www.b.example/"
                                            << QStringList{"http://www.b.example/", "http://a.example/"};
        QTest::newRow("51 entries stay 51") << (fifty + QStringList{"http://last.example/"}) << "http://www.new.example/"
                                            << (QStringList{"http://www.new.example/"} + fifty);
    }
    void addressListKeepsItsShape()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, url);
        QFETCH(QStringList, after);
        combo2()->addItems(before);
        typeAddress("www.typed.example"); // only makes the navigation one from the bar
        fake().completeNavigation(url);
        QCOMPARE(ControlText::entries(combo2()), after);
        // The scratch list holds the same entries, last first.
        QStringList scratch;
        auto *listSort2 = m_w->child<QListWidget>("ListSort2");
        for (int i = listSort2->count() - 1; i >= 0; --i)
            scratch << listSort2->item(i)->text();
        QCOMPARE(scratch, after);
    }

    void messagePageEnablesTheMessageCommands()
    {
        auto *markDelete = m_w->child<QToolButton>("CmdMarkDelete");
        auto *original = m_w->child<QAction>("MenuViewOriginal");
        auto *list = m_w->child<ResultTable>("List1");
        list->hits()->append({{1, 0}});
        combo2()->setEditText(QStringLiteral("typed"));
        timer2()->start();
        fake().completeNavigation(messageUrl());
        QVERIFY(markDelete->isEnabled());
        QVERIFY(original->isEnabled());
        QCOMPARE(combo2()->currentText(), QString());
        QVERIFY(!timer2()->isActive());
        QCOMPARE(QApplication::focusWidget(), list);
        QVERIFY(!m_w->child<QToolButton>("CmdStop")->isEnabled());

        fake().startNavigation(QStringLiteral("http://www.example.org/"));
        QVERIFY(!markDelete->isEnabled());
        QVERIFY(m_w->child<QToolButton>("CmdStop")->isEnabled());
        fake().finishNavigation(QStringLiteral("http://www.example.org/"));
        QVERIFY(!original->isEnabled());
        QVERIFY(timer2()->isActive());
        QVERIFY(!m_w->child<QToolButton>("CmdStop")->isEnabled());
    }

    void navigationErrorHoldsTheStatusLine()
    {
        emit fake().statusTextChange(QStringLiteral("Opening"));
        QCOMPARE(status(), QStringLiteral(" Opening"));
        fake().failNavigation(QStringLiteral("http://127.0.0.1:9/"));
        emit fake().statusTextChange(QStringLiteral("Done"));
        QCOMPARE(status(), QStringLiteral("Unable to navigate to http://127.0.0.1:9/"));
        emit fake().statusTextChange(QStringLiteral("http://elsewhere/"));
        QCOMPARE(status(), QStringLiteral("Unable to navigate to http://127.0.0.1:9/"));
        // A reason the engine gives (an untrusted certificate) follows the address.
        fake().startNavigation(QStringLiteral("https://self-signed.example/"));
        emit fake().navigateError(QStringLiteral("https://self-signed.example/"), QStringLiteral("not trusted"));
        emit fake().statusTextChange(QString());
        QCOMPARE(status(), QStringLiteral("Unable to navigate to https://self-signed.example/ (not trusted)"));

        fake().startNavigation(QStringLiteral("http://next.example/"));
        emit fake().statusTextChange(QStringLiteral("Opening"));
        QCOMPARE(status(), QStringLiteral(" Opening"));
    }

    void progressBar_data()
    {
        QTest::addColumn<QList<int>>("steps"); // progress, maximum, ...
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("zero changes nothing") << QList<int>{0, 500} << 100 << 30;
        QTest::newRow("under way") << QList<int>{50, 200} << 200 << 50;
        QTest::newRow("done empties the bar") << QList<int>{200, 200} << 200 << 0;
        QTest::newRow("final -1 leaves it") << QList<int>{-1, 100} << 100 << 30;
        QTest::newRow("-1 of -1 empties it") << QList<int>{-1, -1} << 100 << 0;
        QTest::newRow("refused maximum") << QList<int>{20, 0} << 100 << 0;
        QTest::newRow("refused value") << QList<int>{150, 120} << 120 << 0;
    }
    void progressBar()
    {
        QFETCH(QList<int>, steps);
        QFETCH(int, maximum);
        QFETCH(int, value);
        auto *bar = m_w->child<QProgressBar>("PBar1");
        bar->setMaximum(100);
        bar->setValue(30);
        for (int i = 0; i + 1 < steps.size(); i += 2)
            emit fake().progressChange(steps.at(i), steps.at(i + 1));
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), value);
    }

    void buttonsLockAndPopups()
    {
        auto *back = m_w->child<QToolButton>("CmdBack");
        auto *forward = m_w->child<QToolButton>("CmdForward");
        fake().setHistoryState(true, true);
        fake().setHistoryState(false, true);
        QVERIFY(!back->isEnabled());
        QVERIFY(forward->isEnabled());
        emit fake().commandStateChange(3, false);
        QVERIFY(forward->isEnabled());

        auto *lock = m_w->child<QLabel>("PicLock");
        for (const auto &[level, visible] : {std::pair{1, true}, {0, false}, {2, true}, {-1, false}}) {
            emit fake().setSecureLockIcon(level);
            QCOMPARE(lock->isVisibleTo(&m_w->form()), visible);
        }

        timer2()->start();
        emit fake().newWindow2();
        QVERIFY(!timer2()->isActive());
    }

    void startPageOption()
    {
        auto *startPage = m_w->child<QAction>("MnuOptionsStartPage");
        QCOMPARE(startPage->text(), QStringLiteral("&Start at club.example"));
        QCOMPARE(m_w->child<QToolButton>("CmdHome")->toolTip(), QStringLiteral("club.example"));
        startPage->trigger();
        QVERIFY(startPage->isChecked());
        QCOMPARE(fake().navigations(), QStringList{"http://www.club.example"});
        QVERIFY(!busy());
        startPage->trigger();
        QVERIFY(!startPage->isChecked());
        QCOMPARE(fake().navigations().size(), 1);
        QVERIFY(!recordedOnceLoaded());
    }

    void pageCommands()
    {
        for (const char *name : {"MenuFilePrint", "MenuFileSaveAs", "MnuPageSetup", "MnuPrintPreview"})
            m_w->child<QAction>(name)->trigger();
        QCOMPARE(fake().execWBCalls(), (QList<std::pair<int, int>>{{6, 1}, {4, 1}, {8, 0}, {7, 0}}));

        // Find puts Ctrl+F into the keyboard input of whatever has the focus.
        QComboBox *bar = combo2();
        bar->setFocus();
        KeyCounter keys(bar);
        m_w->child<QAction>("MnuFind")->trigger();
        QTRY_COMPARE(keys.keys, QList<int>{(Qt::ControlModifier | Qt::Key_F).toCombined()});
        QCOMPARE(QApplication::focusWidget(), bar);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestBrowsingWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browsingwindow.moc"
