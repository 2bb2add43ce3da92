// SPDX-License-Identifier: GPL-3.0-or-later
// The update run and its schedule in the window, against an update site served in this
// process on 127.0.0.1, with the fake browser.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "update/updatecontroller.h"
#include "view/viewer.h"
#include "windowharness.h"
#include "base/settingsfile.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "messagegenerator.h"
#include "modalanswerer.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "store/recordset.h"
#include "testenv.h"
#include "update/missingnumbersdialog.h"
#include "update/updateengine.h"
#include "updatefixtures.h"
#include "updatepage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTableWidget>
#include <QToolButton>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <memory>

using namespace UpdateFixtures;

namespace {

const QString kLastMessage = QStringLiteral("/dbupdate/lastmessage.html");
const QDateTime kNow(QDate(2009, 11, 23), QTime(13, 7, 40));

}

class TestUpdating final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<ModalAnswerer> m_answerer;
    QString m_previousDir;
    // The status label at each request the server got, keyed by path.
    QHash<QString, QString> m_labelAt;
    std::function<void(const QString &)> m_onRequest;

    QString dataPath(const QString &name) const { return m_dir->filePath(QStringLiteral("data/") + name); }
    QString siteRoot() const { return m_dir->filePath(QStringLiteral("site")); }

    void publish(const QList<MessageRecord> &records, qint32 newest)
    {
        SiteWriter site(siteRoot());
        for (const auto &r : records)
            QVERIFY2(site.writeMessage(r), qPrintable(site.lastError()));
        QVERIFY(site.writeLastMessage(newest));
    }

    // Local 12340..12345; the site has 12346..12400 with six kinds of failure among them.
    void publishFaultySite()
    {
        QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(12340, 12345)));
        QList<MessageRecord> records = Fixtures::range(12346, 12400);
        records.removeIf([](const MessageRecord &r) { return r.messnum == 12350; }); // 404
        records[1].messtitle = QStringLiteral("[vclub] Re: \"hot\" start&nbsp;trouble");
        records[1].message = QStringLiteral("<p>A&nbsp;\"quote\"</p>");
        publish(records, 12400);
        m_server->setAnswer(page(12360), SiteServer::Answer{500, "<h1>Internal error</h1>", 0, false});
        m_server->setAnswer(page(12370), SiteServer::Answer{200, UpdatePage::render(Fixtures::message(12370)), 1500, false});
        m_server->setAnswer(page(12380), SiteServer::Answer{200, "<html><body>Moved</body></html>", 0, false});
        m_server->setAnswer(page(12390), SiteServer::Answer{200, QByteArray("a<br>\r\nd<br>\r\ns<br>\r\n<tt>\0", 26), 0, false});
        m_server->setAnswer(page(12395), SiteServer::Answer{200, QByteArray(), 0, false});
    }
    static QList<qint32> faultyNumbers() { return {12350, 12360, 12370, 12380, 12390, 12395}; }

    std::unique_ptr<Form1> start()
    {
        AppConfig config;
        config.updateServer = m_server->baseUrl();
        FakeBrowser *fake = nullptr;
        auto w = Harness::startWindow(&fake, config);
        w->updater()->setFetchTimeout(300);
        w->updater()->setClock([] { return kNow; });
        QLabel *label = w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"));
        connect(m_server.get(), &SiteServer::requested, w.get(), [this, label](const QString &path) {
            m_labelAt.insert(path, label->text());
            if (m_onRequest)
                m_onRequest(path);
        });
        return w;
    }

    static QAction *action(Form1 *w, const char *name) { return w->findChild<QAction *>(QLatin1String(name)); }
    static QString status(Form1 *w) { return w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"))->text(); }
    static qint32 currentNumber(Form1 *w) { return w->archive()->recordset()->field(QStringLiteral("messnum")).toInt(); }

    QList<MessageRecord> stored() const { return storedRecords(dataPath("veltra.mdb")); }

    QStringList pagesRequested() const { return sortedPages(m_server->requests()); }

    // Starts a run as the menu does and waits for its end. `handled` is called with each
    // number the run reports, after the window has shown it.
    void runUpdate(Form1 *w, std::function<void(qint32 n, bool stored)> handled = {})
    {
        w->updater()->updateDB();
        if (auto *engine = w->findChild<UpdateEngine *>(); engine && handled)
            connect(engine, &UpdateEngine::numberHandled, this, handled);
        QVERIFY(QTest::qWaitFor([&] { return !w->updater()->isRunning(); }, 60000));
    }


private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullRunWithFailingPages();
    void stopRequestDuringRun_data();
    void stopRequestDuringRun();
    void missingNumbersListedAndTriedAgain();
    void stopRequestWhileIdleIsForgotten();
    void stopWithThePageStalledEndsAtOnce();
    void garbledNewestNumberEndsWithAClearStatus();
    void serverNotAhead_data();
    void serverNotAhead();
    void runStartedWhileOneIsGoing();
    void quarterHourSchedule();
    void automaticUpdatesToggleOnceAndAreSaved();
    void runEndsCleanlyOnFaults_data();
    void runEndsCleanlyOnFaults();
    void windowClosedDuringFetch();
    void noDatabaseIsNoDeadEnd_data();
    void noDatabaseIsNoDeadEnd();
    void demoSiteBringsDatabaseUpToDate();
    void runShowsItsProgressOnTheBar();
    void firstRunIntoAnEmptyDatabaseShowsItsFirstMessage();
};

