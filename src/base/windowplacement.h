// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>

// Where a window saved at the last exit may open now: the screens may be others (one
// unplugged, another resolution or scale factor), so a saved place is only taken where
// the user can still reach it. All in device-independent (logical) pixels.
namespace WindowPlacement {

// `saved` is the window's outer corner with its normal size; `screens` the available
// areas of the screens there are now. The screen that holds most of it is its screen: never
// larger than that screen, it stays where it was when its title bar and at least half of it
// lie on it, and is moved onto it otherwise. A null rect when no screen holds any of it, so
// the caller keeps its own default place; no screens at all: the saved place, as it is.
QRect fitted(const QRect &saved, const QList<QRect> &screens);

}
