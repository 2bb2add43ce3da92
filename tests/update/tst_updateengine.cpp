// SPDX-License-Identifier: GPL-3.0-or-later
// The update engine without a window: a message database, an update site served in this
// process on 127.0.0.1, and the run's order, retries and ends.
#include "fixtures.h"
#include "loggingproxy.h"
#include "archive/rescue.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "testenv.h"
#include "store/missednumbers.h"
#include "update/updateengine.h"
#include "updatefixtures.h"
#include "updatepage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace UpdateFixtures;

namespace {

const QString kLastMessage = QStringLiteral("/dbupdate/lastmessage.html");

}

class TestUpdateEngine final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<Recordset> m_db;
    QDateTime m_now = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    int m_mostInFlight = 0;
    QList<qint32> m_handled; // by the last run, in its order

    QString dataPath(const QString &name) const { return m_dir->filePath(QStringLiteral("data/") + name); }

    void publish(qint32 first, qint32 last, qint32 newest)
    {
        SiteWriter site(m_dir->filePath(QStringLiteral("site")));
        for (const MessageRecord &r : Fixtures::range(first, last))
            QVERIFY2(site.writeMessage(r), qPrintable(site.lastError()));
        QVERIFY(site.writeLastMessage(newest));
    }

    void openDatabase(const QList<MessageRecord> &records)
    {
        m_db.reset();
        QVERIFY(Fixtures::writeDatabase(dataPath("veltra.mdb"), records));
        auto opened = Recordset::open(dataPath("veltra.mdb"));
        QVERIFY2(opened.recordset, qPrintable(opened.reason));
        m_db = std::move(opened.recordset);
    }

    UpdateEngine::Settings settings() const
    {
        UpdateEngine::Settings s;
        s.server = m_server->baseUrl();
        s.folder = dataPath("");
        s.limits.timeoutMs = 2000;
        // Straight to the loopback server, whatever proxy the machine running the tests has.
        s.proxy.mode = ProxySetting::Mode::None;
        s.clock = [this] { return m_now; };
        return s;
    }

    // One run to its end; `during` is called with the engine at every request the server gets.
    UpdateEngine::Outcome run(const UpdateEngine::Settings &s, std::function<void(UpdateEngine *)> during = {})
    {
        m_server->clearRequests();
        UpdateEngine engine([this] { return m_db.get(); }, s);
        std::optional<UpdateEngine::Outcome> outcome;
        connect(&engine, &UpdateEngine::finished, this, [&](const UpdateEngine::Outcome &o) { outcome = o; });
        m_handled.clear();
        connect(&engine, &UpdateEngine::numberHandled, this, [this](qint32 n) { m_handled << n; });
        const QMetaObject::Connection watch = connect(m_server.get(), &SiteServer::requested, this, [&] {
            m_mostInFlight = std::max(m_mostInFlight, int(engine.findChildren<PageFetch *>().size()));
            if (during)
                during(&engine);
        });
        engine.start();
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 60000))
            qWarning("the run did not end");
        disconnect(watch);
        return outcome.value_or(UpdateEngine::Outcome{});
    }

    QList<qint32> storedNumbers() { return numbers(storedRecords(dataPath("veltra.mdb"))); }

    QStringList pagesRequested() const { return sortedPages(m_server->requests()); }


    std::optional<MissedNumbers::Entry> missedEntry(qint32 n)
    {
        MissedNumbers missed(m_db->connection());
        missed.prepare();
        return missed.entry(n);
    }

