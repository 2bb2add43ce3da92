// SPDX-License-Identifier: GPL-3.0-or-later
#include "processrun.h"

#include <QProcess>

ProcessRun runProcess(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                      const QString &workingDir, ProcessOutput output)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDir);
    if (output == ProcessOutput::ErrorOnly)
        process.setStandardOutputFile(QProcess::nullDevice());
    else
        process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    ProcessRun r;
    if (process.waitForFinished(5 * 60 * 1000) && process.exitStatus() == QProcess::NormalExit)
        r.exitCode = process.exitCode();
    r.out = QString::fromUtf8(output == ProcessOutput::ErrorOnly ? process.readAllStandardError() : process.readAll());
    if (r.exitCode == -1)
        r.out += process.errorString();
    return r;
}
