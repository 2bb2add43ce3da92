// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultline.h"

#include "base/vbnumber.h"

#include <algorithm>

namespace ResultLine {

QString text(qint32 messnum, const QString &messtitle)
{
    return QString::number(messnum) + QStringLiteral(" : ") + messtitle;
}

std::optional<qint32> number(QStringView line)
{
    const qsizetype colon = line.indexOf(u':');
    const QStringView head = colon < 0 ? line : line.left(std::max<qsizetype>(colon - 1, 0));
    return VbNumber::roundToInt32(VbNumber::leadingNumber(head));
}

}
