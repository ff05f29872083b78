// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleObject>

class StarRow;

// A star row's face to screen readers (AT-SPI, UI Automation): a picture whose name is the
// rating it shows, inside the area that holds the row.
class StarRowAccessible : public QAccessibleObject
{
public:
    explicit StarRowAccessible(StarRow *row);

    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override;
    QRect rect() const override;
    QWindow *window() const override;

private:
    StarRow *row() const;
};
