// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QComboBox;

// A drop-down list that picks from fixed entries, as screen readers meet it: named by its
// purpose ("Laufwerk", "Startsterne"), with the chosen entry as its value, on every system. On
// Linux Qt names such a list by its chosen entry alone, so two rating lists both read
// "0.0 Sterne" and the drive list "/ (vda)"; GTK and Orca take a list's own name as its name,
// as Windows does. A list without a name or caption is still named by its entry. The open list
// stays its one child, as with Qt's own interface. Where the system's bridge passes no value
// (dropDownSpeaksItsEntry()), the entry is also the list's text, which Orca reads as the value
// of a list that offers no selection, and each new entry is announced (announceEntry()).
class NamedComboBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit NamedComboBoxAccessible(QComboBox *list);

    // Whether `object` is such a list: not editable. (Qt decides once per list, when it is
    // first asked, which may be before the list has its name.)
    static bool fits(const QObject *object);
    // Tells screen readers the entry `list` has just changed to, while the user works the closed
    // list (arrow, wheel or letter), as a move of their focus to that entry of the list's
    // popup: Orca reads the entry it is moved to, and ignores a changed name of a list.
    static void announceEntry(QComboBox *list);

    void *interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface *child(int index) const override;
    int childCount() const override { return 1; }
    int indexOfChild(const QAccessibleInterface *child) const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    // The chosen entry as plain text that cannot be selected or edited.
    void selection(int, int *startOffset, int *endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QComboBox *list() const;
};
