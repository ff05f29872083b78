// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

// A frame as screen readers see it: its controls and one picture per star row (StarRow) it
// holds, but none of the rows' pictures and none of the hidden templates they take their images
// from. A frame without pictures is what Qt makes of it.
class StarAreaAccessible : public QAccessibleWidget
{
public:
    explicit StarAreaAccessible(QWidget *area);

    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

private:
    QObjectList shownChildren() const;
};