void TestUpdating::initTestCase()
{
    m_answerer = std::make_unique<ModalAnswerer>(QMessageBox::No);
}

void TestUpdating::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("data")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("site")));
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->filePath(QStringLiteral("data")));
    m_server = std::make_unique<SiteServer>(siteRoot());
    QVERIFY(m_server->listenLocal() != 0);
    m_labelAt.clear();
    m_onRequest = nullptr;
}

void TestUpdating::cleanup()
{
    m_onRequest = nullptr;
    m_server.reset();
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestUpdating::fullRunWithFailingPages()
{
    publishFaultySite();
    auto w = start();
    w->archive()->recordset()->moveFirst();
    QList<qint32> cursorDuringRun;
    m_onRequest = [&](const QString &) { cursorDuringRun << currentNumber(w.get()); };
    QList<qint32> handled;
    QHash<qint32, QString> labelAfter;

    runUpdate(w.get(), [&](qint32 n, bool) {
        handled << n;
        labelAfter.insert(n, status(w.get()));
    });
    QCOMPARE(m_labelAt.value(kLastMessage), QStringLiteral("6 Messages - Last # 12345"));

    QCOMPARE(m_server->requests().first(), kLastMessage);
    QCOMPARE(pagesRequested(), pagePaths(span(12346, 12400)));
    QCOMPARE(m_labelAt.value(page(12346)), QStringLiteral("Updating message 12345 of 12400"));
    QCOMPARE(handled, span(12346, 12400));
    // The line is shown paced, so after number n it tells of n or of one handled before,
    // never of a later one; a stored page by its number, a missed one as unreachable.
    const QList<qint32> faulty = faultyNumbers();
    qint32 told = 12345;
    for (qint32 n : span(12346, 12400)) {
        const QString text = labelAfter.value(n);
        if (text == QLatin1String("Unable to connect to the update server.")) {
            QVERIFY2(std::any_of(faulty.cbegin(), faulty.cend(),
                                 [&](qint32 f) { return f > told && f <= n; }),
                     qPrintable(QStringLiteral("after %1").arg(n)));
            continue;
        }
        QVERIFY2(text.startsWith(QLatin1String("Updating message ")) && text.endsWith(QLatin1String(" of 12400")),
                 qPrintable(text));
        const qint32 shown = text.section(QLatin1Char(' '), 2, 2).toInt();
        QVERIFY2(shown >= told && shown <= n && !faulty.contains(shown), qPrintable(text));
        told = shown;
    }
    QVERIFY(!cursorDuringRun.isEmpty());
    QCOMPARE(cursorDuringRun, QList<qint32>(cursorDuringRun.size(), 12340));

    const qint32 count = 6 + 55 - qint32(faultyNumbers().size());
    QCOMPARE(status(w.get()),
             QStringLiteral("Updated 1:07PM 11/23/09 : %1 Messages - Last # 12400 - 49 new messages - 1 number not "
                            "yet on the server, 5 could not be fetched")
                 .arg(count));
    QCOMPARE(w->archive()->lastMessageNumber(), 12400);
    QCOMPARE(w->archive()->messageCount(), count);
    QVERIFY(!w->updater()->isRunning());
    QCOMPARE(currentNumber(w.get()), 12400);
    QCOMPARE(w->findChild<QScrollBar *>(QStringLiteral("hscroll1"))->maximum(), 12400);
    // The new messages go into the search index afterwards, without a word in the status line.
    QTRY_VERIFY(w->archive()->recordset()->searchIndexComplete());
    QVERIFY(status(w.get()).startsWith(QStringLiteral("Updated 1:07PM")));

    const QList<MessageRecord> records = stored();
    QCOMPARE(numbers(records), span(12340, 12400, faultyNumbers()));
    const MessageRecord &quoted = records[7];
    QCOMPARE(quoted.messnum, 12347);
    QCOMPARE(quoted.messauthor, Fixtures::message(12347).messauthor);
    QCOMPARE(quoted.messdate, Fixtures::message(12347).messdate);
    QCOMPARE(quoted.messtitle, QStringLiteral("[vclub] Re: \"hot\" start&nbsp;trouble"));
    QCOMPARE(quoted.message, QStringLiteral("<p>A&nbsp;\"quote\"</p>"));
    QCOMPARE(records.last().message, Fixtures::message(12400).message);

    QCOMPARE(Fixtures::readAll(dataPath("lastmessage.htm")), UpdatePage::renderLastMessage(12400));
    QCOMPARE(Fixtures::readAll(dataPath("tempfile.htm")), UpdatePage::render(Fixtures::message(12400)));
    QCOMPARE(QDir(dataPath("")).entryList({QStringLiteral("*.htm*")}, QDir::Files),
             (QStringList{"lastmessage.htm", "tempfile.htm"}));

    // The server is mended: the next run fetches the missed numbers first, and they stand
    // in number order, so the step buttons walk the archive in order.
    m_server->clearAnswers();
    QList<MessageRecord> mended = Fixtures::range(12346, 12400);
    publish(mended, 12400);
    m_server->clearRequests();
    handled.clear();
    runUpdate(w.get(), [&](qint32 n, bool) { handled << n; });
    QCOMPARE(handled, faultyNumbers());
    QCOMPARE(status(w.get()), QStringLiteral("Updated 1:07PM 11/23/09 : 61 Messages - Last # 12400 - 6 new messages"));
    QCOMPARE(numbers(stored()), span(12340, 12400));
    QVERIFY(w->archive()->recordset()->moveFirst());
    for (qint32 n : span(12340, 12400)) {
        QCOMPARE(currentNumber(w.get()), n);
        w->archive()->recordset()->moveNext();
    }
    QVERIFY(w->archive()->recordset()->eof());
}

// View > Missing Numbers lists every number still missing with why and how often it was
// tried; Try Again Now fetches them all, those resting after many tries included, which a
// plain update passes over.
void TestUpdating::missingNumbersListedAndTriedAgain()
{
    publishFaultySite();
    auto w = start();
    runUpdate(w.get());
    {
        // One number has failed often enough to rest between tries.
        MissedNumbers missed(w->archive()->recordset()->connection());
        QVERIFY(missed.prepare());
        for (int i = 0; i < 12; ++i)
            QVERIFY(missed.remember(12395, QStringLiteral("the server answered with status 500"), kNow.toSecsSinceEpoch()));
    }
    action(w.get(), "MnuMissingNumbers")->trigger();
    auto *dialog = w->findChild<MissingNumbersDialog *>();
    QVERIFY(dialog);
    auto *list = dialog->findChild<QTableWidget *>(QStringLiteral("MissingNumbersList"));
    QCOMPARE(list->rowCount(), int(faultyNumbers().size()));
    QList<qint32> listed;
    for (int row = 0; row < list->rowCount(); ++row)
        listed << list->item(row, 0)->text().toInt();
    QCOMPARE(listed, faultyNumbers());
    QVERIFY(list->item(0, 1)->text().startsWith(QLatin1String("Not yet on the server: ")));
    QVERIFY(list->item(1, 1)->text().startsWith(QLatin1String("Could not be fetched: ")));
    QCOMPARE(list->item(5, 2)->text(), QStringLiteral("13"));

    m_server->clearAnswers();
    publish(Fixtures::range(12346, 12400), 12400);
    QList<qint32> handled;
    connect(w->updater(), &UpdateController::runStarting, this, [&] {
        QTimer::singleShot(0, this, [&] {
            if (auto *engine = w->findChild<UpdateEngine *>())
                connect(engine, &UpdateEngine::numberHandled, this, [&](qint32 n, bool) { handled << n; });
        });
    });
    dialog->findChild<QPushButton *>(QStringLiteral("TryAgainNow"))->click();
    QVERIFY(QTest::qWaitFor([&] { return !w->updater()->isRunning(); }, 60000));
    QCOMPARE(handled, faultyNumbers());
    QCOMPARE(status(w.get()), QStringLiteral("Updated 1:07PM 11/23/09 : 61 Messages - Last # 12400 - 6 new messages"));
    QVERIFY(w->updater()->missingNumbers().isEmpty());
}

void TestUpdating::stopRequestDuringRun_data()
{
    QTest::addColumn<qint32>("stopAfter");
    QTest::addColumn<QList<qint32>>("remembered"); // failed before the stop
    QTest::addColumn<QString>("missing");          // what the closing text says of them
    QTest::newRow("a stored page") << 12348 << QList<qint32>{} << QString();
    QTest::newRow("a missing page") << 12350 << QList<qint32>{12350} << " - 1 number not yet on the server";
    QTest::newRow("a page past the timeout") << 12370 << QList<qint32>{12350, 12360, 12370}
                                             << " - 1 number not yet on the server, 2 could not be fetched";
}

void TestUpdating::stopRequestDuringRun()
{
    QFETCH(qint32, stopAfter);
    QFETCH(QList<qint32>, remembered);
    publishFaultySite();
    auto w = start();
    runUpdate(w.get(), [&](qint32 n, bool) {
        if (n == stopAfter)
            action(w.get(), "MnuStopUpdate")->trigger();
    });

    QFETCH(QString, missing);
    QCOMPARE(status(w.get()), QStringLiteral("Update terminated at %1 of 12400").arg(stopAfter) + missing);
    QCOMPARE(w->archive()->lastMessageNumber(), stopAfter);
    QCOMPARE(w->archive()->messageCount(), 6);
    QVERIFY(!w->updater()->stopRequested());
    QVERIFY(!w->updater()->isRunning());
    QCOMPARE(numbers(stored()), span(12340, stopAfter, faultyNumbers()));

    // The next run tries the missed numbers, then goes on after the number it stopped at.
    QList<qint32> handled;
    runUpdate(w.get(), [&](qint32 n, bool) { handled << n; });
    QCOMPARE(handled.mid(0, remembered.size() + 1), QList<qint32>(remembered) << stopAfter + 1);
    QCOMPARE(w->archive()->lastMessageNumber(), 12400);
    QCOMPARE(numbers(stored()), span(12340, 12400, faultyNumbers()));
}

void TestUpdating::stopRequestWhileIdleIsForgotten()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(12340, 12345)));
    publish(Fixtures::range(12346, 12350), 12350);
    auto w = start();
    action(w.get(), "MnuStopUpdate")->trigger();
    QCOMPARE(status(w.get()), QStringLiteral("6 Messages - Last # 12345"));
    QVERIFY(!w->updater()->stopRequested());

    // It must not end the next run after its first message.
    runUpdate(w.get());
    QCOMPARE(status(w.get()), QStringLiteral("Updated 1:07PM 11/23/09 : 11 Messages - Last # 12350 - 5 new messages"));
    QCOMPARE(numbers(stored()), span(12340, 12350));
}

