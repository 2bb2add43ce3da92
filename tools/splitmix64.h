// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// A tiny generator defined entirely by its own few lines: the demo archive must come out
// byte for byte the same on every machine and library version, which std:: distributions
// do not promise.
class SplitMix64 final
{
public:
    explicit SplitMix64(quint64 seed);

    quint64 next();
    // Uniform enough in [0, bound); bound must be above 0.
    quint32 below(quint32 bound);
    // In [low, high], both included.
    int between(int low, int high);
    // True in perTenThousand of 10,000 draws.
    bool chance(quint32 perTenThousand);

private:
    quint64 m_state;
};