private slots:
    // Which missed numbers the closing text and the Missing Numbers list call "not yet on
    // the server" (no failure: the page is simply not there yet) and which "could not be
    // fetched": the reasons are the update's own texts.
    void reasonsSayWhetherThePageIsThereYet_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("notYet");
        QTest::newRow("not found") << "the server answered with status 404" << true;
        QTest::newRow("gone") << "the server answered with status 410" << true;
        QTest::newRow("a gap") << "the update server had no page for it, in a gap of 3 numbers before message 12" << true;
        QTest::newRow("server error") << "the server answered with status 500" << false;
        QTest::newRow("status 4040 is no 404") << "the server answered with status 4040" << false;
        QTest::newRow("timeout") << "no complete answer within 300 ms" << false;
        QTest::newRow("not a message page") << "the page is not a message page: no subject" << false;
        QTest::newRow("empty") << "" << false;
    }
    void reasonsSayWhetherThePageIsThereYet()
    {
        QFETCH(QString, reason);
        QFETCH(bool, notYet);
        QCOMPARE(MissedNumbers::notYetOnServer(reason), notYet);
    }

    void init();
    void cleanup();
    void pagesAnsweredOutOfOrderAreStoredInOrder();
    void faultyPageIsMissedThenArrivesInItsPlace_data();
    void faultyPageIsMissedThenArrivesInItsPlace();
    void numberFailingEveryTimeRestsAndStaysCounted();
    void gapDoesNotHoldUpLaterMessages_data();
    void gapDoesNotHoldUpLaterMessages();
    void garbledNewestNumberEndsAfterAFailureRun();
    void runGoesOnAfterTheHighestStoredNumber_data();
    void runGoesOnAfterTheHighestStoredNumber();
    void runGoesThroughTheDesktopsProxy();
    void refusingProxyEndsTheRun_data();
    void refusingProxyEndsTheRun();
    void stopEndsAfterTheNumberHandled_data();
    void stopEndsAfterTheNumberHandled();
    void stopEndsTheRunAtOnce_data();
    void stopEndsTheRunAtOnce();
    void secondCopyCannotUpdateAtTheSameTime();
    void emptyDatabaseBeginsAtTheChosenNumber();
    void deletedNumbersAreNotFetchedAgain();
    void missedNumbersSurviveARescueAndTheirPlacesToo();
};

void TestUpdateEngine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("data")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("site")));
    m_server = std::make_unique<SiteServer>(m_dir->filePath(QStringLiteral("site")));
    QVERIFY(m_server->listenLocal() != 0);
    m_mostInFlight = 0;
}

void TestUpdateEngine::cleanup()
{
    m_db.reset();
    m_server.reset();
    m_dir.reset();
}

void TestUpdateEngine::pagesAnsweredOutOfOrderAreStoredInOrder()
{
    openDatabase(Fixtures::range(1, 10));
    publish(11, 70, 70);
    QRandomGenerator random(7);
    for (qint32 n = 11; n <= 70; ++n) {
        const QByteArray body = UpdatePage::render(Fixtures::message(n));
        m_server->setAnswer(page(n), SiteServer::Answer{200, body, int(random.bounded(60)), false});
    }
    QList<qint32> handled;
    UpdateEngine::Settings s = settings();
    s.fetches = 8;
    UpdateEngine engine([this] { return m_db.get(); }, s);
    connect(&engine, &UpdateEngine::numberHandled, this, [&](qint32 n, bool stored) {
        QVERIFY(stored);
        handled << n;
        // Each page is in tempfile.htm when its number is reported.
        QCOMPARE(Fixtures::readAll(dataPath("tempfile.htm")), UpdatePage::render(Fixtures::message(n)));
    });
    bool ended = false;
    connect(&engine, &UpdateEngine::finished, this, [&](const UpdateEngine::Outcome &o) {
        QCOMPARE(o.end, UpdateEngine::End::Completed);
        QCOMPARE(o.missing, 0);
        ended = true;
    });
    connect(m_server.get(), &SiteServer::requested, this,
            [&] { m_mostInFlight = std::max(m_mostInFlight, int(engine.findChildren<PageFetch *>().size())); });
    engine.start();
    QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
    QCOMPARE(handled, span(11, 70));
    QCOMPARE(storedNumbers(), span(1, 70));
    QVERIFY2(m_mostInFlight > 1 && m_mostInFlight <= 8, qPrintable(QString::number(m_mostInFlight)));
    // Only the two pages the run writes lie in the folder: no page waits on disk.
    QCOMPARE(QDir(dataPath("")).entryList({QStringLiteral("*.htm*")}, QDir::Files),
             (QStringList{"lastmessage.htm", "tempfile.htm"}));
}

