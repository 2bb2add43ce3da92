// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/appconfig.h"
#include "app/form1.h"
#include "app/quitsignals.h"
#include "browser/webenginebrowser.h"
#include "convert/transfercommands.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineResult parsed = parseCommandLine(arguments);
    if (!parsed.config) {
        std::fputs(parsed.message.toLocal8Bit().constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }

    if (TransferCommands::requested(*parsed.config)) {
        QCoreApplication app(argc, argv);
        return TransferCommands::run(*parsed.config);
    }

    // Chromium refuses its sandbox for root; only then is it switched off.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltra KnowledgeBase"));
    // Lets the desktop match the window to its entry (veltra-kb.desktop) and show its icon.
    QApplication::setDesktopFileName(QStringLiteral("veltra-kb"));

    Form1 window(*parsed.config, new WebEngineBrowser);
    // A logout's SIGTERM or SIGHUP, or Ctrl+C, ends the program the way E&xit does: saved.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &window, &Form1::sessionEnding);
    window.showAsLoaded();
    return app.exec();
}
