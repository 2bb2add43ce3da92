// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// The update server's last-message page: its first line is the newest message number.
namespace LastMessagePage {

struct Newest
{
    qint32 number = 0; // the whole part of the line's number
    QString line;      // the first line as read, without its line break and outer blanks
};

// Nullopt unless the first line (up to CR or LF) is a decimal number, blanks around it
// allowed, whose whole part fits a 32-bit number; `problem` then says which. A page that
// gives no number must not pass for newest number 0, which would make the next run fetch
// the archive again.
std::optional<Newest> read(QByteArrayView page, QString *problem = nullptr);

}
