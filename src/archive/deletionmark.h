// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// A message is flagged for deletion by "-1" in front of its messdate text. Flagging never
// stacks a second "-1" and unflagging gives back the text exactly as it was.
namespace DeletionMark {

bool isMarked(QStringView messdate);
QString marked(const QString &messdate);
QString unmarked(const QString &messdate);

// The criterion that finds every candidate: messdate holding "-1" anywhere. Only the
// candidates whose text begins with it are marked.
QString candidateCriteria();

}
