#include "testenv.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>

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

}
