// SPDX-License-Identifier: GPL-3.0-or-later
#include "controltext.h"

#include "results/resulttable.h"

#include <QComboBox>
#include <QListWidget>

namespace ControlText {

QStringList entries(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList lines(const ResultTable *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->text(i);
    return out;
}

}
