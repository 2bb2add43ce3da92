// The update engine without a window: a message database, an update site served in this
// process on 127.0.0.1, and the run's order, retries and ends.
#include "fixtures.h"
#include "maint/rescue.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "update/missednumbers.h"
#include "update/updateengine.h"
#include "updatefixtures.h"
#include "updatepage.h"

#include <QDir>
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
    void init();
    void cleanup();
    void pagesAnsweredOutOfOrderAreStoredInOrder();
    void missedNumbersArriveLaterInTheirPlace();
    void numberFailingEveryTimeRestsAndStaysCounted();
    void garbledNewestNumberEndsAfterAFailureRun();
    void runGoesOnAfterTheHighestStoredNumber_data();
    void runGoesOnAfterTheHighestStoredNumber();
    void stopEndsAfterTheNumberHandled_data();
    void stopEndsAfterTheNumberHandled();
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

void TestUpdateEngine::missedNumbersArriveLaterInTheirPlace()
{
    openDatabase(Fixtures::range(1, 10));
    publish(11, 40, 40);
    m_server->setAnswer(page(12), SiteServer::Answer{500, "<h1>Internal error</h1>", 0, false});
    m_server->setAnswer(page(15), SiteServer::Answer{200, "<html>Moved</html>", 0, false});
    m_server->setAnswer(page(40), SiteServer::Answer{404, "gone", 0, false});
    // One request stalls for good while the others are answered.
    m_server->setAnswer(page(20), SiteServer::Answer{200, {}, 0, true});
    UpdateEngine::Settings s = settings();
    s.limits.timeoutMs = 500;
    const UpdateEngine::Outcome first = run(s);
    QCOMPARE(first.end, UpdateEngine::End::Completed);
    QCOMPARE(first.missing, 4);
    QCOMPARE(storedNumbers(), span(1, 39, {12, 15, 20}));
    const auto entry = missedEntry(12);
    QVERIFY(entry);
    QCOMPARE(entry->tries, 1);
    QVERIFY2(entry->reason.contains(QLatin1String("500")), qPrintable(entry->reason));

    // The server is mended and has two new messages: the missed numbers come first.
    m_server->clearAnswers();
    publish(41, 42, 42);
    const UpdateEngine::Outcome second = run(settings());
    QCOMPARE(second.end, UpdateEngine::End::Completed);
    QCOMPARE(second.missing, 0);
    QCOMPARE(m_handled, (QList<qint32>{12, 15, 20, 40, 41, 42}));
    // Stepping through stored order walks the archive by number.
    QCOMPARE(storedNumbers(), span(1, 42));
    QVERIFY(!missedEntry(12));
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
    QCOMPARE(o.missing, 0); // the failures past the archive are not kept
    QCOMPARE(storedNumbers(), span(1, 30));
    QVERIFY(pagesRequested().size() <= 25 + 40 + s.fetches);
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
    bool stop = false;
    UpdateEngine::Settings s = settings();
    s.failureRunLimit = 1000;
    UpdateEngine engine([this] { return m_db.get(); }, s);
    engine.setStopAsked([&] { return stop; });
    std::optional<UpdateEngine::Outcome> outcome;
    int afterEnd = 0;
    connect(&engine, &UpdateEngine::numberHandled, this, [&](qint32 n) {
        if (outcome)
            ++afterEnd;
        if (n == 30)
            stop = true;
    });
    connect(&engine, &UpdateEngine::finished, this, [&](const UpdateEngine::Outcome &o) { outcome = o; });
    engine.start();
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QCOMPARE(outcome->end, UpdateEngine::End::Stopped);
    QCOMPARE(outcome->lastHandled, 30);
    // The fetches in flight are gone with the run: nothing more is reported, and nothing
    // was asked for beyond the pages in flight at the stop.
    QTest::qWait(200);
    QCOMPARE(afterEnd, 0);
    QVERIFY(engine.findChildren<PageFetch *>().isEmpty());
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

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
