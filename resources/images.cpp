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

// An icon of two sizes: the larger one serves screens at twice the scale.
QIcon iconOf(const ImagePixels &large, const ImagePixels &small)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(imageOf(large)));
    icon.addPixmap(QPixmap::fromImage(imageOf(small)));
    return icon;
}

} // namespace

namespace Images {

QIcon windowIcon()
{
    return iconOf(icon32Pixels, icon16Pixels);
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

QIcon openFolderIcon()
{
    return iconOf(openFolder32Pixels, openFolder16Pixels);
}

QIcon closedFolderIcon()
{
    return iconOf(closedFolder32Pixels, closedFolder16Pixels);
}

} // namespace Images
