// SPDX-License-Identifier: GPL-3.0-or-later
// The substring index from the window: built in the background at start-up with its
// progress in the status line while searches go on and find the same; removed when the
// user asks for none; built anew after a search found it damaged.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "search/searchpanel.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "messagegenerator.h"
#include "windowharness.h"
#include "store/recordset.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

#include <sqlite3.h>

using namespace Harness;

namespace {

SearchIndex::State indexState(const QString &path)
{
    SqliteDb db;
    return db.open(path, SQLITE_OPEN_READONLY) ? SearchIndex::status(db).state : SearchIndex::State::Broken;
}

}

class TestSearchIndexing final : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void buildsWhileSearchesGoOn();
    void removedWhenNoneIsWanted();
    void builtAnewAfterALookupFailed();
    void damageFoundAtOpening();

private:
    QStringList bodySearch(Form1 *w, const QString &term)
    {
        action(w, "MenuSearchBody")->trigger();
        search(w, term);
        return lines(child<ResultTable>(w, "List1"));
    }
};

void TestSearchIndexing::buildsWhileSearchesGoOn()
{
    const QString database = path(QStringLiteral("veltra.mdb"));
    // Enough messages for the build to show how far it got.
    QVERIFY(Fixtures::writeDatabase(database, MessageGenerator::generate(5, 400) + Fixtures::range(1000, 6000)));
    // Half-built, as a killed build leaves it, and held up by another writer, so that the
    // window's build shows where it is and waits there.
    SqliteDb writer;
    QVERIFY(writer.open(database, SQLITE_OPEN_READWRITE));
    QVERIFY(writer.exec("PRAGMA journal_mode = WAL"));
    QVERIFY(SearchIndex::create(writer));
    QVERIFY(writer.exec("BEGIN IMMEDIATE"));

    auto w = restart();
    auto *status = child<QLabel>(w.get(), "LblUpdateStatus");
    QTRY_COMPARE(status->text(), QStringLiteral("Building the search index: 0%"));
    QVERIFY(!w->archive()->recordset()->searchIndexInUse());
    const QStringList duringBuild = bodySearch(w.get(), QStringLiteral("clutch"));
    QVERIFY(duringBuild.size() > 5);

    QVERIFY(writer.exec("COMMIT"));
    QTRY_VERIFY_WITH_TIMEOUT(w->archive()->recordset()->searchIndexInUse(), 20000);
    // The line shows what it showed before the build.
    QTRY_COMPARE(status->text(), QStringLiteral("5401 Messages - Last # 6000"));
    QCOMPARE(bodySearch(w.get(), QStringLiteral("clutch")), duringBuild);
}

void TestSearchIndexing::removedWhenNoneIsWanted()
{
    const QString database = path(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(database, MessageGenerator::generate(5, 100)));
    QCOMPARE(SearchIndexBuilder::run(database, SearchIndexBuilder::Task::Build).outcome, SearchIndexBuilder::Outcome::Ready);
    AppConfig config;
    config.searchIndex = false;
    auto w = restart(config);
    QVERIFY(!w->archive()->recordset()->searchIndexInUse());
    QTRY_COMPARE(indexState(database), SearchIndex::State::Absent);
    QTRY_VERIFY(!w->findChild<SearchIndexBuilder *>());
    // Searches after it neither start the index again nor remove it once more.
    for (int run = 0; run < 3; ++run) {
        QVERIFY(!bodySearch(w.get(), QStringLiteral("clutch")).isEmpty());
        QVERIFY(!w->findChild<SearchIndexBuilder *>());
        QVERIFY(!w->archive()->recordset()->searchIndexInUse());
    }
    QCOMPARE(indexState(database), SearchIndex::State::Absent);
}

void TestSearchIndexing::builtAnewAfterALookupFailed()
{
    const QString database = path(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(database, MessageGenerator::generate(5, 200)));
    QCOMPARE(SearchIndexBuilder::run(database, SearchIndexBuilder::Task::Build).outcome, SearchIndexBuilder::Outcome::Ready);
    auto w = restart();
    QTRY_VERIFY(w->archive()->recordset()->searchIndexInUse());
    const QStringList expected = bodySearch(w.get(), QStringLiteral("clutch"));
    {
        SqliteDb db;
        QVERIFY(db.open(database, SQLITE_OPEN_READWRITE));
        // The window builds the conversations in the background meanwhile: wait for its steps.
        sqlite3_busy_timeout(db.handle(), 10000);
        QVERIFY(db.exec("UPDATE veltra_fts_body_data SET block = x'0102030405' WHERE id = 10"));
    }
    // The damaged index is passed over at once: the same hits, and no word of damage.
    QCOMPARE(bodySearch(w.get(), QStringLiteral("clutch")), expected);
    QVERIFY(!w->archive()->recordset()->isDamaged());
    QTRY_VERIFY_WITH_TIMEOUT(w->archive()->recordset()->searchIndexInUse(), 20000);
    QCOMPARE(bodySearch(w.get(), QStringLiteral("clutch")), expected);
}

void TestSearchIndexing::damageFoundAtOpening()
{
    const QString database = path(QStringLiteral("veltra.mdb"));
    QVERIFY(Fixtures::writeDatabase(database, MessageGenerator::generate(5, 200)));
    QCOMPARE(SearchIndexBuilder::run(database, SearchIndexBuilder::Task::Build).outcome, SearchIndexBuilder::Outcome::Ready);
    QStringList expected;
    {
        auto w = restart();
        QTRY_VERIFY(w->archive()->recordset()->searchIndexInUse());
        expected = bodySearch(w.get(), QStringLiteral("clutch"));
        QVERIFY(!expected.isEmpty());
    }
    {
        // Lookups then find nothing, though every part of the index and its counts look whole.
        SqliteDb db;
        QVERIFY(db.open(database, SQLITE_OPEN_READWRITE));
        QVERIFY(db.exec("DELETE FROM veltra_fts_body_idx"));
    }
    auto w = restart();
    // Before the check has passed, a search reads every record.
    QCOMPARE(bodySearch(w.get(), QStringLiteral("clutch")), expected);
    QTRY_VERIFY_WITH_TIMEOUT(w->archive()->recordset()->searchIndexInUse(), 20000);
    QCOMPARE(bodySearch(w.get(), QStringLiteral("clutch")), expected);
    QVERIFY(!w->archive()->recordset()->isDamaged());
}

QTEST_MAIN(TestSearchIndexing)
#include "tst_searchindexing.moc"
