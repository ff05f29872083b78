// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The ratings on offer: index k stands for k/2 stars, 0.0 to 6.0 in half steps.
inline constexpr int RatingIndexCount = 13;

// How a rating reads in the rating lists and the command-line program's messages: "3.5 Sterne".
// Built from digits, not a number format, so no locale can turn the point into a comma.
inline QString ratingText(int ratingIndex)
{
    const int wholeStars = ratingIndex / 2;
    const int tenths = ratingIndex % 2 == 0 ? 0 : 5;
    return QStringLiteral("%1.%2 Sterne").arg(wholeStars).arg(tenths);
}
