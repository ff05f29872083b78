// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/picture.h"

#include <QPixmap>

Picture::Picture(QWidget *parent)
    : QLabel(parent)
{
    setScaledContents(true);
    // Explicitly hidden, so showing the parent window does not show it.
    hide();
}

void Picture::setImageFrom(const Picture &other)
{
    setPixmap(other.pixmap());
}

bool Picture::hasImage() const
{
    return !pixmap().isNull();
}

qint64 Picture::imageKey() const
{
    return pixmap().cacheKey();
}
