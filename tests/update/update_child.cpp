// Opens the window in the current folder with the fake browser, runs one update against
// the server given as the first argument, prints the status label and the run's time in
// seconds, one a line, and exits. The kill test kills it half-way; bench_update times it.
// With "--close-after MS" the run starts from the event loop and the window is closed
// after MS milliseconds, as a user would close it.
#include "app/form1.h"
#include "fakebrowser.h"
#include "testenv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextStream>
#include <QTimer>

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool closing = args.size() == 4 && args[2] == QLatin1String("--close-after");
    if (args.size() != 2 && !closing) {
        QTextStream(stderr) << "usage: update_child SERVER_URL [--close-after MS] (in the data folder)\n";
        return 2;
    }
    AppConfig config;
    config.updateServer = QCoreApplication::arguments().at(1);
    Form1 window(config, new FakeBrowser);
    window.showAsLoaded();
    QElapsedTimer waited;
    waited.start();
    while (window.windowTitle().isEmpty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QElapsedTimer timer;
    timer.start();
    if (closing) {
        QTimer::singleShot(0, &window, &Form1::updateDB);
        QTimer::singleShot(args[3].toInt(), &window, &QWidget::close);
        QApplication::exec();
    } else {
        window.updateDB();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QTextStream(stdout) << window.findChild<QLabel *>(QStringLiteral("LblUpdateStatus"))->text() << '\n'
                        << QString::number(seconds, 'f', 6) << '\n';
    return 0;
}
