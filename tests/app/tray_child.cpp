// SPDX-License-Identifier: GPL-3.0-or-later
// The window in the current folder with the fake browser, set up against the logout
// signals as the program is, and driven by one command a line on standard input:
//   state | geometry | page | close-page | maximize | place X Y W H | exit | search TERM
// ("page" opens a window of its own, as a page the browser opens in a new window is;
// "place" moves the window's frame corner to X,Y and makes its inside W by H).
// "state" and "geometry" answer with one line of key=value pairs; the others answer "ok". "ready" comes
// once the window is active, "ended" when the event loop has returned. Without a message
// database in the folder it makes one of five messages.
#include "app/form1.h"
#include "base/version.h"
#include "app/quitsignals.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "windowharness.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTextStream>

#include <unistd.h>

namespace {

void answer(const QString &line)
{
    QTextStream out(stdout);
    out << line << '\n';
    out.flush();
}

QString state(Form1 &window)
{
    auto *icon = window.findChild<QSystemTrayIcon *>(QStringLiteral("TrayIcon"));
    const QRect r = icon->geometry();
    return QStringLiteral("hidden=%1 minimized=%2 maximized=%3 icon=%4 tray=%5 rect=%6,%7,%8,%9 window=%10 status=%11")
        .arg(int(window.isHidden()))
        .arg(int(window.isMinimized()))
        .arg(int(window.isMaximized()))
        .arg(int(icon->isVisible()))
        .arg(int(QSystemTrayIcon::isSystemTrayAvailable()))
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(window.winId())
        .arg(window.findChild<QLineEdit *>(QStringLiteral("LblStBar1"))->text().trimmed());
}

QString rect(const QRect &r)
{
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// All in device-independent pixels: the frame, the inside, the normal inside a maximised
// window returns to, the available area of the screen the window is on, and the heights of
// the browser panel (which shows the message) and of the area the panels share.
QString geometry(Form1 &window)
{
    const QScreen *screen = window.screen();
    return QStringLiteral("maximized=%1 frame=%2 inside=%3 normal=%4 available=%5 scale=%6 message=%7 central=%8")
        .arg(int(window.isMaximized()))
        .arg(rect(window.frameGeometry()))
        .arg(rect(window.geometry()))
        .arg(rect(window.normalGeometry()))
        .arg(rect(screen ? screen->availableGeometry() : QRect()))
        .arg(window.devicePixelRatioF())
        .arg(window.findChild<QWidget *>(QStringLiteral("Picture1"))->height())
        .arg(window.centralWidget()->height());
}

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString database = QStringLiteral("veltra.mdb");
    if (!QFile::exists(database) && !Fixtures::writeDatabase(database, Fixtures::range(1, 5)))
        return 2;
    Form1 window(AppConfig{}, new FakeBrowser);
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &window, &Form1::sessionEnding);
    window.showAsLoaded();
    while (window.windowTitle() != QStringLiteral("Veltra Knowledgebase V" VELTRA_VERSION))
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);

    QWidget page;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        char bytes[512];
        const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (count <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(bytes, count);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (line == QLatin1String("state")) {
                answer(state(window));
                continue;
            }
            if (line == QLatin1String("geometry")) {
                answer(geometry(window));
                continue;
            }
            if (line == QLatin1String("page"))
                page.show();
            else if (line == QLatin1String("close-page"))
                page.close();
            else if (line == QLatin1String("maximize"))
                window.showMaximized();
            else if (line.startsWith(QLatin1String("place "))) {
                const QStringList n = line.mid(6).split(QLatin1Char(' '));
                window.showNormal();
                window.move(n.value(0).toInt(), n.value(1).toInt());
                window.resize(n.value(2).toInt(), n.value(3).toInt());
            } else if (line == QLatin1String("exit"))
                window.findChild<QAction *>(QStringLiteral("MnuExit"))->trigger();
            else if (line.startsWith(QLatin1String("search ")))
                Harness::search(&window, line.mid(7));
            answer(QStringLiteral("ok"));
        }
    });
    answer(QStringLiteral("ready"));
    const int code = QApplication::exec();
    answer(QStringLiteral("ended"));
    return code;
}
