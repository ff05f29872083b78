// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/ratinglists.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QString>

using namespace Qt::StringLiterals;

namespace {

constexpr int RatingEntryCount = 13;

// Built from digits, not a number format, so no locale can turn the point into a comma.
QString ratingEntryText(int ratingIndex)
{
    const int wholeStars = ratingIndex / 2;
    const int tenths = ratingIndex % 2 == 0 ? 0 : 5;
    return u"%1.%2 Sterne"_s.arg(wholeStars).arg(tenths);
}

} // namespace

void fillRatingList(QComboBox &list)
{
    const QSignalBlocker blocker(list);
    list.clear();
    list.setEditable(false);
    for (int k = 0; k < RatingEntryCount; ++k)
        list.addItem(ratingEntryText(k), 0);
    list.setCurrentIndex(-1);
}
