// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Takes a message's update page apart into the fields of a record. Every search is
// case-sensitive and starts where the previous field ended:
//  - the author is everything before the first "<br>";
//  - two characters (the page's line break) are skipped, the date runs to the next "<br>";
//  - two more are skipped, the subject runs to the next "<br>";
//  - the body is everything after the first "<tt>" from the subject's start on.
// Every "&quot;" of the page becomes a double quote first; in the date, every "&nbsp;"
// then becomes a blank. Nothing else is changed.
namespace UpdatePageParser {

// The record for message `messnum`, or nullopt with the reason in `problem` when a
// marker is missing.
std::optional<MessageRecord> parse(QStringView page, qint32 messnum, QString *problem = nullptr);

// The page as fetched: refused when it is not Windows-1252 text (a NUL byte or one of
// the five bytes the code page leaves undefined), otherwise decoded and parsed.
std::optional<MessageRecord> parseBytes(QByteArrayView bytes, qint32 messnum, QString *problem = nullptr);

}