void TestUpdating::stopWithThePageStalledEndsAtOnce()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(12340, 12345)));
    publish(Fixtures::range(12346, 12350), 12350);
    m_server->setAnswer(kLastMessage, SiteServer::Answer{200, {}, 0, true});
    auto w = start();
    w->updater()->setFetchTimeout(20000);
    QElapsedTimer sinceStop;
    m_onRequest = [&](const QString &path) {
        if (path == kLastMessage)
            QTimer::singleShot(200, w.get(), [&] {
                sinceStop.start();
                action(w.get(), "MnuStopUpdate")->trigger();
            });
    };
    runUpdate(w.get());
    qInfo("the update ended %lld ms after Stop, with the newest number's page stalled", sinceStop.elapsed());
    QVERIFY(sinceStop.elapsed() < 20000);
    QCOMPARE(status(w.get()), QStringLiteral("Update terminated before the update server gave its last message number."));
    QCOMPARE(w->archive()->lastMessageNumber(), 12345);
    QVERIFY(!w->updater()->stopRequested());
}

void TestUpdating::garbledNewestNumberEndsWithAClearStatus()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    publish(Fixtures::range(6, 20), 20);
    m_server->setAnswer(kLastMessage, SiteServer::Answer{200, "2147483647\r\n", 0, false});
    auto w = start();
    runUpdate(w.get());
    QVERIFY2(status(w.get()).startsWith(QLatin1String("Update stopped: 100 pages in a row could not be fetched, the "
                                                      "last of them message 120 (")),
             qPrintable(status(w.get())));
    QCOMPARE(w->archive()->lastMessageNumber(), 20);
    QCOMPARE(numbers(stored()), span(1, 20));
    QVERIFY(pagesRequested().size() < 160);

    // The text is longer than the status line: its tip shows it whole.
    QLabel *label = w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &help);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Database Update Status\n") + label->text());
}

