// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/deletionmark.h"

namespace {

const QString kMark = QStringLiteral("-1");

}

namespace DeletionMark {

bool isMarked(QStringView messdate)
{
    return messdate.startsWith(kMark);
}

QString marked(const QString &messdate)
{
    return isMarked(messdate) ? messdate : kMark + messdate;
}

QString unmarked(const QString &messdate)
{
    return isMarked(messdate) ? messdate.mid(kMark.size()) : messdate;
}

QString candidateCriteria()
{
    return QStringLiteral("messdate like '*-1*'");
}

}
