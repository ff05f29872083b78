// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/entryannouncement.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QTimer>

void announceCurrentEntryAfterFocus(QAbstractItemView *list, std::function<void()> announce)
{
    if (!QAccessible::isActive())
        return;
    QTimer::singleShot(0, list, [list, announce = std::move(announce)] {
        if (list->hasFocus() && list->currentIndex().isValid())
            announce();
    });
}