void TestUpdating::serverNotAhead_data()
{
    QTest::addColumn<QByteArray>("lastPage"); // empty: not served
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint32>("lastMsgNum");
    QTest::addColumn<qint32>("current");
    const QString updated = QStringLiteral("Updated 1:07PM 11/23/09 : 6 Messages - Last # 12345");
    // The usual words, then why, so a server that is down can be told from one that refuses.
    const QString unable = QStringLiteral("Unable to connect to the update server. The server answered with status 404.");
    QTest::newRow("same number") << UpdatePage::renderLastMessage(12345) << updated << 12345 << 12345;
    // A lower number would have the next run store again what is stored: refused.
    QTest::newRow("lower number") << UpdatePage::renderLastMessage(12300)
                                  << QStringLiteral("The update server's last message number 12300 is below the local "
                                                    "one, 12345: nothing was fetched.")
                                  << 12345 << 12340;
    QTest::newRow("not a number") << QByteArray("<html>Service moved</html>\r\n")
                                  << QStringLiteral("Update stopped: the update server's last-message page gives no "
                                                    "message number")
                                  << 12345 << 12340;
    QTest::newRow("beyond 32 bits") << QByteArray("2147483648\r\n")
                                    << QStringLiteral("Update stopped: the update server's last message number "
                                                      "2147483648 is larger than the largest message number the "
                                                      "database holds, 2147483647")
                                    << 12345 << 12340;
    QTest::newRow("no page") << QByteArray() << unable << 12345 << 12340;
}

