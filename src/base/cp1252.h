// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Windows-1252, the 8-bit code page of every text file the program reads or writes.
// Conversions never fail: each runs over the whole text in one pass.
namespace Cp1252 {

// The five bytes Windows-1252 leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) become the
// code points of the same value, so that encode() gives them back unchanged.
QString decode(QByteArrayView bytes);

// A character outside the code page is written as '?'.
QByteArray encode(QStringView text);

// A character outside the code page is written as an HTML numeric reference ("&#8364;"
// style, one reference for a whole surrogate pair); a lone surrogate becomes the
// reference of U+FFFD.
QByteArray encodeHtml(QStringView text);

}
