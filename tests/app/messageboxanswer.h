// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// Waits from a timer for the real modal message box, records it and presses its OK button.
// It polls instead of waiting inside the timer, because a save may run the timer from its own
// event pump before the box exists.
struct MessageBoxAnswer
{
    QString text;
    QString detail; // the informative text below it
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    Qt::TextFormat shownAs = Qt::AutoText; // as the box's label reads its text
    Qt::TextFormat detailShownAs = Qt::AutoText;
    bool answered = false;

    void armFor(QObject *context)
    {
        QTimer::singleShot(10, context, [this, context] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return armFor(context);
            text = box->text();
            detail = box->informativeText();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->buttons().size();
            if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
                shownAs = label->textFormat();
            if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
                detailShownAs = label->textFormat();
            answered = true;
            QTest::keyClick(box, Qt::Key_Return);
        });
    }
};
