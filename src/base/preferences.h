// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "update/proxysetting.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QtGlobal>

// The reading preferences that came after the twelve lines of KnowledgeBase.ini, kept in a
// file of their own (Preferences.ini) so that file keeps its layout for the programs that
// read it. Plain "key=value" lines under a header, CR LF, ASCII.
struct Preferences
{
    // The normal window's outer corner and inner size in device-independent pixels, which
    // do not change with the scale factor as KnowledgeBase.ini's twips would; null: none kept.
    QRect window;
    // Where the browser panel begins, as a share of the height between the menu bar and the
    // status strip, so it keeps its proportion in a window of another size; 0: the design place.
    double panelShare = 0;
    QList<int> columnWidths;      // the result list's columns in pixels; empty: their design widths
    int zoomPercent = 100;        // the page's zoom
    bool openOnLastMessage = false;
    // Searches find words as whole words; KnowledgeBase.ini keeps the wildcard mode before it.
    bool wholeWords = false;
    qint32 lastMessage = 0;       // the message on screen at the last exit; 0: none
    bool notifyNew = true;        // a desktop notice of what an update brought while the window is away
    // The proxy chosen in Options: mode, host, port and user name. Its password is never
    // written here (nor to any file): it is kept in the desktop's keyring.
    ProxySetting proxy;
};

namespace PreferencesFile {

inline constexpr int kFormat = 1;

enum class Kind {
    Missing, // no file: the defaults
    Read,    // read; a value that could not be taken keeps its default
    Damaged, // not a preferences file at all: the defaults, and the file is written anew at exit
    Newer    // written by a later version: the defaults, and the file is left as it is
};

struct ReadResult
{
    Preferences values;
    Kind kind = Kind::Missing;
};

ReadResult parse(const QByteArray &bytes);
ReadResult read(const QString &path);
QByteArray toBytes(const Preferences &values);
// Replaces the file atomically, as the list files are written.
bool write(const QString &path, const Preferences &values, QString *error = nullptr);

}
