// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDeadlineTimer>

// Whether a long job on the window's thread lets the toolkit's events run now: at most every
// 5 ms, so that the window repaints and takes input while a save runs, yet a file of millions
// of short lines is not slowed down by millions of passes through the event loop.
class EventThrottle
{
public:
    static constexpr int IntervalMs = 5;

    bool due()
    {
        if (!m_next.hasExpired())
            return false;
        m_next.setRemainingTime(IntervalMs, Qt::CoarseTimer);
        return true;
    }

private:
    QDeadlineTimer m_next; // expired until the first pass
};