void TestUpdating::serverNotAhead()
{
    QFETCH(QByteArray, lastPage);
    QFETCH(QString, status);
    QFETCH(qint32, lastMsgNum);
    QFETCH(qint32, current);
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(12340, 12345)));
    if (!lastPage.isEmpty())
        m_server->setAnswer(kLastMessage, SiteServer::Answer{200, lastPage, 0, false});
    auto w = start();
    w->archive()->recordset()->moveFirst();
    runUpdate(w.get());
    QCOMPARE(TestUpdating::status(w.get()), status);
    QCOMPARE(w->archive()->lastMessageNumber(), lastMsgNum);
    QCOMPARE(currentNumber(w.get()), current);
    QVERIFY(!w->updater()->isRunning());
    QCOMPARE(m_server->requests(), QStringList{kLastMessage});
    QVERIFY(!QFile::exists(dataPath("tempfile.htm")));
    QCOMPARE(Fixtures::readAll(dataPath("lastmessage.htm")), lastPage);
}

void TestUpdating::firstRunIntoAnEmptyDatabaseShowsItsFirstMessage()
{
    QVERIFY(Recordset::createEmpty(dataPath("veltra.mdb")));
    publish(Fixtures::range(1, 5), 5);
    auto w = start();
    QVERIFY(w->viewer()->shownMessageNumber().isEmpty());
    runUpdate(w.get());
    QCOMPARE(w->archive()->messageCount(), 5);
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("1"));
    QTest::mouseClick(w->findChild<QToolButton *>(QStringLiteral("H1Up")), Qt::LeftButton);
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("2"));
}

