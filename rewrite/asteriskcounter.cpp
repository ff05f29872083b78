// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/asteriskcounter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int FullRow = FullAsteriskRow;
// A file that grows while it is read would otherwise ask for an ever longer label.
constexpr double MaxAsterisks = 10.0 * FullRow;

} // namespace

int asteriskCount(qint64 progress, qint64 length)
{
    if (length <= 0)
        return FullRow;
    // nearbyint rounds half to even in the default rounding mode: 2.5 gives 2, 3.5 gives 4.
    const double share = static_cast<double>(progress) / static_cast<double>(length) * FullRow;
    return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, MaxAsterisks));
}

// asteriskCount never decreases as progress grows: converting to double, dividing by a positive
// length, multiplying by twenty, nearbyint and clamp each keep the order of their argument. So
// the count stays the same from `progress` up to the first progress where it is larger, which a
// binary search with the formula itself finds.
void AsteriskCounter::startRange(qint64 progress)
{
    m_count = asteriskCount(progress, m_length);
    m_from = progress;
    qint64 same = progress;
    qint64 larger = std::numeric_limits<qint64>::max();
    if (asteriskCount(larger, m_length) == m_count) {
        m_nextChange = larger;
        return;
    }
    // The distance is taken as unsigned: it may not fit a qint64 when progress is negative.
    auto distance = [&] { return static_cast<quint64>(larger) - static_cast<quint64>(same); };
    while (distance() > 1) {
        const qint64 middle = same + static_cast<qint64>(distance() / 2);
        if (asteriskCount(middle, m_length) == m_count)
            same = middle;
        else
            larger = middle;
    }
    m_nextChange = larger;
}
