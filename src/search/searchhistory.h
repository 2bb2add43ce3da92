// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The search history: the hidden list ListSort only ever grows by appending, and the
// drop-down list of the search box is rebuilt from it newest first.
namespace SearchHistory {

// Appends the term unless an entry equals it exactly (letter case counts); true if appended.
bool record(QStringList &sorted, const QString &term);

// The drop-down entries for the sorted list: its reverse.
QStringList dropDownOrder(const QStringList &sorted);

}
