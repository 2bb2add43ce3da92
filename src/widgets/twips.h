// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The form's and the settings file's unit: 15 twips to a pixel, as the earlier program
// counted at the usual 96 dots an inch.
namespace Twips {

inline constexpr int kPerPixel = 15;

inline int toPixels(double twips)
{
    return qRound(twips / kPerPixel);
}

}
