// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/deferredstyleicon.h"

#include <QPainter>
#include <QWidget>

DeferredStyleIcon::DeferredStyleIcon(const QStyle *style, QStyle::StandardPixmap which,
                                     const QWidget *widget)
    : m_style(style), m_which(which), m_widget(widget)
{
}

// A style gone by now (the application's style replaced) leaves the icon empty, as a widget of
// that style would be.
const QIcon &DeferredStyleIcon::icon()
{
    if (m_made)
        return m_icon;
    m_made = true;
    if (const QStyle *style = m_style.data())
        m_icon = style->standardIcon(m_which, nullptr, m_widget.data());
    return m_icon;
}

void DeferredStyleIcon::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
                              QIcon::State state)
{
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize DeferredStyleIcon::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return icon().actualSize(size, mode, state);
}

QPixmap DeferredStyleIcon::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return icon().pixmap(size, 1.0, mode, state);
}

// Asked for `size` device pixels at `scale`: the icon's own engine answers the same question.
QPixmap DeferredStyleIcon::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                                        qreal scale)
{
    return icon().pixmap(size / scale, scale, mode, state);
}

QList<QSize> DeferredStyleIcon::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return icon().availableSizes(mode, state);
}

QString DeferredStyleIcon::iconName()
{
    return icon().name();
}

bool DeferredStyleIcon::isNull()
{
    return icon().isNull();
}

QIconEngine *DeferredStyleIcon::clone() const
{
    auto *copy = new DeferredStyleIcon(m_style, m_which, m_widget);
    copy->m_icon = m_icon;
    copy->m_made = m_made;
    return copy;
}
