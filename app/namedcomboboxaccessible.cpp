// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/namedcomboboxaccessible.h"

#include <QAbstractItemView>
#include <QComboBox>

NamedComboBoxAccessible::NamedComboBoxAccessible(QComboBox *list)
    : QAccessibleWidget(list, QAccessible::ComboBox)
{
}

bool NamedComboBoxAccessible::fits(const QObject *object)
{
    const auto *list = qobject_cast<const QComboBox *>(object);
    return list && !list->isEditable();
}

QComboBox *NamedComboBoxAccessible::list() const
{
    return static_cast<QComboBox *>(widget());
}

QAccessibleInterface *NamedComboBoxAccessible::child(int index) const
{
    return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
}

int NamedComboBoxAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    return child && child->object() == list()->view() ? 0 : -1;
}

QString NamedComboBoxAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return list()->currentText();
    const QString text = QAccessibleWidget::text(t); // its own name, or its caption's
    return t == QAccessible::Name && text.isEmpty() ? list()->currentText() : text;
}

QAccessible::State NamedComboBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = list()->view()->isVisible();
    return state;
}

QStringList NamedComboBoxAccessible::actionNames() const
{
    return {showMenuAction(), pressAction()};
}

// Both open the list, or close it when it is open, as a click on the list does.
void NamedComboBoxAccessible::doAction(const QString &actionName)
{
    if (actionName != showMenuAction() && actionName != pressAction())
        return;
    if (list()->view()->isVisible())
        list()->hidePopup();
    else
        list()->showPopup();
}
