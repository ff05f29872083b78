// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/noticelabelaccessible.h"

#include <QLabel>

NoticeLabelAccessible::NoticeLabelAccessible(QLabel *label)
    : QAccessibleWidget(label, QAccessible::Notification)
{
}

// The label stays on screen; telling that it is shown has the new text read.
void NoticeLabelAccessible::show(QLabel *label, const QString &text)
{
    label->setText(text);
    if (text.isEmpty() || !QAccessible::isActive())
        return;
    QAccessibleEvent event(label, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

QString NoticeLabelAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name)
        return static_cast<const QLabel *>(widget())->text();
    return QAccessibleWidget::text(t);
}
