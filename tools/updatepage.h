// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QByteArray>
#include <QString>

// The update server's page of one message, as the program's updater takes it apart:
// author, "<br>", CR LF, the date (blanks as "&nbsp;"), "<br>", CR LF, the subject
// (double quotes as "&quot;"), "<br>", CR LF, some markup, then the body after the
// first "<tt>" to the end of the file. The files are Windows-1252.
namespace UpdatePage {

// The page as text, before encoding.
QString renderText(const MessageRecord &record);
// The page file's bytes.
QByteArray render(const MessageRecord &record);

// Why parsing the page would not give back exactly this record, or an empty string
// when it would. Generated records always pass; hand-made test records may not.
QString roundTripProblem(const MessageRecord &record);

// The folder of message n below /dbupdate/: the first three decimal digits of n below
// 100000, the first four from 100000 on.
QString folderFor(qint32 messnum);
// "dbupdate/<folder>/msg<n>.htm", relative to the site's root.
QString pagePath(qint32 messnum);
// "dbupdate/lastmessage.html".
QString lastMessagePath();
// The last-message page: the newest number, CR LF, then a line of markup.
QByteArray renderLastMessage(qint32 newest);

}
