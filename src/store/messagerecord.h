// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One row of table veltra, in the order the program always handles the fields.
struct MessageRecord
{
    qint32 messnum = 0;
    QString messauthor;
    QString messdate;   // carries the deletion flag "-1" in front when flagged
    QString messtitle;  // subject searches pass over its first seven characters
    QString message;    // HTML body, stored unchanged

    friend bool operator==(const MessageRecord &, const MessageRecord &) = default;
};
