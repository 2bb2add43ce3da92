// SPDX-License-Identifier: GPL-3.0-or-later
// The frame of the store's background work on its own: a job called off stops and is
// silent after, progress reaches the owner a few times a second and always at its end,
// and the builders' steps grow and shrink with the time each one took, page through the
// table without losing a record, and end as Stopped or Failed as they should.
#include "store/backgroundjob.h"
#include "store/sqlitedb.h"
#include "store/steppedbuild.h"

#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <optional>

namespace {

// Stands for a builder's report.
struct Report
{
    enum class Outcome { Ready, Stopped, Failed };
    Outcome outcome = Outcome::Ready;
    QString detail;
};

} // namespace

Q_DECLARE_METATYPE(Report::Outcome)
Q_DECLARE_METATYPE(std::optional<qint64>)

class TestBackgroundJob final : public QObject
{
    Q_OBJECT

private slots:
    void nextStep_data();
    void nextStep();
    void progressThrottle_data();
    void progressThrottle();
    void progressReachesTheOwnerThrottled();
    void calledOffJobStopsAndIsSilent();
    void endMayStartTheJobAgain();
    void stepsFollowTheMeasuredTime();
    void stepsCalledOffOrFailed_data();
    void stepsCalledOffOrFailed();
    void stepEnd_data();
    void stepEnd();

private:
    // A file with table veltra holding these rowids.
    QString database(const QList<qint64> &rowids);

    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestBackgroundJob::database(const QList<qint64> &rowids)
{
    const QString path = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files));
    SqliteDb db;
    if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) || !db.exec("CREATE TABLE veltra(messtitle)"))
        return {};
    for (const qint64 rowid : rowids) {
        if (!SteppedBuild::exec(db, "INSERT INTO veltra(rowid, messtitle) VALUES (?1, 'x')", {rowid}))
            return {};
    }
    return path;
}

void TestBackgroundJob::nextStep_data()
{
    QTest::addColumn<qint64>("step");
    QTest::addColumn<qint64>("tookMs");
    QTest::addColumn<int>("aimMs");
    QTest::addColumn<qint64>("most");
    QTest::addColumn<qint64>("next");
    QTest::newRow("on time: the same") << qint64(100) << qint64(100) << 100 << qint64(50000) << qint64(100);
    QTest::newRow("in half the time: twice") << qint64(100) << qint64(50) << 100 << qint64(50000) << qint64(200);
    QTest::newRow("slow: smaller") << qint64(1000) << qint64(400) << 100 << qint64(50000) << qint64(250);
    QTest::newRow("fast: four times at most") << qint64(100) << qint64(5) << 100 << qint64(50000) << qint64(400);
    QTest::newRow("no time measured: as 1 ms") << qint64(100) << qint64(0) << 100 << qint64(50000) << qint64(400);
    QTest::newRow("very slow: 10 at least") << qint64(100) << qint64(60000) << 30 << qint64(50000) << qint64(10);
    QTest::newRow("never over the most") << qint64(40000) << qint64(10) << 100 << qint64(50000) << qint64(50000);
    QTest::newRow("a most under 10: 10") << qint64(5) << qint64(1) << 100 << qint64(3) << qint64(10);
}

void TestBackgroundJob::nextStep()
{
    QFETCH(qint64, step);
    QFETCH(qint64, tookMs);
    QFETCH(int, aimMs);
    QFETCH(qint64, most);
    QFETCH(qint64, next);
    QCOMPARE(BackgroundJob::nextStep(step, tookMs, aimMs, most), next);
}

void TestBackgroundJob::progressThrottle_data()
{
    // Reports as (time in ms, done, total), and which of them pass.
    QTest::addColumn<QList<qint64>>("reports");
    QTest::addColumn<QList<bool>>("passed");
    const qint64 every = ProgressThrottle::kEveryMs;
    QTest::newRow("the first passes") << QList<qint64>{0, 1, 10} << QList<bool>{true};
    QTest::newRow("held back within the interval")
        << QList<qint64>{0, 1, 10, 100, 2, 10, every - 1, 3, 10} << QList<bool>{true, false, false};
    QTest::newRow("passes once it is over")
        << QList<qint64>{0, 1, 10, every, 2, 10, every + 1, 3, 10, 2 * every, 4, 10}
        << QList<bool>{true, true, false, true};
    QTest::newRow("one held back does not restart the interval")
        << QList<qint64>{0, 1, 10, every - 50, 2, 10, every + 10, 3, 10} << QList<bool>{true, false, true};
    QTest::newRow("the last passes at once") << QList<qint64>{0, 1, 10, 1, 10, 10} << QList<bool>{true, true};
}

