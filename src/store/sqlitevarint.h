// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

#include <optional>

// One SQLite variable-length integer (the file format's, and FTS5's) at *at, which moves
// past it; nullopt when the bytes end first.
std::optional<quint64> readSqliteVarint(QByteArrayView bytes, qsizetype *at);
