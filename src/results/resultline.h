// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The entries of the result list: the message number, " : ", the whole subject.
namespace ResultLine {

QString text(qint32 messnum, const QString &messtitle);

// The number read back the way the list has always been read: the text before the first
// ':' less the one character in front of it (the blank of " : "), taken as the number it
// begins with (Val), rounded to a whole number. A line without ':' is read whole. Empty
// when the number does not fit in 32 bits.
std::optional<qint32> number(QStringView line);

}
