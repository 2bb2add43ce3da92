// SPDX-License-Identifier: GPL-3.0-or-later
// Flagging, listing flagged messages, deleting and compacting in the window, with the
// fake browser and a stand-in for the companion that starts the program again.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "maint/maintenance.h"
#include "results/resultspanel.h"
#include "search/searchpanel.h"
#include "view/viewer.h"
#include "widgets/icons.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "archive/databaselock.h"
#include "modalanswerer.h"
#include "windowharness.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sqlite3.h>

#include <cstring>

using namespace Harness;

namespace {

// messnum -> messdate of every stored record, read through a connection of its own.
QMap<int, QString> storedDates(const QString &path)
{
    QMap<int, QString> dates;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        // The window's index builder may be committing in the background.
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT messnum, messdate FROM veltra ORDER BY rowid", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW)
                dates.insert(sqlite3_column_int(s, 0), QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 1))));
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return dates;
}

QString dateOf(qint32 messnum)
{
    return titled(messnum, QString()).messdate;
}

// A full disk as SQLite meets it: every write to the compacted copy (or a file beside it)
// fails with SQLITE_FULL, SQLite's answer to the system's "no space left". Connections
// opened while it lives use it, and keep using it after (the window reopens the database
// when the compaction fails): so it is never freed.
class FullDisk final
{
public:
    FullDisk()
    {
        s_system = sqlite3_vfs_find(nullptr);
        s_vfs = *s_system;
        s_vfs.zName = "fulldisk";
        s_vfs.xOpen = open;
        sqlite3_vfs_register(&s_vfs, 1);
    }
    ~FullDisk() { sqlite3_vfs_unregister(&s_vfs); }
    Q_DISABLE_COPY_MOVE(FullDisk)

private:
    static int open(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
    {
        const int rc = s_system->xOpen(s_system, name, file, flags, outFlags);
        if (rc == SQLITE_OK && name && std::strstr(name, "veltranew.mdb") && file->pMethods) {
            s_full = *file->pMethods;
            s_full.xWrite = [](sqlite3_file *, const void *, int, sqlite3_int64) { return SQLITE_FULL; };
            file->pMethods = &s_full;
        }
        return rc;
    }
    static inline sqlite3_vfs s_vfs;
    static inline sqlite3_vfs *s_system = nullptr;
    static inline sqlite3_io_methods s_full;
};

QToolButton *button(QWidget *w, const char *name)
{
    return child<QToolButton>(w, name);
}

bool showsTrash(QAbstractButton *b)
{
    return b->icon().cacheKey() == Icons::trashIcon().cacheKey();
}

// Subjects "pick" on the given numbers, "other" elsewhere; `flagged` ones carry the mark.
QList<MessageRecord> archive(int count, const QList<int> &picked, const QList<int> &flagged = {})
{
    QList<MessageRecord> records;
    for (int n = 1; n <= count; ++n)
        records << titled(n, picked.contains(n) ? QStringLiteral("pick %1").arg(n) : QStringLiteral("other %1").arg(n),
                          flagged.contains(n));
    return records;
}

}

class TestDeletionWindow final : public Harness::WindowTest
{
    Q_OBJECT

    QString database() const { return path(QStringLiteral("veltra.mdb")); }
    void openPanel(Form1 *w) { action(w, "MnuDelete")->trigger(); }

private slots:
    void flagButtonTogglesTheMessageInView();
    void flagAllWalksTheList_data();
    void flagAllWalksTheList();
    void interruptedWalkLeavesTheRest();
    void listingFlagged_data();
    void listingFlagged();
    void listingStopsAfter30001();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void deletingFlaggedMessages();
    void noWarningSurvivesARestart();
    void compactionEndsAndRestarts();
    void secondCopyMakesCompactionFail();
    void restarterThatCannotStart();
    void startUpCompletesACutOffCompaction();
    void startUpClearsLeftoversBesideASoundDatabase_data();
    void startUpClearsLeftoversBesideASoundDatabase();
    // Last: its stand-in file system is never freed, and now and then SQLite's bookkeeping
    // of this process's files keeps a lock of it that a later new file is refused for.
    void compactionOnAFullDisk();
};

