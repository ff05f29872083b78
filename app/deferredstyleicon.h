// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QIconEngine>
#include <QPointer>
#include <QStyle>

// A standard icon of a style that the style makes only when the icon is first drawn, measured or
// looked at, and then exactly as the style would have made it at once.
class DeferredStyleIcon : public QIconEngine
{
public:
    DeferredStyleIcon(const QStyle *style, QStyle::StandardPixmap which, const QWidget *widget);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString iconName() override;
    bool isNull() override;
    QIconEngine *clone() const override;

private:
    const QIcon &icon();

    QPointer<const QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QPointer<const QWidget> m_widget;
    QIcon m_icon;
    bool m_made = false;
};
