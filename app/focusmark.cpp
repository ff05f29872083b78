// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/focusmark.h"

#include <QApplication>
#include <QFocusFrame>

void markKeyboardFocus(QWidget *window)
{
    auto *mark = new QFocusFrame(window);
    QObject::connect(qApp, &QApplication::focusChanged, mark,
                     [window, mark](QWidget *, QWidget *now) {
                         // Another window (an open list, a message box) has it: no mark here.
                         mark->setWidget(now && window->isAncestorOf(now) ? now : nullptr);
                     });
}
