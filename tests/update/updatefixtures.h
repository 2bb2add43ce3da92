// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the update tests share: page paths, runs of numbers, and reading back a database.
namespace UpdateFixtures {

// "/dbupdate/<folder>/msg<n>.htm", as the server sees the request.
QString page(qint32 messnum);
QStringList pagePaths(const QList<qint32> &messnums);
// The message pages among the requests a server got, in number order: fetches in flight
// at once reach the server in any order.
QStringList sortedPages(QStringList requests);
// The numbers first..last, leaving out those in `without`.
QList<qint32> span(qint32 first, qint32 last, const QList<qint32> &without = {});
QList<qint32> numbers(const QList<MessageRecord> &records);
// Every record of the database file in stored order, through a connection of its own.
QList<MessageRecord> storedRecords(const QString &databasePath);

}