void TestUpdating::runStartedWhileOneIsGoing()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    publish(Fixtures::range(6, 20), 20);
    auto w = start();
    m_onRequest = [&](const QString &path) {
        if (path == page(10)) {
            w->updater()->updateDB();
            action(w.get(), "MnuUpdateNow")->trigger();
            QVERIFY(w->updater()->isRunning());
        }
    };
    runUpdate(w.get());
    QCOMPARE(m_server->requests().count(kLastMessage), 1);
    QCOMPARE(pagesRequested(), pagePaths(span(6, 20)));
    QCOMPARE(numbers(stored()), span(1, 20));
    QVERIFY(!w->updater()->isRunning());
}

void TestUpdating::quarterHourSchedule()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    publish(Fixtures::range(6, 8), 8);
    auto w = start();
    QDateTime now(QDate(2009, 11, 23), QTime(10, 15, 20));
    w->updater()->setClock([&] { return now; });
    QTimer *timer1 = w->findChild<QTimer *>(QStringLiteral("Timer1"));
    QCOMPARE(timer1->interval(), 35000);
    QVERIFY(timer1->isActive());
    // A tick, and the run it may start to its end.
    const auto tick = [&] {
        QVERIFY(QMetaObject::invokeMethod(timer1, "timeout"));
        QTRY_VERIFY(!w->updater()->isRunning());
    };
    const auto runs = [&] { return m_server->requests().count(kLastMessage); };

    tick(); // option off
    QCOMPARE(runs(), 0);
    action(w.get(), "MnuUpdateAuto")->trigger();
    QVERIFY(action(w.get(), "MnuUpdateAuto")->isChecked());

    // A tick during a run finds it going and leaves it alone.
    m_onRequest = [&](const QString &path) {
        if (path == page(7)) {
            now.setTime(QTime(10, 15, 55));
            QVERIFY(QMetaObject::invokeMethod(timer1, "timeout"));
        }
    };
    now.setTime(QTime(10, 15, 20));
    tick();
    QCOMPARE(runs(), 1);
    QCOMPARE(w->archive()->lastMessageNumber(), 8);
    m_onRequest = nullptr;

    now.setTime(QTime(10, 15, 55)); // the first run has ended: another starts
    tick();
    QCOMPARE(runs(), 2);
    now.setTime(QTime(10, 16, 30));
    tick();
    QCOMPARE(runs(), 2);
    for (const QTime t : {QTime(11, 0, 5), QTime(11, 30, 0), QTime(11, 45, 59)}) {
        now.setTime(t);
        tick();
    }
    QCOMPARE(runs(), 5);
    for (const QTime t : {QTime(11, 1, 0), QTime(11, 14, 59), QTime(11, 59, 0)}) {
        now.setTime(t);
        tick();
    }
    QCOMPARE(runs(), 5);

    action(w.get(), "MnuUpdateAuto")->trigger();
    now.setTime(QTime(12, 0, 0));
    tick();
    QCOMPARE(runs(), 5);
    action(w.get(), "MnuUpdateNow")->trigger();
    QTRY_VERIFY(!w->updater()->isRunning());
    QCOMPARE(runs(), 6);
}

void TestUpdating::automaticUpdatesToggleOnceAndAreSaved()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    auto w = start();
    QAction *automatic = action(w.get(), "MnuUpdateAuto");
    QVERIFY(!automatic->isChecked());
    for (const bool expected : {true, false, true}) {
        automatic->trigger();
        QCOMPARE(automatic->isChecked(), expected);
        QVERIFY(w->Form_Unload());
        const auto settings = SettingsFile::read(dataPath("KnowledgeBase.ini"));
        QCOMPARE(settings.count, 12);
        QCOMPARE(settings.values.autoUpdate, expected);
    }
}

