// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>

class QLabel;

// The row of asterisks that grows while a save runs, as screen readers meet it: a progress bar
// named "Fortschritt" whose value is the share of the file done, 0 to 100 per cent (twenty
// asterisks are the whole file). Its text alone, a string of asterisks, says nothing aloud.
class ProgressLabelAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit ProgressLabelAccessible(QLabel *label);

    // Tells screen readers that the row now shows another share; the label has just changed.
    static void announce(QLabel *label);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {} // the save sets it, nobody else
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 0; }

private:
    static int percent(const QLabel *label);
};
