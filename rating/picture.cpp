// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/picture.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

using namespace Qt::StringLiterals;

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

void Picture::paintEvent(QPaintEvent *event)
{
    if (!hasImage() || !hasScaledContents() || margin() != 0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect box = contentsRect();
    QPixmap shown = scaledImage(box.size());
    if (!isEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        shown = style()->generatedIconPixmap(QIcon::Disabled, shown, &option);
    }
    style()->drawItemPixmap(&painter, box,
                            QStyle::visualAlignment(layoutDirection(), alignment()), shown);
}

// The image scaled to the box's device pixels, smoothly, as QLabel scales it. The pixels depend
// on the device size alone; the ratio only says how large they are drawn.
QPixmap Picture::scaledImage(QSize box) const
{
    const qreal ratio = devicePixelRatioF();
    const QSize size = box * ratio;
    const QString key = "kelvora-picture-"_L1 + QString::number(imageKey()) + u'-'
        + QString::number(size.width()) + u'x' + QString::number(size.height());
    QPixmap scaled;
    if (QPixmapCache::find(key, &scaled)) {
        scaled.setDevicePixelRatio(ratio); // copies only where another screen left another
        return scaled;
    }
    scaled = QPixmap::fromImage(
        pixmap().toImage().scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    scaled.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, scaled);
    return scaled;
}
