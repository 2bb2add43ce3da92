// SPDX-License-Identifier: GPL-3.0-or-later
#include "testtext.h"

namespace TestText {

QByteArray crlf(std::initializer_list<const char *> lines)
{
    QByteArray out;
    for (const char *l : lines)
        out += QByteArray(l) + "\r\n";
    return out;
}

}
