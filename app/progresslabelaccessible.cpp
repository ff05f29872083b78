// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/progresslabelaccessible.h"

#include "rewrite/asteriskcounter.h"

#include <QLabel>

using namespace Qt::StringLiterals;

ProgressLabelAccessible::ProgressLabelAccessible(QLabel *label)
    : QAccessibleWidget(label, QAccessible::ProgressBar)
{
}

// The label holds nothing but the asterisks.
int ProgressLabelAccessible::percent(const QLabel *label)
{
    return int(qMin<qsizetype>(label->text().size(), FullAsteriskRow) * 100 / FullAsteriskRow);
}

void ProgressLabelAccessible::announce(QLabel *label)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(label, percent(label));
    QAccessible::updateAccessibility(&event);
}

void *ProgressLabelAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString ProgressLabelAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return u"%1 %"_s.arg(percent(static_cast<const QLabel *>(widget())));
    return QAccessibleWidget::text(t);
}

QVariant ProgressLabelAccessible::currentValue() const
{
    return percent(static_cast<const QLabel *>(widget()));
}
