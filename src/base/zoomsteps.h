// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The zoom levels a page steps through, as web browsers offer them.
namespace ZoomSteps {

inline constexpr int kSmallest = 25;
inline constexpr int kLargest = 500;

// The next level up (direction > 0) or down from `percent`; a level between two steps goes
// to the nearer one in that direction; the ends stay where they are.
int next(int percent, int direction);
// `percent` kept within the smallest and the largest level.
int bounded(int percent);

}
