// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/sqlitevarint.h"

std::optional<quint64> readSqliteVarint(QByteArrayView bytes, qsizetype *at)
{
    quint64 value = 0;
    for (int i = 0; i < 9; ++i, ++*at) {
        if (*at < 0 || *at >= bytes.size())
            return std::nullopt;
        const quint8 byte = quint8(bytes.at(*at));
        if (i == 8) {
            ++*at;
            return value << 8 | byte;
        }
        value = value << 7 | (byte & 0x7f);
        if ((byte & 0x80) == 0) {
            ++*at;
            return value;
        }
    }
    return std::nullopt;
}
