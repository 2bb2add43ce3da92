// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QComboBox;
class QListWidget;

// The texts a list control holds, first entry first.
namespace ControlText {
QStringList entries(const QComboBox *combo);
QStringList lines(const QListWidget *list);
}
