// SPDX-License-Identifier: GPL-3.0-or-later
#include "testenv.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTimer>

#include <unistd.h>

namespace TestEnv {

void prepareWebEngine()
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QString corpusDir()
{
    const QString dir = QString::fromLocal8Bit(qgetenv("VELTRA_CORPUS"));
    return !dir.isEmpty() && QDir(dir).exists() ? dir : QString();
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // a pass ends at the latest every 10 ms, so the deadline is kept
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

}
