// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Numeric conversions with the semantics of the Visual Basic functions the files were
// always read with. Only '.' is a decimal point, whatever the locale, and neither "&H"
// nor "&O" prefixes are understood: the program never writes them.
namespace VbNumber {

// CSng: the whole text, blanks around it allowed, must be one decimal number
// (sign, digits, point, fraction, exponent with E or D) within single-precision range.
std::optional<float> toSingle(QStringView text);

// CInt: read like toSingle, rounded half to even, within -32768..32767.
std::optional<qint16> toInteger(QStringView text);

// CBool: "True" or "False" in any letter case, or a number (non-zero is true).
std::optional<bool> toBoolean(QStringView text);

// Val: the number the text begins with; blanks, tabs and line feeds are skipped wherever
// they stand, reading stops at the first character that cannot continue the number, and
// no number at all gives 0. A number too large for a double gives an infinity, which the
// rounding helpers below refuse.
double leadingNumber(QStringView text);
// The same, but nullopt when the text does not begin with a number at all.
std::optional<double> leadingNumberIfAny(QStringView text);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, -2.5 -> -2).
double roundHalfEven(double value);

// roundHalfEven, or nullopt when the result does not fit (NaN and infinities included).
std::optional<qint16> roundToInt16(double value);
std::optional<qint32> roundToInt32(double value);

// Str: decimal text with a blank in the sign place of a non-negative number (" 1500",
// "-15", " 1.5"), the shortest form that reads back to the same value.
QString toText(float value);
QString toText(qint32 value);

}