void TestUpdateEngine::faultyPageIsMissedThenArrivesInItsPlace_data()
{
    QTest::addColumn<SiteServer::Answer>("answer"); // for message 15
    QTest::addColumn<QString>("reason");            // part of what is remembered
    const QByteArray page = UpdatePage::render(Fixtures::message(15));
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
    const QByteArray half = page.left(page.size() / 2);
    QTest::newRow("server error") << SiteServer::Answer{500, "<h1>Internal error</h1>"} << "status 500";
    QTest::newRow("not found") << SiteServer::Answer{404, "gone"} << "status 404";
    QTest::newRow("no message page") << SiteServer::Answer{200, "<html>Moved</html>"} << "not a message page";
    QTest::newRow("empty page") << SiteServer::Answer{200, {}} << "empty page";
    QTest::newRow("stalled") << SiteServer::Answer{200, {}, 0, true} << "no complete answer";
    using End = SiteServer::Answer::End;
    for (const End end : {End::Close, End::Reset}) {
        const QString how = end == End::Reset ? QStringLiteral(", reset") : QStringLiteral(", closed");
        QTest::newRow(qPrintable("cut before its length" + how))
            << SiteServer::Answer::raw(head + "Content-Length: " + QByteArray::number(page.size()) + "\r\n\r\n" + half, end)
            << "ended after";
        QTest::newRow(qPrintable("chunks without the last" + how))
            << SiteServer::Answer::raw(head + "Transfer-Encoding: chunked\r\n\r\n" + QByteArray::number(half.size(), 16)
                                           + "\r\n" + half + "\r\n",
                                       end)
            << "last chunk";
        QTest::newRow(qPrintable("header cut off" + how))
            << SiteServer::Answer::raw("HTTP/1.1 200 OK\r\nContent-Le", end) << "header";
    }
}

void TestUpdateEngine::faultyPageIsMissedThenArrivesInItsPlace()
{
    QFETCH(SiteServer::Answer, answer);
    QFETCH(QString, reason);
    openDatabase(Fixtures::range(1, 10));
    publish(11, 20, 20);
    m_server->setAnswer(page(15), answer);
    UpdateEngine::Settings s = settings();
    s.limits.timeoutMs = 500;
    const UpdateEngine::Outcome first = run(s);
    QCOMPARE(first.end, UpdateEngine::End::Completed);
    QCOMPARE(first.missing, 1);
    // Nothing of a page that did not come whole is stored.
    QCOMPARE(storedNumbers(), span(1, 20, {15}));
    const auto entry = missedEntry(15);
    QVERIFY(entry);
    QCOMPARE(entry->tries, 1);
    QVERIFY2(entry->reason.contains(reason), qPrintable(entry->reason));

    // The server is mended and has a new message: the missed number comes first.
    m_server->clearAnswers();
    publish(21, 21, 21);
    const UpdateEngine::Outcome second = run(settings());
    QCOMPARE(second.end, UpdateEngine::End::Completed);
    QCOMPARE(second.missing, 0);
    QCOMPARE(m_handled, (QList<qint32>{15, 21}));
    // Stepping through stored order walks the archive by number, the page exactly as served.
    QCOMPARE(storedNumbers(), span(1, 21));
    QCOMPARE(storedRecords(dataPath("veltra.mdb")).at(14), Fixtures::message(15));
    QVERIFY(!missedEntry(15));
}