void TestDeletionWindow::flagButtonTogglesTheMessageInView()
{
    auto w = start(archive(6, {4}));
    fake()->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
    // A search with one hit shows it and leaves the cursor on the first record.
    search(w.get(), QStringLiteral("pick"));
    QToolButton *flag = button(w.get(), "CmdMarkDelete");
    QVERIFY(flag->isEnabled());

    flag->click();
    QCOMPARE(storedDates(database()).value(4), QStringLiteral("-1") + dateOf(4));
    QCOMPARE(storedDates(database()).value(1), dateOf(1));
    QVERIFY(showsTrash(flag));
    QCOMPARE(flag->toolTip(), QStringLiteral("Remove deletion flag to current message"));

    flag->click();
    QCOMPARE(storedDates(database()).value(4), dateOf(4));
    QVERIFY(!showsTrash(flag));
    QCOMPARE(flag->toolTip(), QStringLiteral("Add deletion flag to current message"));

    // Rendering a flagged message uses the other wording.
    flag->click();
    child<QScrollBar>(w.get(), "hscroll1")->setValue(4);
    child<QScrollBar>(w.get(), "hscroll1")->setValue(5);
    child<QScrollBar>(w.get(), "hscroll1")->setValue(4);
    QCOMPARE(flag->toolTip(), QStringLiteral("Remove deletion flag from current message"));
}

void TestDeletionWindow::flagAllWalksTheList_data()
{
    QTest::addColumn<QList<int>>("picked");
    QTest::addColumn<QList<int>>("flagged");
    QTest::addColumn<int>("shownAfterSearch"); // brought into view before the click, 0 for none

    QTest::newRow("a mix of flagged and not") << QList<int>{2, 4, 6, 8} << QList<int>{2, 6} << 0;
    QTest::newRow("one hit right after the search") << QList<int>{7} << QList<int>{} << 0;
    QTest::newRow("one hit, another message in view") << QList<int>{7} << QList<int>{} << 3;
}

void TestDeletionWindow::flagAllWalksTheList()
{
    QFETCH(QList<int>, picked);
    QFETCH(QList<int>, flagged);
    QFETCH(int, shownAfterSearch);
    auto w = start(archive(10, picked, flagged));
    fake()->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
    search(w.get(), QStringLiteral("pick"));
    if (shownAfterSearch)
        child<QScrollBar>(w.get(), "hscroll1")->setValue(shownAfterSearch);
    const QString shown = w->viewer()->shownMessageNumber();
    const int navigations = fake()->navigations().size();
    QToolButton *range = button(w.get(), "CmdMarkRange");
    QCOMPARE(showsTrash(range), picked.size() == flagged.size());

    range->click();
    QVERIFY(showsTrash(range));
    QCOMPARE(range->toolTip(), QStringLiteral("Remove Deletion Flag From All Found Messages"));
    QMap<int, QString> dates = storedDates(database());
    for (int n = 1; n <= 10; ++n) {
        const QString plain = dateOf(n);
        const bool marked = picked.contains(n) || flagged.contains(n);
        QCOMPARE(dates.value(n), marked ? QStringLiteral("-1") + plain : plain);
    }
    // Nothing was shown; the flag button describes the last visited message.
    QCOMPARE(w->viewer()->shownMessageNumber(), shown);
    QCOMPARE(fake()->navigations().size(), navigations);
    QVERIFY(showsTrash(button(w.get(), "CmdMarkDelete")));
    QVERIFY(button(w.get(), "CmdMarkDelete")->isEnabled());
    // The walk's pause is over: the message in view is rendered again.
    w->viewer()->TryToDisplay();
    QCOMPARE(fake()->navigations().size(), navigations + 1);

    range->click();
    QVERIFY(!showsTrash(range));
    QCOMPARE(range->toolTip(), QStringLiteral("Add Deletion Flag To  All Found Messages"));
    dates = storedDates(database());
    for (int n = 1; n <= 10; ++n)
        QCOMPARE(dates.value(n), flagged.contains(n) && !picked.contains(n) ? QStringLiteral("-1") + dateOf(n) : dateOf(n));
}

