// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/starareaaccessible.h"

#include "rating/picture.h"
#include "rating/starrow.h"

#include <QFocusFrame>

// The role Qt gives a frame.
StarAreaAccessible::StarAreaAccessible(QWidget *area)
    : QAccessibleWidget(area, QAccessible::Border)
{
}

// The child widgets as Qt lists them (no windows, no focus frame), pictures left out, and the
// rows after them.
QObjectList StarAreaAccessible::shownChildren() const
{
    QObjectList shown;
    QObjectList rows;
    for (QObject *child : widget()->children()) {
        if (qobject_cast<StarRow *>(child)) {
            rows.append(child);
            continue;
        }
        const auto *control = qobject_cast<QWidget *>(child);
        if (control && !control->isWindow() && !qobject_cast<const Picture *>(control)
            && !qobject_cast<const QFocusFrame *>(control))
            shown.append(child);
    }
    return shown + rows;
}

QAccessibleInterface *StarAreaAccessible::child(int index) const
{
    return QAccessible::queryAccessibleInterface(shownChildren().value(index));
}

int StarAreaAccessible::childCount() const
{
    return int(shownChildren().size());
}

int StarAreaAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    return child ? int(shownChildren().indexOf(child->object())) : -1;
}
