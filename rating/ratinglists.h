// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QComboBox;

// Fills a rating list with its thirteen entries "0.0 Sterne" .. "6.0 Sterne" (rating index k
// stands for k/2 stars), each with item data 0, list-only, all thirteen shown when the list is
// open, and left without a selection.
// Any earlier entries are replaced. The list's signals are blocked while filling, so the
// selection changes that QComboBox makes on its own (it selects the first item added to an
// empty list) reach no handler, whether or not the list is already connected.
void fillRatingList(QComboBox &list);