void TestDeletionWindow::interruptedWalkLeavesTheRest()
{
    // Long enough for the walk to let events run several times.
    constexpr int count = 3000;
    QList<MessageRecord> records;
    for (int n = 1; n <= count; ++n)
        records << titled(n, QStringLiteral("pick"));
    auto w = start(records);
    search(w.get(), QStringLiteral("pick"));
    auto *list = child<ResultTable>(w.get(), "List1");
    QTimer interrupter;
    connect(&interrupter, &QTimer::timeout, this, [&] {
        if (list->currentRow() >= 10)
            action(w.get(), "MenuOptionsInterrupt")->trigger();
    });
    interrupter.start(0);
    button(w.get(), "CmdMarkRange")->click();
    interrupter.stop();

    const QMap<int, QString> dates = storedDates(database());
    const auto flaggedCount = std::count_if(dates.cbegin(), dates.cend(), [](const QString &d) { return d.startsWith(QLatin1String("-1")); });
    QVERIFY2(flaggedCount >= 10 && flaggedCount < count, qPrintable(QString::number(flaggedCount)));
    QCOMPARE(dates.value(count), dateOf(count));
    QVERIFY(showsTrash(button(w.get(), "CmdMarkRange")));
    QVERIFY(w->results()->interruptRequested());
    QVERIFY(list->isEnabled());
}

void TestDeletionWindow::listingFlagged_data()
{
    QTest::addColumn<QList<MessageRecord>>("records");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("label");

    QList<MessageRecord> none = archive(5, {});
    QList<MessageRecord> mixed = archive(8, {}, {6, 2, 7});
    mixed[2].messdate = QStringLiteral("Mon 3-1-2003"); // "-1" further on: not flagged
    QTest::newRow("nothing flagged") << none << QStringList() << QStringLiteral(" There Are Crrently No Messages Marked For Deletion");
    QTest::newRow("flagged in table order, -1 inside passed over")
        << mixed << QStringList{QStringLiteral("2 : [vclub]other 2"), QStringLiteral("6 : [vclub]other 6"),
                                QStringLiteral("7 : [vclub]other 7")}
        << QStringLiteral(" 3 Found");
}

void TestDeletionWindow::listingFlagged()
{
    QFETCH(QList<MessageRecord>, records);
    QFETCH(QStringList, listed);
    QFETCH(QString, label);
    auto w = start(records);
    fake()->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
    child<QScrollBar>(w.get(), "hscroll1")->setValue(4);
    button(w.get(), "cmdCheckDelete")->click();

    auto *list = child<ResultTable>(w.get(), "List1");
    QCOMPARE(lines(list), listed);
    QCOMPARE(child<QLabel>(w.get(), "lblResults")->text(), label);
    QToolButton *range = button(w.get(), "CmdMarkRange");
    QCOMPARE(range->isEnabled(), !listed.isEmpty());
    QCOMPARE(child<QWidget>(w.get(), "HPic2")->isVisible(), !listed.isEmpty());
    if (listed.isEmpty()) {
        QCOMPARE(child<QScrollBar>(w.get(), "hscroll1")->value(), 1);
        return;
    }
    QVERIFY(showsTrash(range));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(w->viewer()->shownMessageNumber(), QStringLiteral("2"));
    QCOMPARE(child<QScrollBar>(w.get(), "hscroll2")->maximum(), listed.size() - 1);
    // The next click unflags every listed message.
    range->click();
    for (const QString &date : storedDates(database()))
        QVERIFY(!date.startsWith(QLatin1String("-1")));
}

