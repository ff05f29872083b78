// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/namedcomboboxaccessible.h"

#include "platform/desktop.h"

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

// The popup's view is a list whose children are the entries, row by row, as Qt's own list
// announces a move to one of them. An open popup has the focus and announces its own moves.
void NamedComboBoxAccessible::announceEntry(QComboBox *list)
{
    if (!dropDownSpeaksItsEntry() || !QAccessible::isActive() || !list->hasFocus()
        || list->view()->isVisible() || list->currentIndex() < 0)
        return;
    QAccessibleEvent event(list->view(), QAccessible::Focus);
    event.setChild(list->currentIndex());
    QAccessible::updateAccessibility(&event);
}

void *NamedComboBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface && dropDownSpeaksItsEntry())
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
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

void NamedComboBoxAccessible::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
}

QString NamedComboBoxAccessible::text(int startOffset, int endOffset) const
{
    return list()->currentText().mid(startOffset, endOffset - startOffset);
}

int NamedComboBoxAccessible::characterCount() const
{
    return int(list()->currentText().size());
}

QString NamedComboBoxAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = offset;
    return {};
}
