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
    // The open list shows every entry: styles that drop a plain list (Windows) stop at ten and
    // add a scrollbar, which takes the width the entries need in an 81-pixel list.
    list.setMaxVisibleItems(RatingIndexCount);
    list.setCurrentIndex(-1);
}
