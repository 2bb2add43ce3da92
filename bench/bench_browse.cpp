// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing with the real engine against a page served on loopback by this process:
//  - an address typed into the bar and Enter, to the engine's document-complete, median
//    of 40, against the engine alone asked for the same page (what the window adds);
//  - the window's handling of one navigation's ten notifications (address list of 51
//    entries rebuilt, caption, status line, progress), timed on its own.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "benchdata.h"
#include "browser/webenginebrowser.h"
#include "fixtures.h"
#include "store/recordset.h"
#include "store/searchindex.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHttpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kRuns = 40;
constexpr int kTimeoutMs = 20000;

// Runs `start` and the event loop until `browser` reports one more document-complete;
// returns the milliseconds it took, or -1.
double timeNavigation(Browser *browser, const std::function<void()> &start)
{
    // An event loop left at the notification itself: QTest::qWaitFor looks only when the
    // queue runs dry, which a page being painted keeps from happening for seconds.
    QEventLoop loop;
    bool done = false;
    QObject::connect(browser, &Browser::documentComplete, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    start();
    if (!done)
        loop.exec();
    return done ? t.nsecsElapsed() / 1e6 : -1;
}

}

int main(int argc, char **argv)
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QHttpServer server;
    server.route("/<arg>", [](const QString &page) {
        return QHttpServerResponse("text/html", "<html><head><title>Page " + page.toUtf8()
                                                    + "</title></head><body><p>A club page.</p></body></html>");
    });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("http://127.0.0.1:%1").arg(port);
    const auto address = [base](int i) { return QStringLiteral("%1/p%2").arg(base).arg(i); };

    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    Fixtures::writeDatabase(folder.filePath(QStringLiteral("veltra.mdb")), Fixtures::range(1, 10));
    QStringList urls;
    for (int i = 0; i < 50; ++i)
        urls << QStringLiteral("http://www.site%1.example/").arg(i);
    Fixtures::writeAll(folder.filePath(QStringLiteral("UrlList.txt")), (urls.join(QLatin1String("\r\n")) + "\r\n").toLatin1());
    Fixtures::writeAll(folder.filePath(QStringLiteral("History.txt")), QByteArray());

    auto *browser = new WebEngineBrowser;
    Form1 window(AppConfig{}, browser);
    window.resize(1024, 768);
    window.showAsLoaded();
    if (!QTest::qWaitFor([&] { return browser->documentUrl().endsWith(QLatin1String("tempfile.htm")); }, kTimeoutMs)) {
        std::fprintf(stderr, "the window did not show message 1\n");
        return 1;
    }

    auto *bar = window.findChild<QComboBox *>(QStringLiteral("Combo2"));
    QList<double> typed;
    for (int i = 0; i <= kRuns; ++i) {
        const double ms = timeNavigation(browser, [&] {
            bar->setEditText(address(i));
            QTest::keyClick(bar, Qt::Key_Return);
        });
        if (ms < 0) {
            std::fprintf(stderr, "a navigation did not end\n");
            return 1;
        }
        if (i > 0) // the first is a warm-up
            typed << ms;
    }
    // The engine alone, in a view of its own once the window has finished.
    QList<double> engine;
    WebEngineBrowser alone;
    alone.widget()->resize(1024, 700);
    alone.widget()->show();
    for (int i = 0; i <= kRuns; ++i) {
        const double ms = timeNavigation(&alone, [&] { alone.navigate(address(1000 + i)); });
        if (ms < 0) {
            std::fprintf(stderr, "a navigation did not end\n");
            return 1;
        }
        if (i > 0)
            engine << ms;
    }
    const double typedMedian = BenchData::median(typed);
    const double engineMedian = BenchData::median(engine);
    std::printf("typed address to document-complete (median of %d): %.2f ms\n", kRuns, typedMedian);
    std::printf("the engine alone, same kind of page:               %.2f ms  (window/engine %.2f)\n", engineMedian,
                typedMedian / engineMedian);
    std::printf("address list after the runs: %d entries (at most 51)\n", bar->count());
    // The window's 10-message database, not the shared one: its index is built at start-up.
    const Recordset *rs = window.archive()->recordset();
    std::printf("search index of the window's database: %s\n",
                qPrintable(BenchData::indexState(folder.filePath(QStringLiteral("veltra.mdb")),
                                                 window.findChild<SearchIndexBuilder *>() != nullptr,
                                                 rs && rs->searchIndexInUse())));

    // The window's share: one navigation's notifications delivered straight to it, for a
    // link followed (the address list is left as it is).
    QList<double> handling;
    for (int i = 0; i < 1000; ++i) {
        QElapsedTimer t;
        t.start();
        const QString url = address(5000 + i);
        emit browser->beforeNavigate2(url);
        emit browser->statusTextChange(QStringLiteral("Opening page ") + url);
        emit browser->progressChange(50, 100);
        emit browser->progressChange(100, 100);
        emit browser->navigateComplete2(url);
        emit browser->downloadComplete();
        emit browser->documentComplete(url);
        emit browser->statusTextChange(QStringLiteral("Done"));
        handling << t.nsecsElapsed() / 1e6;
    }
    std::printf("window handling of one navigation's notifications (median of 1000): %.3f ms\n",
                BenchData::median(handling));
    return 0;
}
