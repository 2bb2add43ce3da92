// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchhistory.h"

#include <algorithm>

namespace SearchHistory {

bool record(QStringList &sorted, const QString &term)
{
    if (sorted.contains(term, Qt::CaseSensitive))
        return false;
    sorted.append(term);
    return true;
}

QStringList dropDownOrder(const QStringList &sorted)
{
    QStringList entries = sorted;
    std::reverse(entries.begin(), entries.end());
    return entries;
}

}