void TestUpdating::runEndsCleanlyOnFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint32>("lastMsgNum");
    QTest::addColumn<QList<qint32>>("stored");
    QTest::newRow("database closed") << "close" << "Update stopped: the message database was closed." << 12347
                                     << span(12340, 12347);
    QTest::newRow("store refuses") << "readonly" << "Update stopped: message 12346 could not be stored" << 12345
                                   << span(12340, 12345);
    QTest::newRow("scratch page unwritable") << "tempfile" << "Update stopped: tempfile.htm could not be written"
                                             << 12345 << span(12340, 12345);
    QTest::newRow("no database") << "nodb" << "Update stopped: no message database is open." << 0 << QList<qint32>();
}

void TestUpdating::runEndsCleanlyOnFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, status);
    QFETCH(qint32, lastMsgNum);
    QFETCH(QList<qint32>, stored);
    publishFaultySite();
    if (fault == QLatin1String("nodb"))
        QVERIFY(QFile::remove(dataPath("veltra.mdb")));
    if (fault == QLatin1String("tempfile"))
        QVERIFY(QDir(dataPath("")).mkdir(QStringLiteral("tempfile.htm")));
    auto w = start();
    if (fault == QLatin1String("readonly"))
        QCOMPARE(sqlite3_exec(w->archive()->recordset()->handle(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    runUpdate(w.get(), [&](qint32 n, bool) {
        if (fault == QLatin1String("close") && n == 12347)
            w->archive()->recordset()->close();
    });
    QVERIFY2(TestUpdating::status(w.get()).startsWith(status), qPrintable(TestUpdating::status(w.get())));
    QVERIFY(!w->updater()->isRunning());
    QVERIFY(!w->updater()->stopRequested());
    QCOMPARE(w->archive()->lastMessageNumber(), lastMsgNum);
    w.reset();
    QCOMPARE(numbers(TestUpdating::stored()), stored);
}

// Declining the first start's question left "No message database" with nothing to make
// one but a restart; Enter said No.
void TestUpdating::noDatabaseIsNoDeadEnd_data()
{
    QTest::addColumn<bool>("byMenu");  // File > New Message Database... before Update Now
    QTest::addColumn<QMessageBox::StandardButton>("offer"); // the answer to Update Now's offer
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<qint32>>("stored");
    QTest::newRow("offer declined") << false << QMessageBox::No << "Update stopped: no message database is open."
                                    << QList<qint32>();
    QTest::newRow("offer taken") << false << QMessageBox::Yes << "Updated " << span(1, 4);
    QTest::newRow("made from the menu") << true << QMessageBox::No << "Updated " << span(1, 4);
}

void TestUpdating::noDatabaseIsNoDeadEnd()
{
    QFETCH(bool, byMenu);
    QFETCH(QMessageBox::StandardButton, offer);
    QFETCH(QString, status);
    QFETCH(QList<qint32>, stored);
    publish(Fixtures::range(1, 4), 4);
    m_answerer->texts.clear();
    m_answerer->defaults.clear();
    auto w = start();
    QCOMPARE(m_answerer->texts.size(), 1);
    QVERIFY(m_answerer->texts.first().contains(QStringLiteral("Create an empty message database here?")));
    QCOMPARE(m_answerer->defaults.first(), QMessageBox::Yes);
    QVERIFY(!QFile::exists(dataPath("veltra.mdb")));
    QAction *newDatabase = action(w.get(), "MenuFileNewDatabase");
    QVERIFY(newDatabase->isEnabled());

    m_answerer->setAnswer(QMessageBox::Yes);
    if (byMenu) {
        newDatabase->trigger();
        QVERIFY(QFile::exists(dataPath("veltra.mdb")));
        QVERIFY(!newDatabase->isEnabled());
        QCOMPARE(TestUpdating::status(w.get()), QStringLiteral("0 Messages - Last # 0"));
    }
    const qsizetype asked = m_answerer->texts.size();
    m_answerer->setAnswer(offer);
    action(w.get(), "MnuUpdateNow")->trigger();
    QVERIFY(QTest::qWaitFor([&] { return !w->updater()->isRunning(); }, 60000));
    m_answerer->setAnswer(QMessageBox::No);
    if (!byMenu) {
        QCOMPARE(m_answerer->texts.size(), asked + 1);
        QVERIFY(m_answerer->texts.last().startsWith(QStringLiteral("No message database is open")));
        QCOMPARE(m_answerer->defaults.last(), QMessageBox::Yes);
    } else {
        QCOMPARE(m_answerer->texts.size(), asked); // nothing asked: there is one to update
    }
    QVERIFY2(TestUpdating::status(w.get()).startsWith(status), qPrintable(TestUpdating::status(w.get())));
    QCOMPARE(newDatabase->isEnabled(), stored.isEmpty());
    QCOMPARE(QFile::exists(dataPath("veltra.mdb")), !stored.isEmpty());
    w.reset();
    if (!stored.isEmpty())
        QCOMPARE(numbers(TestUpdating::stored()), stored);
}

void TestUpdating::windowClosedDuringFetch()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    publish(Fixtures::range(6, 9), 9);
    m_server->setAnswer(page(7), SiteServer::Answer{200, {}, 0, true});
    auto w = start();
    w->updater()->setFetchTimeout(5000);
    m_onRequest = [&](const QString &path) {
        if (path == page(7))
            QTimer::singleShot(50, this, [&] { w.reset(); });
    };
    w->updater()->updateDB();
    QTRY_VERIFY_WITH_TIMEOUT(!w, 5000);
    QCOMPARE(numbers(stored()), span(1, 6));
}

void TestUpdating::demoSiteBringsDatabaseUpToDate()
{
    // From an empty database, as a new member starts.
    const QList<MessageRecord> archive = MessageGenerator::generate(7, 400);
    const QList<MessageRecord> local;
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), local));
    publish(archive, archive.last().messnum);
    auto w = start();
    runUpdate(w.get());
    QCOMPARE(w->archive()->lastMessageNumber(), archive.last().messnum);
    // The search index, empty at the start, takes in every message afterwards.
    QTRY_VERIFY(w->archive()->recordset()->searchIndexComplete());
    w.reset();

    const QList<MessageRecord> records = stored();
    QCOMPARE(records.size(), archive.size());
    for (qsizetype i = local.size(); i < archive.size(); ++i) {
        MessageRecord published = archive[i];
        if (published.messdate.startsWith(QLatin1String("-1")))
            published.messdate.remove(0, 2); // the site leaves local deletion flags out
        QCOMPARE(records[i].messnum, published.messnum);
        QCOMPARE(records[i].messauthor, published.messauthor);
        QCOMPARE(records[i].messdate, published.messdate);
        QCOMPARE(records[i].messtitle, published.messtitle);
        QCOMPARE(records[i].message, published.message);
    }
}

