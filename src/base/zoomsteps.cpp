// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/zoomsteps.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kLevels[] = {25, 33, 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500};

}

namespace ZoomSteps {

int bounded(int percent)
{
    return std::clamp(percent, kSmallest, kLargest);
}

int next(int percent, int direction)
{
    percent = bounded(percent);
    if (direction > 0) {
        const auto *above = std::upper_bound(std::begin(kLevels), std::end(kLevels), percent);
        return above == std::end(kLevels) ? kLargest : *above;
    }
    const auto *atOrAbove = std::lower_bound(std::begin(kLevels), std::end(kLevels), percent);
    return atOrAbove == std::begin(kLevels) ? kSmallest : *std::prev(atOrAbove);
}

}
