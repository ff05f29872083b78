// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/ratings.h"
#include "rewrite/savecore.h"

#include <array>

// What the start-strength or the maximum-strength lines of one file hold.
struct LineKindCensus
{
    qint64 lines = 0;
    // Lines whose value, the last blank-separated word after the columns the save keeps (8 of
    // a start line, 12 of a maximum line), is rating index × 1000.
    std::array<qint64, RatingIndexCount> withRating{};
    qint64 otherNumber = 0; // a whole number, but no rating: 7500, 13000, -1000
    qint64 notNumber = 0;   // nothing, or text that is no whole number
    // Lines the save with the given rating would change (terminators aside).
    qint64 changing = 0;
};

struct LineCensus
{
    LineKindCensus start;
    LineKindCensus maximum;
};

struct CensusResult
{
    SaveOutcome reading; // Saved: read to its end
    LineCensus census;   // when stopped, of the lines read until then
};

// Reads the file through the save's own reading (readStrengthFile): only a regular file, in
// pieces of lines with the save's line ends and kinds, in flat memory. `startIndex` and
// `maxIndex` (-1: none) are the ratings a save would write, for `changing`. `observer` hears
// the progress and may stop the reading, which leaves the census of what was read.
CensusResult takeLineCensus(const FolderAndName &file, int startIndex, int maxIndex,
                            SaveObserver &observer);
