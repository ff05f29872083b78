// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/images.h"

#include "resources/imagepixels.h"

#include <QPixmap>

namespace {

// The pixels stay where the program file holds them: the image only points at them.
QImage imageOf(const ImagePixels &pixels)
{
    return QImage(reinterpret_cast<const uchar *>(pixels.data), pixels.width, pixels.height,
                  pixels.width * int(sizeof(quint32)),
                  pixels.opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
}

} // namespace

namespace Images {

QIcon windowIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(imageOf(icon32Pixels)));
    icon.addPixmap(QPixmap::fromImage(imageOf(icon16Pixels)));
    return icon;
}

QImage banner()
{
    return imageOf(bannerPixels);
}

QImage fullStar()
{
    return imageOf(fullStarPixels);
}

QImage halfStar()
{
    return imageOf(halfStarPixels);
}

QImage emptyStar()
{
    return imageOf(emptyStarPixels);
}

} // namespace Images
