// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QList>
#include <QString>

namespace Fixtures {
// A message with plain texts derived from its number.
MessageRecord message(qint32 messnum);
// Writes a new veltra.mdb at `path` holding `records` in the given order; fails the test on error.
bool writeDatabase(const QString &path, const QList<MessageRecord> &records);
// Messages numbered first..last.
QList<MessageRecord> range(qint32 first, qint32 last);
QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);
}
