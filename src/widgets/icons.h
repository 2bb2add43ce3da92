// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The window's pictures, drawn in code so the repository holds no image files.
// Every function hands out one cached object: copies share its cacheKey(), which is how
// the window tells which holder's picture a button currently shows.
namespace Icons {

// 20 x 17 pictures of the holders PicTrash and PicSave and of cmdCheckDelete.
QPixmap trash(); // open cyan waste bin full of red and yellow rubbish: messages flagged
QPixmap save();  // the same bin, empty, with its yellow lid closed: messages not flagged
QPixmap tick();  // black tick

// The holders' pictures as icons, for the buttons that copy them.
QIcon trashIcon();
QIcon saveIcon();

// Browser row, 16 x 16 (with a double-size rendering for high-density screens).
QIcon up();   // CmdUp: move the browser up over the knowledge-base panel
QIcon down(); // CmdDown: bring the knowledge-base panel back
QIcon back();
QIcon forward();
QIcon stop();
QIcon refresh();
QIcon home();
QIcon manuals();
QIcon registry();
QIcon group();
QIcon conversation(); // two speech bubbles: the conversation of the message shown

QPixmap lock(); // 12 x 14 padlock of the status strip

QIcon appIcon(); // 32 x 32 window and tray icon (16 x 16 rendering included)

}
