// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iterator>

// The fields of the message table as its files name them, in MessageRecord's order.
namespace MessageFields {

inline constexpr const char *kNames[] = {"messnum", "messauthor", "messdate", "messtitle", "message"};
inline constexpr int kCount = int(std::size(kNames));
inline constexpr int kMessnum = 0;

}
