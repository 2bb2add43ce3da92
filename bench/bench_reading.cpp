// SPDX-License-Identifier: GPL-3.0-or-later
// Reading in the window on the real-text archive (1,000,000 message numbers unless
// --messages says otherwise), on a copy with the search index and the conversation store
// built, as a member's archive is after its first start:
//   (a) a message's conversation, from the key (Ctrl+T) to the final label, for
//       conversations picked by size (one message, about ten, the largest); goal < 100 ms.
//       The anchor: the same conversation's words as a subject search in the same window.
//   (b) 5,000 listed hits of a common word sorted by author with a click on the header,
//       details not yet read (after a new search) and read (the other way round); goal
//       < 200 ms. The anchor: the sqlite3 program ordering the same 5,000 numbers by author.
// Prints figures only.
//
//   bench_reading [--messages N] [--runs N]
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "config/appconfig.h"
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "benchdata.h"
#include "benchwindow.h"
#include "fakebrowser.h"
#include "store/conversationindex.h"
#include "store/conversationtopic.h"
#include "store/recordset.h"
#include "store/searchindex.h"
#include "results/resultline.h"
#include "view/viewer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#ifndef VELTRA_CORPUS
#error "VELTRA_CORPUS must name the shared corpus folder"
#endif

using BenchData::print;
using BenchData::printText;
using BenchWindow::child;
using BenchWindow::search;

namespace {

template<typename F> double timedMs(F &&work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

// The background work after start-up is over: the file's check, the search index in use,
// the conversation store whole.
bool waitForBackgroundWork(Form1 &w, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    Recordset *const rs = w.archive()->recordset();
    const auto busy = [&] {
        return !rs->searchIndexInUse() || w.findChild<ConversationIndexBuilder *>()
               || ConversationIndex::backlog(rs->connection()) != 0;
    };
    while (busy() && waited.elapsed() < timeoutMs)
        BenchData::waitForEvents(100);
    print("start-up's background work (check, search index, conversation store)", waited.elapsed() / 1000.0, "s");
    if (busy()) {
        std::fprintf(stderr, "bench_reading: the background work did not end in %d s\n", timeoutMs / 1000);
        return false;
    }
    return true;
}

// The number of the conversation's last record, to show before the key is pressed.
qint32 lastMember(SqliteDb &db, const QString &title)
{
    const auto members = ConversationIndex::members(db, title);
    return members.empty() ? 0 : members.back().messnum;
}

QList<qint32> listedNumbers(ResultTable *list)
{
    QList<qint32> numbers;
    for (int row = 0; row < list->count(); ++row)
        numbers << ResultLine::number(list->text(row)).value_or(0);
    return numbers;
}

void conversations(Form1 &w, FakeBrowser &browser, int runs)
{
    Recordset *const rs = w.archive()->recordset();
    auto *label = child<QLabel>(&w, "lblResults");
    auto *list = child<ResultTable>(&w, "List1");
    for (const auto &[name, size] : {std::pair("one message", 1), std::pair("about ten", 10), std::pair("the largest", 0)}) {
        const std::optional<BenchData::Conversation> picked = BenchData::pickConversation(rs->connection(), size);
        if (!picked)
            continue;
        const QByteArray tag = QByteArray("(a) ") + name;
        const auto line = [&](const char *what) { return (tag + ", " + what).toStdString(); };
        const QString topic = ConversationTopic::of(picked->title);
        printText(line("subject").c_str(), picked->title);
        print(line("messages in it").c_str(), double(picked->size), "");

        QList<double> key;
        QString shownLabel;
        for (int run = 0; run < runs; ++run) {
            w.viewer()->showOnSlider(lastMember(rs->connection(), picked->title));
            BenchData::waitForEvents(10);
            key << timedMs([&] {
                QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
            });
            shownLabel = label->text();
        }
        const double keyMs = BenchData::median(key);
        printText(line("label").c_str(), shownLabel);
        print(line("listed").c_str(), list->count(), "messages");
        print(line("from Ctrl+T to the final label, median (goal < 100)").c_str(), keyMs, "ms");
        print(line("... first run").c_str(), key.first(), "ms");
        if (!browser.navigations().isEmpty() && list->count() == 0)
            printText(line("FAULT").c_str(), QStringLiteral("nothing listed"));

        // The anchor: the topic's words as a subject search, bracketed with wildcards.
        child<QAction>(&w, "MenuSearchTitle")->trigger();
        child<QAction>(&w, "MenuKeyBracket")->trigger();
        QList<double> searched;
        for (int run = 0; run < runs; ++run)
            searched << timedMs([&] { search(w, topic); });
        const double searchMs = BenchData::median(searched);
        printText(line("subject search for the topic, label").c_str(), label->text());
        print(line("subject search for the topic, median").c_str(), searchMs, "ms");
        print(line("ratio subject search / conversation").c_str(), searchMs / keyMs, "x");
    }
}

void sorting(Form1 &w, const QString &database, const QString &word, int runs)
{
    auto *list = child<ResultTable>(&w, "List1");
    QHeaderView *const header = list->horizontalHeader();
    const QPoint author(header->sectionViewportPosition(ResultModel::AuthorColumn) + 5, header->height() / 2);
    child<QAction>(&w, "MenuSearchBody")->trigger();
    QList<double> unread;
    QList<double> read;
    for (int run = 0; run < runs; ++run) {
        search(w, word); // a new listing: number order, no details read yet
        unread << timedMs([&] { QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, author); });
        read << timedMs([&] { QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, author); });
    }
    printText("(b) common word searched in the bodies", word);
    printText("(b) label", child<QLabel>(&w, "lblResults")->text());
    print("(b) hits listed", list->count(), "");
    print("(b) sort by author, details unread, median (goal < 200)", BenchData::median(unread), "ms");
    print("(b) sort by author the other way, details read, median", BenchData::median(read), "ms");