void TestBackgroundJob::progressThrottle()
{
    QFETCH(QList<qint64>, reports);
    QFETCH(QList<bool>, passed);
    ProgressThrottle throttle;
    QList<bool> got;
    for (qsizetype i = 0; i + 2 < reports.size(); i += 3)
        got << throttle.pass(reports[i], reports[i + 1], reports[i + 2]);
    QCOMPARE(got, passed);
}

void TestBackgroundJob::progressReachesTheOwnerThrottled()
{
    QObject owner;
    BackgroundJob job(&owner);
    constexpr qint64 total = 200000;
    QList<std::pair<qint64, qint64>> reports;
    bool inOwnerThread = true;
    bool ended = false;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(job.start([&](const BackgroundJob::Context &context) -> std::function<void()> {
        const auto report = context.throttled([&](qint64 done, qint64 all) {
            inOwnerThread = inOwnerThread && QThread::currentThread() == owner.thread();
            reports << std::pair(done, all);
        });
        for (qint64 done = 1; done <= total; ++done)
            report(done, total);
        return [&] { ended = true; };
    }));
    QTRY_VERIFY(ended);
    QVERIFY(inOwnerThread);
    QVERIFY(!reports.isEmpty());
    QCOMPARE(reports.last(), std::pair(total, total));
    QVERIFY2(reports.size() <= 2 + clock.elapsed() / ProgressThrottle::kEveryMs, qPrintable(QString::number(reports.size())));
}

