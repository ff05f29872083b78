// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingcaller.h"

#include "rewrite/asteriskcounter.h"

using namespace Qt::StringLiterals;

SaveOutcome RecordingCaller::save(const SaveSettings &settings)
{
    return saveRewrittenCopy(splitPath(path), *this, *this, settings);
}

int RecordingCaller::startRatingIndex()
{
    calls << u"startRatingIndex"_s;
    return startIndex;
}

int RecordingCaller::maxRatingIndex()
{
    calls << u"maxRatingIndex"_s;
    return maxIndex;
}

bool RecordingCaller::progressed(qint64 bytes, qint64 length)
{
    const int asterisks = asteriskCount(bytes, length);
    calls << u"progressed %1"_s.arg(asterisks);
    if (bytes > m_bytes) // a line more, not another piece of the same one
        progress << asterisks;
    m_bytes = bytes;
    ++pumps;
    if (onPump)
        onPump(pumps);
    return stopFromPump == 0 || pumps < stopFromPump;
}
