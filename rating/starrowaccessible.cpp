// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/starrowaccessible.h"

#include "rating/starrow.h"

StarRowAccessible::StarRowAccessible(StarRow *row) : QAccessibleObject(row) {}

StarRow *StarRowAccessible::row() const
{
    return static_cast<StarRow *>(object());
}

QAccessibleInterface *StarRowAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(row()->parent());
}

QString StarRowAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return row()->ratingWords();
    case QAccessible::Description:
        return row()->description();
    default:
        return {};
    }
}

QAccessible::State StarRowAccessible::state() const
{
    QAccessible::State state;
    state.invisible = !row()->isShown();
    state.readOnly = true;
    return state;
}

QRect StarRowAccessible::rect() const
{
    return row()->screenRect();
}

QWindow *StarRowAccessible::window() const
{
    const QAccessibleInterface *area = parent();
    return area ? area->window() : nullptr;
}