void TestDeletionWindow::listingStopsAfter30001()
{
    QList<MessageRecord> records;
    for (int n = 1; n <= 30010; ++n)
        records << titled(n, QStringLiteral("s"), true);
    auto w = start(records);
    button(w.get(), "cmdCheckDelete")->click();
    QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 30001);
    QCOMPARE(child<QLabel>(w.get(), "lblResults")->text(), QStringLiteral(" 30001 Found"));
}

void TestDeletionWindow::cancelChangesNothing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("delete") << QByteArray("CmdDeleteMarked") << QStringLiteral("Delete Messages")
                            << QStringLiteral("Click OK to delete all marked messages.");
    QTest::newRow("compact") << QByteArray("CmdCompact") << QStringLiteral("Compact The Database")
                             << QStringLiteral("Click OK to compact the database.");
}

void TestDeletionWindow::cancelChangesNothing()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, title);
    QFETCH(QString, text);
    auto w = start(archive(5, {}, {2, 3}));
    openPanel(w.get());
    ModalAnswerer answerer(QMessageBox::Cancel);
    child<QPushButton>(w.get(), command.constData())->click();
    QCOMPARE(answerer.texts, QStringList{text});
    QCOMPARE(answerer.titles, QStringList{title});
    QCOMPARE(answerer.icons.value(0), QMessageBox::NoIcon);
    QCOMPARE(answerer.buttons.value(0), QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(storedDates(database()).size(), 5);
    QVERIFY(child<QWidget>(w.get(), "PicDeleteMarked")->isVisible());
    for (const char *name : {"CmdDeleteMarked", "CmdCompact", "CmdDelExit", "ChkNoWarn"})
        QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);
    QCOMPARE(child<QPushButton>(w.get(), "CmdCompact")->text(), QStringLiteral("Compact"));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("veltra.bak"))));
    QVERIFY(w->isVisible());
}

void TestDeletionWindow::deletingFlaggedMessages()
{
    QList<MessageRecord> records = archive(10, {}, {1, 5, 10});
    records[6].messdate = QStringLiteral("x-1 inside"); // message 7 holds "-1" but is not flagged
    auto w = start(records);
    fake()->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
    const int navigations = fake()->navigations().size();
    openPanel(w.get());
    child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
    ModalAnswerer answerer;
    child<QPushButton>(w.get(), "CmdDeleteMarked")->click();

    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(storedDates(database()).keys(), (QList<int>{2, 3, 4, 6, 7, 8, 9}));
    QCOMPARE(child<QLabel>(w.get(), "lblResults")->text(), QStringLiteral(" Messages Deleted"));
    QCOMPARE(child<QLabel>(w.get(), "LblUpdateStatus")->text(), QStringLiteral("7 Messages - Last Msg.# 9"));
    QCOMPARE(child<QScrollBar>(w.get(), "hscroll1")->maximum(), 9);
    QCOMPARE(child<QScrollBar>(w.get(), "hscroll1")->value(), 1);
    // Message 1 is gone, so nothing new is shown.
    QCOMPARE(fake()->navigations().size(), navigations);
    QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 0);
    QVERIFY(!child<QWidget>(w.get(), "HPic2")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "PicDeleteMarked")->isVisible());
    QCOMPARE(child<QPushButton>(w.get(), "CmdDeleteMarked")->text(), QStringLiteral("Delete"));
    for (const char *name : {"CmdDeleteMarked", "CmdCompact", "CmdDelExit", "ChkNoWarn"})
        QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);
    QVERIFY(!button(w.get(), "CmdMarkRange")->isEnabled());
}

void TestDeletionWindow::noWarningSurvivesARestart()
{
    auto w = start(archive(3, {}));
    child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
    w->close();
    w.reset();
    w = restart();
    QVERIFY(child<QCheckBox>(w.get(), "ChkNoWarn")->isChecked());
}

