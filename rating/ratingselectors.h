// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Star ratings. In: the selected indexes of the two rating lists cbostar(0) (start) and
// cbostar(1) (maximum), changed by the user or by start-up. Out: the maximum list raised to the
// start whenever it lies below it, and each list's row of six star pictures drawn from the three
// hidden templates. The lists are the only store of the ratings; the save reads them there.

#include "rating/picture.h"

#include <QtGlobal>
#include <array>

class QComboBox;
class QObject;

// The controls of the rating area, all owned by the window.
struct StarControls
{
    std::array<QComboBox *, 2> cbostar;   // 0 start, 1 maximum
    std::array<Picture *, 6> imgstar;     // start row, member 0 leftmost
    std::array<Picture *, 6> imgstarm;    // maximum row, member 0 leftmost
    Picture *imgstarv;                    // hidden template: full star
    Picture *imgstarh;                    // hidden template: half star
    Picture *imgstarl;                    // hidden template: empty star
};

// The cbostar click handler for member `index` (0 start, 1 maximum): keeps the maximum at or
// above the start, then redraws the row of the list that raised it. Raising the maximum
// assigns its index, which runs this handler for member 1 nested, through the connection that
// connectRatingSelectors makes, before the outer run draws its own row.
void cbostarClick(const StarControls &controls, qint16 index);

// Rebuilds a whole row for rating index k (k/2 stars) and shows all six pictures.
void drawStarRow(const std::array<Picture *, 6> &row, int k, const Picture &full,
                 const Picture &half, const Picture &empty);

// Runs cbostarClick with the member index on every change of either list's selected index, by
// the user or by code, synchronously. `context` ends the connections when destroyed; pass the
// window that owns the controls.
void connectRatingSelectors(const StarControls &controls, QObject *context);