void TestUpdating::runShowsItsProgressOnTheBar()
{
    QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), Fixtures::range(1, 5)));
    publish(Fixtures::range(6, 40), 40);
    auto w = start();
    auto *bar = w->findChild<QProgressBar *>(QStringLiteral("PBarWork"));
    auto *text = w->findChild<QLineEdit *>(QStringLiteral("LblStBar1"));
    QVERIFY(bar && !bar->isVisible());
    const int textWidth = text->width();
    // Each value the bar takes, and how often it was then not in sight beside the status
    // text (which makes room for it) or counted other than the 35 pages to fetch.
    QList<int> values;
    int misshown = 0;
    connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
        values << value;
        if (!bar->isVisible() || bar->maximum() != 35 || text->geometry().right() >= bar->x())
            ++misshown;
    });
    QElapsedTimer run;
    run.start();
    runUpdate(w.get());
    const qint64 ranMs = run.elapsed();
    QCOMPARE(status(w.get()), QStringLiteral("Updated 1:07PM 11/23/09 : 40 Messages - Last # 40 - 35 new messages"));
    // Counted forward to the whole, and shown at most ten times a second besides the first
    // and the last: a run that painted the bar for every page spent its time painting.
    QVERIFY(!values.isEmpty());
    QCOMPARE(values.constLast(), 35);
    QVERIFY2(std::is_sorted(values.cbegin(), values.cend()), qPrintable(QDebug::toString(values)));
    QVERIFY2(values.size() <= ranMs / 100 + 2, qPrintable(QStringLiteral("%1 values in %2 ms").arg(values.size()).arg(ranMs)));
    QCOMPARE(misshown, 0);
    QVERIFY(!bar->isVisible());
    QCOMPARE(text->width(), textWidth);
}

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestUpdating test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updating.moc"
