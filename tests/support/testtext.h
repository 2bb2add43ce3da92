// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <initializer_list>

namespace TestText {
// The bytes of a text file the program writes: each line ended by CR LF.
QByteArray crlf(std::initializer_list<const char *> lines);
}
