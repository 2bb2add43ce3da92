// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandchild.h"

#include <QDeadlineTimer>

void OwnedProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool CommandChild::start(const QString &program, const QString &folder, const QProcessEnvironment &env)
{
    m_owned.process.setWorkingDirectory(folder);
    m_owned.process.setProcessEnvironment(env);
    m_owned.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_owned.process.start(program, {});
    return readLine(30000) == QLatin1String("ready");
}

QString CommandChild::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_owned.process.canReadLine() && !deadline.hasExpired())
        m_owned.process.waitForReadyRead(100);
    return QString::fromUtf8(m_owned.process.readLine()).trimmed();
}

QString CommandChild::ask(const QString &command)
{
    m_owned.process.write(command.toUtf8() + '\n');
    return readLine();
}

QMap<QString, QString> CommandChild::askPairs(const QString &command, const QString &lastKey)
{
    const QString line = ask(command);
    const QString marker = QLatin1Char(' ') + lastKey + QLatin1Char('=');
    const qsizetype last = lastKey.isEmpty() ? -1 : line.indexOf(marker);
    QMap<QString, QString> values;
    for (const QString &pair : line.left(last).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        values.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    if (last >= 0)
        values.insert(lastKey, line.mid(last + marker.size()));
    return values;
}
