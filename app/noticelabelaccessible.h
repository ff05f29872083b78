// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QLabel;

// A line of the window that tells something the user did not ask for in so many words (what
// the chosen file carries now), as screen readers meet it: a notification whose name is the
// line's text, read out whenever it changes without taking the focus. Orca reads a notification
// when it is shown, and ignores a changed name of anything but the focused control.
class NoticeLabelAccessible : public QAccessibleWidget
{
public:
    explicit NoticeLabelAccessible(QLabel *label);

    // Shows `text` and tells screen readers; an empty text only clears the line.
    static void show(QLabel *label, const QString &text);

    QString text(QAccessible::Text t) const override;
};