    // The anchor: the sqlite3 program ordering the same numbers by author.
    QStringList numbers;
    for (const qint32 n : listedNumbers(list))
        numbers << QString::number(n);
    QList<double> cli;
    for (int run = 0; run < runs; ++run) {
        const double ms = BenchData::sqliteCliMs(
            database, QStringLiteral(".output /dev/null\nselect messnum, messauthor from veltra where messnum in (%1) "
                                     "order by messauthor collate nocase;")
                          .arg(numbers.join(u',')));
        if (ms < 0) {
            printText("(b) sqlite3", QStringLiteral("not measured: the sqlite3 program did not run"));
            return;
        }
        cli << ms;
    }
    const double anchor = BenchData::median(cli);
    print("(b) sqlite3: the same numbers ordered by author, median", anchor, "ms");
    print("(b) ratio sort (details unread) / sqlite3", BenchData::median(unread) / anchor, "x");
}

int usage()
{
    std::fprintf(stderr, "usage: bench_reading [--messages N] [--runs N] [--word WORD]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int messages = 1000000;
    int runs = 5;
    QString word = QStringLiteral("the");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--messages") && hasValue) {
            messages = args[++i].toInt();
            if (messages < 1000)
                return usage();
        } else if (args[i] == QLatin1String("--runs") && hasValue) {
            runs = qMax(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--word") && hasValue) {
            word = args[++i];
        } else {
            return usage();
        }
    }

    const QString source = BenchData::realTextDatabase(messages, QStringLiteral(VELTRA_CORPUS "/realmail"));
    const QString indexed = source.isEmpty() ? QString() : BenchData::indexedDatabase(source);
    if (indexed.isEmpty())
        return 1;
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("veltra.mdb"));
    if (!folder.isValid() || !BenchData::copyDatabase(indexed, database))
        return 1;
    printText("database (a copy of)", indexed);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        printText("load average (1, 5, 15 min) at the start", QString::fromLatin1(load.readAll()).section(u' ', 0, 2));

    QDir::setCurrent(folder.path());
    auto *browser = new FakeBrowser;
    browser->setAutoComplete(FakeBrowser::AutoComplete::Immediate);
    Form1 w(AppConfig{}, browser);
    w.showAsLoaded();
    QElapsedTimer started;
    started.start();
    while (!w.windowTitle().startsWith(QLatin1String("Veltra Knowledgebase")) && started.elapsed() < 10000)
        BenchData::waitForEvents(50);
    if (!w.archive()->recordset()) {
        std::fprintf(stderr, "bench_reading: the window has no database\n");
        return 1;
    }
    print("messages", w.archive()->messageCount(), "");
    if (!waitForBackgroundWork(w, 3600 * 1000))
        return 1;
    w.activateWindow();
    conversations(w, *browser, runs);
    sorting(w, database, word, runs);
    return 0;
}
