// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// Waits from a timer for the real modal message box, records it and presses its OK button.
// It polls instead of waiting inside the timer, because a save may run the timer from its own
// event pump before the box exists.
struct MessageBoxAnswer
{
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    bool answered = false;

    void armFor(QObject *context)
    {
        QTimer::singleShot(10, context, [this, context] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return armFor(context);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->buttons().size();
            answered = true;
            QTest::keyClick(box, Qt::Key_Return);
        });
    }
};
