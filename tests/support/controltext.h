// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QComboBox;
class QListWidget;
class ResultTable;

// The texts a list control holds, first entry first.
namespace ControlText {
QStringList entries(const QComboBox *combo);
QStringList lines(const QListWidget *list);
QStringList lines(const ResultTable *list);
}
