// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The asterisks that stand for a whole file.
inline constexpr int FullAsteriskRow = 20;

// Asterisks for `progress` bytes of `length`: twenty for the whole file, rounded half to even.
int asteriskCount(qint64 progress, qint64 length);

// asteriskCount for a progress that grows line by line, without its division per line: the
// count only changes some two hundred times in a whole file, so it works out where the count
// changes next and compares against that until it is reached.
class AsteriskCounter
{
public:
    explicit AsteriskCounter(qint64 length) : m_length(length) {}

    qint64 length() const { return m_length; }

    // Exactly asteriskCount(progress, length), for any progress in any order.
    int count(qint64 progress)
    {
        if (progress < m_from || progress >= m_nextChange)
            startRange(progress);
        return m_count;
    }

    // The smallest progress, above the one the count was last worked out for, with another
    // count; the largest qint64 when no smaller one has.
    qint64 nextChange() const { return m_nextChange; }

private:
    void startRange(qint64 progress);

    qint64 m_length;
    // The count is m_count for every progress in [m_from, m_nextChange); empty at first.
    qint64 m_from = 1;
    qint64 m_nextChange = 0;
    int m_count = 0;
};
