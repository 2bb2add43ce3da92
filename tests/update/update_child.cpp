// Opens the window in the current folder with the fake browser, runs one update against
// the server given as the first argument, prints the status label and the run's time in
// seconds, one a line, and exits; the run is timed once start-up's check of the file is over. The kill test kills it half-way; bench_update times it.
// Options: "--close-after MS" closes the window MS milliseconds into the run, as a user
// would; "--fetches N" and "--first N" are the program's update options.
#include "app/form1.h"
#include "fakebrowser.h"
#include "store/integritycheck.h"
#include "testenv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    AppConfig config;
    int closeAfter = -1;
    bool usable = args.size() >= 2 && args.size() % 2 == 0;
    for (qsizetype i = 2; usable && i + 1 < args.size(); i += 2) {
        bool ok = false;
        const int value = args[i + 1].toInt(&ok);
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
    }
    if (!usable) {
        QTextStream(stderr) << "usage: update_child SERVER_URL [--close-after MS] [--fetches N] [--first N]"
                               " (in the data folder)\n";
        return 2;
    }
    config.updateServer = args.at(1);
    QPointer<Form1> window = new Form1(config, new FakeBrowser);
    window->showAsLoaded();
    QElapsedTimer waited;
    waited.start();
    while (window->windowTitle().isEmpty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Start-up's one-off check of the file reads all of it on another thread; the run is
    // timed after it, as it would go at any quarter hour but the first.
    const auto checking = [&] {
        const auto *check = window->findChild<IntegrityCheck *>(QString(), Qt::FindDirectChildrenOnly);
        return check && check->isRunning();
    };
    while (checking() && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QLabel *const label = window->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"));
    QString status;
    QElapsedTimer timer;
    timer.start();
    window->updateDB();
    if (closeAfter >= 0)
        QTimer::singleShot(closeAfter, window, &QWidget::close);
    while (window && window->state().updateRunning) {
        status = label->text();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (window)
        status = label->text();
    QTextStream(stdout) << status << '\n' << QString::number(seconds, 'f', 6) << '\n';
    delete window;
    return 0;
}