void TestDeletionWindow::compactionEndsAndRestarts()
{
    auto w = start(archive(400, {}, {}));
    Fixtures::writeAll(path(QStringLiteral("veltranew.mdb")), "left over from a run cut off");
    int restarts = 0;
    for (int round = 1; round <= 2; ++round) {
        w->maintenance()->setRestarter([&](QString *) {
            ++restarts;
            return true;
        });
        openPanel(w.get());
        child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
        const QMap<int, QString> before = storedDates(database());
        ModalAnswerer answerer;
        child<QPushButton>(w.get(), "CmdCompact")->click();
        QVERIFY(answerer.texts.isEmpty());
        QCOMPARE(restarts, round);
        QVERIFY(!w->isVisible());
        QCOMPARE(storedDates(database()), before);
        QCOMPARE(storedDates(path(QStringLiteral("veltra.bak"))), before);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("veltranew.mdb"))));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("KnowledgeBase.ini"))));
        w.reset();
        w = restart();
        if (round == 1) {
            // Flag and delete some, so the second compaction has something to give back.
            search(w.get(), QStringLiteral("other 1"));
            button(w.get(), "CmdMarkRange")->click();
            openPanel(w.get());
            child<QPushButton>(w.get(), "CmdDeleteMarked")->click();
        }
    }
    QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("*.bak")}, QDir::Files).size(), 1);
    QVERIFY(QFileInfo(database()).size() < QFileInfo(path(QStringLiteral("veltra.bak"))).size());
}

void TestDeletionWindow::secondCopyMakesCompactionFail()
{
    auto w = start(archive(20, {3}));
    DatabaseLock otherCopy;
    QVERIFY(otherCopy.lockShared(path(QString()), 0));
    openPanel(w.get());
    ModalAnswerer answerer(QMessageBox::Ok);
    child<QPushButton>(w.get(), "CmdCompact")->click();

    QCOMPARE(answerer.texts, (QStringList{QStringLiteral("Click OK to compact the database."),
                                          QStringLiteral("The Database is in use. Please close all other Knowledgebase programs and try again.")}));
    QCOMPARE(answerer.titles.value(1), QStringLiteral("Veltra KnowledgeBase"));
    QCOMPARE(answerer.buttons.value(1), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(answerer.icons.value(1), QMessageBox::NoIcon);
    QVERIFY(w->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "PicDeleteMarked")->isVisible());
    QCOMPARE(child<QPushButton>(w.get(), "CmdCompact")->text(), QStringLiteral("Compacting"));
    QVERIFY(!child<QWidget>(w.get(), "CmdDeleteMarked")->isEnabled());
    for (const char *name : {"CmdCompact", "CmdDelExit", "ChkNoWarn"})
        QVERIFY2(child<QWidget>(w.get(), name)->isEnabled(), name);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("veltra.bak"))));
    // The database still answers.
    search(w.get(), QStringLiteral("pick"));
    QCOMPARE(lines(child<ResultTable>(w.get(), "List1")), QStringList{QStringLiteral("3 : [vclub]pick 3")});

    // With the other copy gone the retry succeeds.
    otherCopy.release();
    w->maintenance()->setRestarter([](QString *) { return true; });
    openPanel(w.get());
    child<QPushButton>(w.get(), "CmdCompact")->click();
    QVERIFY(!w->isVisible());
    QVERIFY(QFileInfo::exists(path(QStringLiteral("veltra.bak"))));
}

void TestDeletionWindow::restarterThatCannotStart()
{
    auto w = start(archive(20, {3}));
    w->maintenance()->setRestarter([](QString *reason) {
        *reason = QStringLiteral("no companion here");
        return false;
    });
    openPanel(w.get());
    child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
    ModalAnswerer answerer;
    child<QPushButton>(w.get(), "CmdCompact")->click();
    QCOMPARE(answerer.details, QStringList{QStringLiteral("no companion here")});
    QVERIFY(w->isVisible());
    // The compacted database is in place and open.
    QVERIFY(QFileInfo::exists(path(QStringLiteral("veltra.bak"))));
    search(w.get(), QStringLiteral("pick"));
    QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 1);
}

