// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>

// A program started for a test and ended with it.
struct OwnedProcess
{
    QProcess process;
    ~OwnedProcess() { stop(); }
    void stop();
};

// A child program driven one command and one answer a line on its standard input and
// output, which says "ready" once it can take commands.
class CommandChild
{
public:
    bool start(const QString &program, const QString &folder, const QProcessEnvironment &env);
    QString readLine(int timeoutMs = 10000);
    QString ask(const QString &command);
    // An answer of space-separated key=value pairs; `lastKey`, where given, takes the rest of
    // the line, spaces and all.
    QMap<QString, QString> askPairs(const QString &command, const QString &lastKey = QString());
    QProcess &process() { return m_owned.process; }

private:
    OwnedProcess m_owned;
};
