// SPDX-License-Identifier: GPL-3.0-or-later
// Shows why the menu entry's launcher could not start the program, in a message box, as
// the program's own messages are shown.
//
//   veltra-kb-message TEXT
#include "widgets/apptitle.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("Usage: veltra-kb-message TEXT\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("veltra-kb"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("veltra-kb")));
    QMessageBox::critical(nullptr, kAppTitle, QString::fromLocal8Bit(argv[1]));
    return 0;
}
