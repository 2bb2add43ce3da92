// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the window in the current folder with the fake browser, runs one update against
// the server given as the first argument, prints the status label and the run's time in
// seconds, one a line, and exits; the run is timed once start-up's check of the file, its
// look at the search index and the one-off build of the conversations are over. When the window then takes the new messages into
// the search index, the seconds that takes follow on a third line. The kill test kills it
// half-way; bench_update times it.
// Options: "--close-after MS" closes the window MS milliseconds into the run, as a user
// would; "--fetches N", "--first N" and "--no-search-index" are the program's options.
#include "app/form1.h"
#include "update/updatecontroller.h"
#include "fakebrowser.h"
#include "store/conversationindex.h"
#include "store/integritycheck.h"
#include "store/searchindex.h"
#include "store/sqlitedb.h"
#include "testenv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    AppConfig config;
    int closeAfter = -1;
    bool usable = args.size() >= 2;
    for (qsizetype i = 2; usable && i < args.size(); ++i) {
        if (args[i] == QLatin1String("--no-search-index")) {
            config.searchIndex = false;
            continue;
        }
        bool ok = false;
        const int value = i + 1 < args.size() ? args[i + 1].toInt(&ok) : 0;
        if (!ok)
            usable = false;
        else if (args[i] == QLatin1String("--close-after"))
            closeAfter = value;
        else if (args[i] == QLatin1String("--fetches"))
            config.updateFetches = value;
        else if (args[i] == QLatin1String("--first"))
            config.updateFirst = value;
        else
            usable = false;
        ++i;
    }
    if (!usable) {
        QTextStream(stderr) << "usage: update_child SERVER_URL [--close-after MS] [--fetches N] [--first N]"
                               " [--no-search-index] (in the data folder)\n";
        return 2;
    }
    config.updateServer = args.at(1);
    QPointer<Form1> window = new Form1(config, new FakeBrowser);
    window->showAsLoaded();
    QElapsedTimer waited;
    waited.start();
    while (window->windowTitle().isEmpty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Start-up's one-off check of the file reads all of it on another thread, and the
    // search index is looked at (or built) on another; the run is timed after them, as it
    // would go at any quarter hour but the first.
    const auto indexing = [&] {
        const auto builders = window ? window->findChildren<SearchIndexBuilder *>() : QList<SearchIndexBuilder *>();
        return std::any_of(builders.begin(), builders.end(), [](const SearchIndexBuilder *b) { return b->isRunning(); });
    };
    // The conversations are built once for a file that lacks them, after the words; the
    // file is asked too, since the builder starts a turn of the event loop after the check.
    SqliteDb file;
    const auto conversing = [&] {
        const auto builders = window->findChildren<ConversationIndexBuilder *>();
        if (std::any_of(builders.begin(), builders.end(), [](const ConversationIndexBuilder *b) { return b->isRunning(); }))
            return true;
        if (!file.isOpen() && !file.open(QStringLiteral("veltra.mdb"), SQLITE_OPEN_READONLY))
            return true;
        return ConversationIndex::backlog(file) > 0;
    };
    const auto checking = [&] {
        const auto *check = window->findChild<IntegrityCheck *>();
        return (check && check->isRunning()) || indexing() || conversing();
    };
    while (checking() && waited.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QLabel *const label = window->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"));
    QString status;
    QElapsedTimer timer;
    timer.start();
    window->updater()->updateDB();
    if (closeAfter >= 0)
        QTimer::singleShot(closeAfter, window, &QWidget::close);
    while (window && window->updater()->isRunning()) {
        status = label->text();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (window)
        status = label->text();
    QTextStream out(stdout);
    out << status << '\n' << QString::number(seconds, 'f', 6) << '\n';
    if (indexing()) {
        timer.restart();
        while (indexing())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        out << QString::number(double(timer.nsecsElapsed()) / 1e9, 'f', 6) << '\n';
    }
    delete window;
    return 0;
}
