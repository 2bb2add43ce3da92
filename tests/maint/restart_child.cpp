// SPDX-License-Identifier: GPL-3.0-or-later
// The program as the companion test runs it: with the fake browser, in the data folder
// it is started in, taking the program's own options. Started with no veltra.bak beside
// the database it compacts (as a user with "No Warning" set would) and ends; started
// again by the companion it writes what it came up with to restarted.txt and ends.
#include "config/appconfig.h"
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "fakebrowser.h"
#include "store/recordset.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTimer>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineResult parsed = parseCommandLine(arguments);
    if (!parsed.config)
        return parsed.exitCode;
    QApplication app(argc, argv);
    Form1 window(*parsed.config, new FakeBrowser);

    if (QFile::exists(QStringLiteral("veltra.bak"))) {
        QFile report(QStringLiteral("restarted.txt"));
        if (!report.open(QIODevice::WriteOnly))
            return 1;
        report.write(parsed.config->arguments.join(QLatin1Char(' ')).toUtf8() + '\n');
        report.write(QByteArray::number(window.archive()->recordset() ? window.archive()->recordset()->recordCount() : -1) + '\n');
        report.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
        return 0;
    }
    window.showAsLoaded();
    QTimer::singleShot(200, &window, [&window] {
        window.findChild<QAction *>(QStringLiteral("MnuDelete"))->trigger();
        window.findChild<QCheckBox *>(QStringLiteral("ChkNoWarn"))->setChecked(true);
        window.findChild<QPushButton *>(QStringLiteral("CmdCompact"))->click();
    });
    return QApplication::exec();
}
