// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QComboBox;

// A drop-down list that picks from fixed entries, as screen readers meet it: named by its
// purpose ("Laufwerk", "Startsterne"), with the chosen entry as its value, on every system. On
// Linux Qt names such a list by its chosen entry alone, so two rating lists both read
// "0.0 Sterne" and the drive list "/ (vda)"; GTK and Orca take a list's own name as its name,
// as Windows does. A list without a name or caption is still named by its entry. The open list
// stays its one child, as with Qt's own interface.
class NamedComboBoxAccessible : public QAccessibleWidget
{
public:
    explicit NamedComboBoxAccessible(QComboBox *list);

    // Whether `object` is such a list: not editable. (Qt decides once per list, when it is
    // first asked, which may be before the list has its name.)
    static bool fits(const QObject *object);

    QAccessibleInterface *child(int index) const override;
    int childCount() const override { return 1; }
    int indexOfChild(const QAccessibleInterface *child) const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    QComboBox *list() const;
};
