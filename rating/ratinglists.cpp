// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/ratinglists.h"

#include "rewrite/ratings.h"

#include <QComboBox>
#include <QSignalBlocker>

void fillRatingList(QComboBox &list)
{
    const QSignalBlocker blocker(list);
    list.clear();
    list.setEditable(false);
    for (int k = 0; k < RatingIndexCount; ++k)
        list.addItem(ratingText(k), 0);
    list.setCurrentIndex(-1);
}
