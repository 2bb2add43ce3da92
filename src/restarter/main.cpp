// SPDX-License-Identifier: GPL-3.0-or-later
// The companion that starts the program again after a compaction: it waits until the
// process that started it has ended (so its lock on the database and its settings files
// are released), then starts the program in the same data folder with the same options.
//
//   veltra-restarter --pid PID --dir FOLDER -- PROGRAM [ARGUMENT...]
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

constexpr int kPollMs = 25;
constexpr int kWaitLimitMs = 10 * 60 * 1000;

bool hasEnded(qint64 pid)
{
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

int usage(const char *why)
{
    std::fprintf(stderr, "veltra-restarter: %s\nUsage: veltra-restarter --pid PID --dir FOLDER -- PROGRAM [ARGUMENT...]\n", why);
    return 2;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    qint64 pid = 0;
    QString folder;
    int i = 1;
    for (; i < args.size() && args.at(i) != QLatin1String("--"); ++i) {
        if (args.at(i) == QLatin1String("--pid") && i + 1 < args.size()) {
            bool ok = false;
            pid = args.at(++i).toLongLong(&ok);
            if (!ok || pid <= 0)
                return usage("--pid needs a process number");
        } else if (args.at(i) == QLatin1String("--dir") && i + 1 < args.size()) {
            folder = args.at(++i);
        } else {
            return usage("unknown argument");
        }
    }
    if (pid == 0 || folder.isEmpty() || i + 1 >= args.size())
        return usage("--pid, --dir and the program are needed");
    const QString program = args.at(i + 1);
    const QStringList programArgs = args.mid(i + 2);

    const QDeadlineTimer deadline(kWaitLimitMs);
    while (!hasEnded(pid)) {
        if (deadline.hasExpired()) {
            std::fprintf(stderr, "veltra-restarter: process %lld did not end; the program was not started again\n", pid);
            return 1;
        }
        QThread::msleep(kPollMs);
    }
    if (!QProcess::startDetached(program, programArgs, folder)) {
        std::fprintf(stderr, "veltra-restarter: %s could not be started\n", qPrintable(program));
        return 1;
    }
    return 0;
}
