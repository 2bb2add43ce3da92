// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// The message page tempfile.htm: one record as five CR LF lines of Windows-1252 HTML,
// with no head, starting with "Message Number: ". Subject and body are markup and are
// written unchanged; characters outside the code page become numeric references so the
// browser still shows them.
namespace MessagePage {

// A record is flagged for deletion when its messdate begins with "-1".
bool isFlagged(QStringView messdate);
// messdate as shown: without the leading deletion flag.
QString dateWithoutFlag(const QString &messdate);

QByteArray render(const MessageRecord &record);

// The page's file in a data folder, and whether a browser address names that file.
QString pathIn(const QString &folder);
bool isPageAddress(const QString &url, const QString &pagePath);

// Replaces the file as a whole; on failure the old file is left as it was and `error`
// names the file and the reason.
bool write(const QString &path, const QByteArray &page, QString *error = nullptr);

}
