// SPDX-License-Identifier: GPL-3.0-or-later
#include "testenv.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
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

bool waitForQueued(int timeoutMs)
{
    bool arrived = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&arrived] { arrived = true; }, Qt::QueuedConnection);
    return waitUntil([&arrived] { return arrived; }, timeoutMs);
}

bool waitPast(int intervalMs)
{
    QTimer marker;
    marker.setSingleShot(true);
    marker.setTimerType(Qt::PreciseTimer);
    marker.start(intervalMs + intervalMs / 10 + 20);
    return waitUntil([&marker] { return !marker.isActive(); }, intervalMs * 2 + 10000);
}

bool inCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

QString missingPrograms(const QStringList &programs, const QString &install)
{
    QStringList missing;
    for (const QString &program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing << program;
    }
    if (missing.isEmpty())
        return {};
    return QStringLiteral("not installed: %1 (%2; scripts/deps.sh --tests installs it)").arg(missing.join(QLatin1String(", ")), install);
}

QString missingCorpus()
{
    if (!corpusDir().isEmpty())
        return {};
    const QString named = qEnvironmentVariable("VELTRA_CORPUS");
    return named.isEmpty() ? QStringLiteral("the shared corpus is absent: VELTRA_CORPUS is not set (ctest sets it)")
                           : QStringLiteral("the shared corpus is absent: no folder %1 (VELTRA_CORPUS)").arg(named);
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
