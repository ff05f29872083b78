// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controltable.h"

#include <QtGlobal>

namespace {
constexpr double TwipsPerPixel = 15.0;

int pixels(int twips)
{
    return qRound(twips / TwipsPerPixel);
}
} // namespace

QRect TwipsRect::toPixels() const
{
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}
