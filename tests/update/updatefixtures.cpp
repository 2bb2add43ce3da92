// SPDX-License-Identifier: GPL-3.0-or-later
#include "updatefixtures.h"

#include "store/recordset.h"
#include "updatepage.h"

#include <algorithm>

namespace UpdateFixtures {

QString page(qint32 messnum)
{
    return QLatin1Char('/') + UpdatePage::pagePath(messnum);
}

QStringList pagePaths(const QList<qint32> &messnums)
{
    QStringList out;
    for (qint32 n : messnums)
        out << page(n);
    return out;
}

QStringList sortedPages(QStringList requests)
{
    requests.removeAll(QStringLiteral("/dbupdate/lastmessage.html"));
    std::sort(requests.begin(), requests.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return requests;
}

QList<qint32> span(qint32 first, qint32 last, const QList<qint32> &without)
{
    QList<qint32> out;
    for (qint32 n = first; n <= last; ++n) {
        if (!without.contains(n))
            out << n;
    }
    return out;
}

QList<qint32> numbers(const QList<MessageRecord> &records)
{
    QList<qint32> out;
    for (const auto &r : records)
        out << r.messnum;
    return out;
}

QList<MessageRecord> storedRecords(const QString &databasePath)
{
    QList<MessageRecord> records;
    auto opened = Recordset::open(databasePath);
    if (!opened.recordset)
        return records;
    Recordset &rs = *opened.recordset;
    for (bool ok = rs.moveFirst(); ok && !rs.eof(); ok = rs.moveNext()) {
        MessageRecord r;
        if (rs.current(&r))
            records << r;
    }
    return records;
}

}
