// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// Which conversation a message belongs to, judged by its subject alone: the subject with
// the reply and forward prefixes and the list's tag in brackets taken off its start, its
// blanks folded and its letter case folded. Messages whose topics are equal are one
// conversation; an empty topic (an empty subject, or prefixes only) belongs to none, and
// such a message stands alone.
namespace ConversationTopic {

// Takes time in proportion to the subject's length, whatever its content.
QString of(QStringView subject);

}
