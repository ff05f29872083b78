// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's images as embed-images.py compiles them in from the image files beside it.

#include <QtGlobal>

// One image's pixels: rows top to bottom, each pixel 0xAARRGGBB in the machine's byte order,
// as QImage::Format_RGB32 holds it for an opaque image and Format_ARGB32_Premultiplied for one
// with transparent pixels.
struct ImagePixels
{
    const quint32 *data;
    int width;
    int height;
    bool opaque;
};

extern const ImagePixels icon32Pixels;
extern const ImagePixels icon16Pixels;
extern const ImagePixels bannerPixels;
extern const ImagePixels fullStarPixels;
extern const ImagePixels halfStarPixels;
extern const ImagePixels emptyStarPixels;
extern const ImagePixels openFolder16Pixels;
extern const ImagePixels openFolder32Pixels;
extern const ImagePixels closedFolder16Pixels;
extern const ImagePixels closedFolder32Pixels;