void TestUpdateEngine::numberFailingEveryTimeRestsAndStaysCounted()
{
    openDatabase(Fixtures::range(1, 5));
    publish(6, 8, 8);
    m_server->setAnswer(page(7), SiteServer::Answer{503, "busy", 0, false});
    UpdateEngine::Settings s = settings();
    for (int i = 1; i <= s.triesBeforeRest; ++i) {
        const UpdateEngine::Outcome o = run(s);
        QCOMPARE(o.end, UpdateEngine::End::Completed);
        QCOMPARE(o.missing, 1);
        QCOMPARE(missedEntry(7)->tries, i);
        m_now = m_now.addSecs(15 * 60);
    }
    // Resting: the run no longer asks for it, but still counts it missing.
    QCOMPARE(run(s).missing, 1);
    QVERIFY(!pagesRequested().contains(page(7)));
    // A day later it is tried again, and arrives.
    m_now = m_now.addSecs(s.restSeconds);
    m_server->clearAnswers();
    QCOMPARE(run(s).missing, 0);
    QCOMPARE(pagesRequested(), pagePaths({7}));
    QCOMPARE(storedNumbers(), span(1, 8));
}

void TestUpdateEngine::gapDoesNotHoldUpLaterMessages_data()
{
    QTest::addColumn<int>("rememberLimit");
    QTest::addColumn<int>("missing"); // remembered after the first run
    // 31..55 are not on the server; ten failures in a row make the run look further on.
    QTest::newRow("gap") << 10000 << 25;
    // The list takes what it has room for; the rest of the gap is passed over.
    QTest::newRow("gap larger than the list") << 15 << 15;
}

void TestUpdateEngine::gapDoesNotHoldUpLaterMessages()
{
    QFETCH(int, rememberLimit);
    QFETCH(int, missing);
    openDatabase(Fixtures::range(1, 10));
    publish(11, 30, 300);
    publish(56, 300, 300);
    UpdateEngine::Settings s = settings();
    s.failureRunLimit = 10;
    s.rememberLimit = rememberLimit;
    const UpdateEngine::Outcome first = run(s);
    QCOMPARE(first.end, UpdateEngine::End::Completed);
    QCOMPARE(first.missing, missing);
    QCOMPARE(first.passedOver, 25 - missing);
    QCOMPARE(storedNumbers(), span(1, 30) + span(56, 300));
    QVERIFY(missedEntry(31) && missedEntry(31 + missing - 1) && !missedEntry(31 + missing));
    // Finding the gap's end costs a few pages, not one for each number in it.
    QVERIFY2(pagesRequested().size() <= 290 + 20, qPrintable(QString::number(pagesRequested().size())));

    // The next runs try the gap again on the usual schedule; once its messages are there
    // they take their places.
    QCOMPARE(run(s).missing, missing);
    publish(31, 55, 300);
    QCOMPARE(run(s).missing, 0);
    QCOMPARE(storedNumbers(), span(1, 30 + missing) + span(56, 300));
}

void TestUpdateEngine::garbledNewestNumberEndsAfterAFailureRun()
{
    openDatabase(Fixtures::range(1, 5));
    publish(6, 30, 30);
    m_server->setAnswer(kLastMessage, SiteServer::Answer{200, "2147483647\r\n", 0, false});
    UpdateEngine::Settings s = settings();
    s.failureRunLimit = 40;
    const UpdateEngine::Outcome o = run(s);
    QCOMPARE(o.end, UpdateEngine::End::FailureRun);
    QVERIFY2(o.reason.startsWith(QLatin1String("40 pages in a row could not be fetched")), qPrintable(o.reason));
    QVERIFY2(o.reason.contains(QLatin1String("no message was found after them")), qPrintable(o.reason));
    QCOMPARE(o.missing, 0); // the failures past the archive are not kept
    QCOMPARE(storedNumbers(), span(1, 30));
    // A few dozen numbers up to the newest are looked at, not two billion.
    QVERIFY2(pagesRequested().size() <= 25 + 40 + s.fetches + 32, qPrintable(QString::number(pagesRequested().size())));
    // The next run starts after the highest stored number again, and stops the same way.
    const UpdateEngine::Outcome again = run(s);
    QCOMPARE(again.end, UpdateEngine::End::FailureRun);
    QCOMPARE(m_handled.first(), 31);
}

