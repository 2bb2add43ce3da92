// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitmix64.h"

SplitMix64::SplitMix64(quint64 seed)
    : m_state(seed)
{
}

quint64 SplitMix64::next()
{
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

quint32 SplitMix64::below(quint32 bound)
{
    return quint32(((next() >> 32) * quint64(bound)) >> 32);
}

int SplitMix64::between(int low, int high)
{
    return low + int(below(quint32(high - low + 1)));
}

bool SplitMix64::chance(quint32 perTenThousand)
{
    return below(10000) < perTenThousand;
}
