// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>

// Where a window saved at the last exit may open now: the screens may be others (one
// unplugged, another resolution or scale factor), so a saved place is only taken where
// all of it is still on a screen. All in device-independent (logical) pixels.
namespace WindowPlacement {

// `saved` is the window's outer corner with its normal size; `screens` the available
// areas of the screens there are now, the main one first. Kept as it is where every part
// of it lies on some screen (it may span two). Otherwise it goes onto the screen that holds
// most of it, or onto the middle of the main one when none holds any: never larger than
// that screen, and moved no further than it takes to lie wholly on it. A null rect for a
// window with no size, so the caller keeps its own default place; no screens at all: the
// saved place, as it is.
QRect fitted(const QRect &saved, const QList<QRect> &screens);

}