void TestUpdateEngine::runGoesOnAfterTheHighestStoredNumber_data()
{
    QTest::addColumn<QByteArray>("lastNumber"); // SQL for the last record's messnum
    QTest::newRow("empty") << QByteArray("NULL");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("beyond 32 bits") << QByteArray("9999999999");
    QTest::newRow("lower than an earlier one") << QByteArray("7");
    QTest::newRow("text") << QByteArray("'two hundred'");
}

void TestUpdateEngine::runGoesOnAfterTheHighestStoredNumber()
{
    QFETCH(QByteArray, lastNumber);
    openDatabase(Fixtures::range(1, 200));
    const QByteArray sql = "INSERT INTO veltra (messnum, messauthor, messdate, messtitle, message) VALUES ("
                           + lastNumber + ", 'a', 'd', 's', 'b')";
    QCOMPARE(sqlite3_exec(m_db->handle(), sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    publish(1, 210, 210);
    const UpdateEngine::Outcome o = run(settings());
    QCOMPARE(o.end, UpdateEngine::End::Completed);
    QCOMPARE(pagesRequested(), pagePaths(span(201, 210)));
    const QList<qint32> stored = storedNumbers();
    QCOMPARE(stored.size(), 211);
    QCOMPARE(stored.mid(201), span(201, 210));
}

void TestUpdateEngine::stopEndsAfterTheNumberHandled_data()
{
    QTest::addColumn<bool>("failing"); // the pages around the stop fail
    QTest::newRow("stored message") << false;
    QTest::newRow("run of failed pages") << true;
}

void TestUpdateEngine::stopEndsAfterTheNumberHandled()
{
    QFETCH(bool, failing);
    openDatabase(Fixtures::range(1, 5));
    publish(6, 200, 200);
    if (failing) {
        for (qint32 n = 20; n <= 200; ++n)
            m_server->setAnswer(page(n), SiteServer::Answer{500, "down", 0, false});
    }
    UpdateEngine::Settings s = settings();
    s.failureRunLimit = 1000;
    UpdateEngine engine([this] { return m_db.get(); }, s);
    std::optional<UpdateEngine::Outcome> outcome;
    int afterEnd = 0;
    connect(&engine, &UpdateEngine::numberHandled, this, [&](qint32 n) {
        if (outcome)
            ++afterEnd;
        if (n == 30)
            engine.stop();
    });
    connect(&engine, &UpdateEngine::finished, this, [&](const UpdateEngine::Outcome &o) { outcome = o; });
    engine.start();
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QCOMPARE(outcome->end, UpdateEngine::End::Stopped);
    QCOMPARE(outcome->lastHandled, 30);
    // The fetches in flight are gone with the run: once what the end queued has run no fetch
    // is left to report, nothing more was reported, and nothing was asked for beyond the pages
    // in flight at the stop.
    QVERIFY(TestEnv::waitForQueued());
    QVERIFY(engine.findChildren<PageFetch *>().isEmpty());
    QCOMPARE(afterEnd, 0);
    static const QRegularExpression number(QStringLiteral("msg(\\d+)\\.htm$"));
    for (const QString &asked : pagesRequested())
        QVERIFY2(number.match(asked).captured(1).toInt() <= 30 + s.fetches, qPrintable(asked));
    QCOMPARE(storedNumbers(), span(1, failing ? 19 : 30));
    QCOMPARE(outcome->missing, failing ? 11 : 0);

    // The next run takes up the first number not handled.
    m_server->clearAnswers();
    const UpdateEngine::Outcome next = run(settings());
    QCOMPARE(m_handled.mid(failing ? 11 : 0, 1), QList<qint32>{31});
    QCOMPARE(next.missing, 0);
    QCOMPARE(storedNumbers(), span(1, 200));
}

void TestUpdateEngine::stopEndsTheRunAtOnce_data()
{
    QTest::addColumn<QString>("stalled"); // the path that never answers
    QTest::addColumn<qint32>("lastHandled");
    QTest::newRow("newest number") << kLastMessage << 0;
    QTest::newRow("message pages") << page(15) << 14;
}

void TestUpdateEngine::stopEndsTheRunAtOnce()
{
    QFETCH(QString, stalled);
    QFETCH(qint32, lastHandled);
    openDatabase(Fixtures::range(1, 10));
    publish(11, 40, 40);
    m_server->setAnswer(stalled, SiteServer::Answer{200, {}, 0, true});
    UpdateEngine::Settings s = settings();
    s.limits.timeoutMs = 20000;
    QElapsedTimer sinceStop;
    // Stopped once the stalled request and everything before it is in.
    const UpdateEngine::Outcome o = run(s, [&](UpdateEngine *engine) {
        if (m_server->requests().contains(stalled) && !sinceStop.isValid())
            QTimer::singleShot(200, engine, [&, engine] {
                sinceStop.start();
                engine->stop();
            });
    });
    const qint64 took = sinceStop.elapsed();
    qInfo("the run ended %lld ms after the stop, with a page stalled for good", took);
    QCOMPARE(o.end, UpdateEngine::End::Stopped);
    QVERIFY(took < s.limits.timeoutMs);
    QCOMPARE(o.lastHandled, lastHandled);
    QCOMPARE(o.newestLine.isEmpty(), lastHandled == 0);
    QCOMPARE(storedNumbers(), span(1, std::max(10, lastHandled)));

    // The next run goes on after the last number handled; nothing was lost.
    m_server->clearAnswers();
    QCOMPARE(run(settings()).missing, 0);
    QCOMPARE(storedNumbers(), span(1, 40));
}

void TestUpdateEngine::secondCopyCannotUpdateAtTheSameTime()
{
    openDatabase(Fixtures::range(1, 10));
    publish(11, 12, 12);
    m_server->setAnswer(kLastMessage, SiteServer::Answer{200, {}, 0, true});
    UpdateEngine::Settings s = settings();
    UpdateEngine first([this] { return m_db.get(); }, s);
    first.start();
    QTRY_VERIFY(m_server->requests().contains(kLastMessage));
    // Another copy of the program has the folder's update: refused with a word, not a database error.
    const UpdateEngine::Outcome refused = run(s);
    QCOMPARE(refused.end, UpdateEngine::End::Busy);
    QVERIFY2(refused.reason.contains(QLatin1String("another copy")), qPrintable(refused.reason));
    first.stop();
    m_server->clearAnswers();
    QCOMPARE(run(s).end, UpdateEngine::End::Completed);
    QCOMPARE(storedNumbers(), span(1, 12));
}

void TestUpdateEngine::emptyDatabaseBeginsAtTheChosenNumber()
{
    openDatabase({});
    publish(1, 60, 60);
    UpdateEngine::Settings s = settings();
    s.firstNumber = 41;
    QCOMPARE(run(s).end, UpdateEngine::End::Completed);
    QCOMPARE(storedNumbers(), span(41, 60));
    // Once there are messages the choice no longer counts.
    s.firstNumber = 1;
    publish(61, 62, 62);
    run(s);
    QCOMPARE(pagesRequested(), pagePaths({61, 62}));
}

void TestUpdateEngine::deletedNumbersAreNotFetchedAgain()
{
    openDatabase(Fixtures::range(1, 10));
    QVERIFY(m_db->findFirst(QStringLiteral("messnum = 5")) == Recordset::FindResult::Found);
    QVERIFY(m_db->deleteCurrent());
    publish(1, 12, 12);
    QCOMPARE(run(settings()).missing, 0);
    QCOMPARE(pagesRequested(), pagePaths({11, 12}));
    QCOMPARE(storedNumbers(), span(1, 12, {5}));
}

void TestUpdateEngine::missedNumbersSurviveARescueAndTheirPlacesToo()
{
    openDatabase(Fixtures::range(1, 5));
    publish(6, 12, 12);
    m_server->setAnswer(page(9), SiteServer::Answer{500, "down", 0, false});
    QCOMPARE(run(settings()).missing, 1);
    m_db.reset();

    // Rescuing a database copies the list and keeps the free place left for the number.
    const QString rescued = dataPath("rescued.mdb");
    const Rescue::Result result = Rescue::copyReadable(dataPath("veltra.mdb"), rescued);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QVERIFY(QFile::remove(dataPath("veltra.mdb")));
    QVERIFY(QFile::rename(rescued, dataPath("veltra.mdb")));
    auto opened = Recordset::open(dataPath("veltra.mdb"));
    QVERIFY(opened.recordset);
    m_db = std::move(opened.recordset);
    QCOMPARE(missedEntry(9)->tries, 1);

    m_server->clearAnswers();
    QCOMPARE(run(settings()).missing, 0);
    QCOMPARE(storedNumbers(), span(1, 12));
}

// Every request of a run goes through the proxy the desktop names for the address (here
// through http_proxy), and the same pages are stored as without it. (The proxy chosen in
// Options is followed the whole way in the window's proxy test.)
void TestUpdateEngine::runGoesThroughTheDesktopsProxy()
{
    openDatabase(Fixtures::range(1, 10));
    publish(11, 40, 40);
    LoggingProxy proxy;
    QVERIFY(proxy.listenLocal() != 0);
    const QByteArray oldProxy = qgetenv("http_proxy");
    const QByteArray oldNoProxy = qgetenv("no_proxy");
    const auto restore = qScopeGuard([&] {
        oldProxy.isNull() ? qunsetenv("http_proxy") : qputenv("http_proxy", oldProxy);
        oldNoProxy.isNull() ? qunsetenv("no_proxy") : qputenv("no_proxy", oldNoProxy);
    });
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.serverPort()));
    qunsetenv("no_proxy");
    UpdateEngine::Settings s = settings();
    s.proxy.mode = ProxySetting::Mode::System;
    const UpdateEngine::Outcome o = run(s);
    QCOMPARE(o.end, UpdateEngine::End::Completed);
    QCOMPARE(storedNumbers(), span(1, 40));
    QStringList carried;
    for (const QString &path : m_server->requests())
        carried << QStringLiteral("GET ") + m_server->baseUrl() + path;
    QCOMPARE(m_server->requests().size(), 31);
    QCOMPARE(proxy.requests(), carried);
}

