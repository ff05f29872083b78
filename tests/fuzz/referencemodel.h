// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "saverecord.h"

#include <QByteArrayView>

// The save's line rules written out as plainly as possible, one byte at a time, sharing no
// code with the product, so that the two can check each other on arbitrary input.
// Ratings are indexes 0..12.
SaveRecord referenceSave(QByteArrayView data, int startIndex, int maxIndex);
