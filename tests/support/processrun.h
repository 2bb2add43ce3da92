// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A program a test runs to its end.
struct ProcessRun
{
    int exitCode = -1; // -1: it did not start, crashed, or ran past five minutes
    QString out;       // what it wrote (and why it did not end, where it did not)
};

enum class ProcessOutput { Both, ErrorOnly };

// Runs `program` and waits for it; standard output and error together, or standard error
// alone with standard output thrown away.
ProcessRun runProcess(const QString &program, const QStringList &args,
                      const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                      const QString &workingDir = QString(), ProcessOutput output = ProcessOutput::Both);