void TestBackgroundJob::calledOffJobStopsAndIsSilent()
{
    QObject owner;
    std::optional<BackgroundJob> job(std::in_place, &owner);
    int calls = 0;
    bool ended = false;
    std::atomic<bool> stoppedByCallOff = false;
    QVERIFY(job->start([&](const BackgroundJob::Context &context) -> std::function<void()> {
        while (!context.shared().cancelled()) {
            context.post([&] { ++calls; });
            QThread::msleep(1); // keeps the owner's queue short
        }
        stoppedByCallOff = true;
        return [&] { ended = true; };
    }));
    QTRY_VERIFY(calls > 0);
    QVERIFY(job->isRunning());
    QVERIFY(!job->start([](const BackgroundJob::Context &) { return std::function<void()>(); }));

    job.reset(); // calls it off and joins its thread
    QVERIFY(stoppedByCallOff);
    const int before = calls;
    // Queued after every call the work posted: once it runs, they have all been dealt with.
    bool flushed = false;
    QMetaObject::invokeMethod(&owner, [&] { flushed = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(flushed);
    QCOMPARE(calls, before);
    QVERIFY(!ended);
}

void TestBackgroundJob::endMayStartTheJobAgain()
{
    QObject owner;
    BackgroundJob job(&owner);
    std::optional<bool> restarted;
    bool secondEnded = false;
    QVERIFY(job.start([&](const BackgroundJob::Context &) -> std::function<void()> {
        return [&] {
            restarted = !job.isRunning() && job.start([&](const BackgroundJob::Context &) -> std::function<void()> {
                return [&] { secondEnded = true; };
            });
        };
    }));
    QTRY_VERIFY(restarted.has_value());
    QVERIFY(*restarted);
    QTRY_VERIFY(secondEnded);
}

void TestBackgroundJob::stepsFollowTheMeasuredTime()
{
    const QString path = database({1});
    WorkerConnection shared;
    SteppedBuild build(shared);
    QVERIFY(build.open(path));
    // Each item takes a tenth of a millisecond on this clock: 1,000 fill the aimed 100 ms.
    qint64 now = 0;
    build.setClock([&now] { return now; });
    QList<qint64> sizes;
    int committed = 0;
    const bool built = build.runSteps(
        {100, 100, 50000, 0},
        [&](qint64 size) {
            if (!build.db().inTransaction())
                return SteppedBuild::Step::Failed;
            if (sizes.size() == 5)
                return SteppedBuild::Step::Finished;
            sizes << size;
            now += size / 10;
            return SteppedBuild::Step::Taken;
        },
        [&] { ++committed; });
    QVERIFY(built);
    QCOMPARE(sizes, (QList<qint64>{100, 400, 1000, 1000, 1000}));
    QCOMPARE(committed, 5);
    QVERIFY(!build.db().inTransaction());
}

void TestBackgroundJob::stepsCalledOffOrFailed_data()
{
    QTest::addColumn<bool>("callOff");
    QTest::addColumn<Report::Outcome>("outcome");
    QTest::addColumn<QString>("detail");
    QTest::newRow("called off between steps") << true << Report::Outcome::Stopped << QString();
    QTest::newRow("a step fails") << false << Report::Outcome::Failed << QStringLiteral("the step failed");
}

void TestBackgroundJob::stepsCalledOffOrFailed()
{
    QFETCH(bool, callOff);
    QFETCH(Report::Outcome, outcome);
    QFETCH(QString, detail);
    const QString path = database({1, 2, 3});
    WorkerConnection shared;
    SteppedBuild build(shared);
    QVERIFY(build.open(path));
    int steps = 0;
    const bool built = build.runSteps({1, 100, 50000, 0}, [&](qint64) {
        ++steps;
        if (!SteppedBuild::exec(build.db(), "DELETE FROM veltra WHERE rowid = ?1", {steps}))
            return SteppedBuild::Step::Failed;
        if (callOff) {
            shared.cancel();
            return SteppedBuild::Step::Taken;
        }
        build.db().setError(QStringLiteral("the step failed"), SQLITE_ERROR);
        return SteppedBuild::Step::Failed;
    });
    QVERIFY(!built);
    QCOMPARE(steps, 1);
    const Report report = build.failed(Report());
    QCOMPARE(report.outcome, outcome);
    QCOMPARE(report.detail, detail);
    // A failed step's writes are rolled back, a committed one's kept.
    QVERIFY(!build.db().inTransaction());
    qint64 left = 0;
    QVERIFY(SteppedBuild::count(build.db(), "SELECT count(*) FROM veltra", &left));
    QCOMPARE(left, callOff ? 2 : 3);
}

void TestBackgroundJob::stepEnd_data()
{
    QTest::addColumn<qint64>("after");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<std::optional<qint64>>("end");
    // The table holds rowids -4, 1, 2, 5, 9, 10.
    QTest::newRow("the first") << qint64(0) << qint64(1) << std::optional<qint64>(1);
    QTest::newRow("the third, over a gap") << qint64(0) << qint64(3) << std::optional<qint64>(5);
    QTest::newRow("from the middle") << qint64(2) << qint64(2) << std::optional<qint64>(9);
    QTest::newRow("after a rowid not in the table") << qint64(3) << qint64(1) << std::optional<qint64>(5);
    QTest::newRow("fewer left: the last") << qint64(5) << qint64(10) << std::optional<qint64>(10);
    QTest::newRow("rowids below 1") << qint64(-100) << qint64(2) << std::optional<qint64>(1);
    QTest::newRow("none left") << qint64(10) << qint64(5) << std::optional<qint64>();
}

void TestBackgroundJob::stepEnd()
{
    QFETCH(qint64, after);
    QFETCH(qint64, count);
    QFETCH(std::optional<qint64>, end);
    WorkerConnection shared;
    SteppedBuild build(shared);
    QVERIFY(build.open(database({-4, 1, 2, 5, 9, 10})));
    std::optional<qint64> got = -1;
    QVERIFY(build.stepEnd(after, count, &got));
    QCOMPARE(got, end);
}

QTEST_GUILESS_MAIN(TestBackgroundJob)
#include "tst_backgroundjob.moc"
