// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QStringView>

#include <optional>

// The date texts the update pages carry: "Mon Jan 5, 2004 3:12 pm" from the group service,
// "2004-01-05 15:12" from the older list server. The deletion flag in front is passed over.
namespace MessageDate {

// The moment the text names, without a time zone (the pages give none); empty when the
// text is not one of those forms or names no real day.
std::optional<QDateTime> read(QStringView text);

}