void TestUpdateEngine::refusingProxyEndsTheRun_data()
{
    QTest::addColumn<bool>("atNewest"); // the proxy refuses from the start, or asks for credentials later
    QTest::addColumn<UpdateEngine::End>("end");
    QTest::addColumn<QString>("reason");
    QTest::newRow("refused at the newest number") << true << UpdateEngine::End::NoNewestNumber
                                                  << "The proxy 127.0.0.1:%1 refused the connection";
    QTest::newRow("credentials asked for at a message") << false << UpdateEngine::End::Unreachable
                                                        << "The proxy asks for a user name and password";
}

// A proxy that refuses is no fault of the pages: the run ends saying so, and no number is
// remembered as missed for it.
void TestUpdateEngine::refusingProxyEndsTheRun()
{
    QFETCH(bool, atNewest);
    QFETCH(UpdateEngine::End, end);
    QFETCH(QString, reason);
    openDatabase(Fixtures::range(1, 10));
    publish(11, 40, 40);
    LoggingProxy proxy;
    QVERIFY(proxy.listenLocal() != 0);
    const quint16 port = proxy.serverPort();
    if (atNewest)
        proxy.close();
    UpdateEngine::Settings s = settings();
    s.proxy = ProxySetting{ProxySetting::Mode::Manual, QStringLiteral("127.0.0.1"), port, {}, {}};
    const UpdateEngine::Outcome o = run(s, [&](UpdateEngine *) { proxy.requireCredentials("club", "s3cret"); });
    QCOMPARE(o.end, end);
    QCOMPARE(o.reason, reason.arg(port));
    QCOMPARE(storedNumbers(), span(1, 10));
    QCOMPARE(o.missing, 0);
    QCOMPARE(m_handled, QList<qint32>());
}

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