void TestDeletionWindow::compactionOnAFullDisk()
{
    auto w = start(archive(400, {3}));
    openPanel(w.get());
    child<QCheckBox>(w.get(), "ChkNoWarn")->setChecked(true);
    const QMap<int, QString> before = storedDates(database());
    ModalAnswerer answerer;
    {
        const FullDisk full;
        child<QPushButton>(w.get(), "CmdCompact")->click();
    }

    QCOMPARE(answerer.texts.size(), 1);
    const QString text = answerer.texts[0];
    for (const QString &part : {QStringLiteral("The database could not be compacted: the disk is full"),
                                QDir::toNativeSeparators(QDir::currentPath()), QStringLiteral("The message database is unchanged.")})
        QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" not in: ") + text));
    QVERIFY(w->isVisible());
    QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("veltranew*"), QStringLiteral("*.bak")}, QDir::Files), QStringList());
    QCOMPARE(storedDates(database()), before);
    search(w.get(), QStringLiteral("pick"));
    QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 1);
}

void TestDeletionWindow::startUpCompletesACutOffCompaction()
{
    // Killed between the two renames: the old database is the backup, the checked copy
    // has not taken its name yet.
    QVERIFY(Fixtures::writeDatabase(path(QStringLiteral("veltra.bak")), archive(30, {3})));
    QVERIFY(QFile::copy(path(QStringLiteral("veltra.bak")), path(QStringLiteral("veltranew.mdb"))));
    ModalAnswerer answerer;
    auto w = restart();
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts[0].contains(QLatin1String("veltranew.mdb")), qPrintable(answerer.texts[0]));
    QCOMPARE(storedDates(database()).size(), 30);
    QVERIFY(QFileInfo::exists(path(QStringLiteral("veltra.bak"))));
    search(w.get(), QStringLiteral("pick"));
    QCOMPARE(child<ResultTable>(w.get(), "List1")->count(), 1);
}

void TestDeletionWindow::startUpClearsLeftoversBesideASoundDatabase_data()
{
    QTest::addColumn<QByteArray>("database"); // veltra.mdb's bytes; empty for a sound one, "-" for none
    QTest::newRow("sound") << QByteArray();
    QTest::newRow("not a database") << QByteArray("not a database\n");
    // The copy may be all there is of the messages, even once a new, empty database is made.
    QTest::newRow("missing") << QByteArray("-");
}

void TestDeletionWindow::startUpClearsLeftoversBesideASoundDatabase()
{
    QFETCH(QByteArray, database);
    if (database.isEmpty())
        QVERIFY(Fixtures::writeDatabase(this->database(), archive(5, {})));
    else if (database != "-")
        Fixtures::writeAll(this->database(), database);
    // A kill in the middle of writing the copy.
    const QStringList leftovers{QStringLiteral("veltranew.mdb"), QStringLiteral("veltranew.mdb-journal")};
    for (const QString &name : leftovers)
        Fixtures::writeAll(path(name), QByteArray("cut off").repeated(600));
    ModalAnswerer answerer(QMessageBox::Yes);
    auto w = restart();

    const bool sound = database.isEmpty();
    QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("veltranew*")}, QDir::Files), sound ? QStringList() : leftovers);
    if (!sound)
        return;
    QVERIFY(answerer.texts.isEmpty());
    // Said over the first message shown, through what the page says as it loads.
    fake()->completeNavigation(FakeBrowser::urlFor(fake()->navigations().constLast()));
    emit fake()->statusTextChange(QStringLiteral("Done"));
    const QString status = child<QLineEdit>(w.get(), "LblStBar1")->text();
    QVERIFY2(status.contains(QLatin1String("veltranew.mdb, veltranew.mdb-journal")), qPrintable(status));
}

QTEST_MAIN(TestDeletionWindow)
#include "tst_deletionwindow.moc"
