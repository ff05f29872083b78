// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowservices.h"

#include <QCoreApplication>
#include <QLabel>

void WindowServices::showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                 const QString &text, const QString &detail)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    // Messages name files, and a name can look like markup: read as rich text, "<img src=...>"
    // would make the box open (and block on, or read without end) whatever file it names. The
    // box's text format reaches its main label only, not the one of the informative text.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    box.exec();
}

void WindowServices::runPendingEvents()
{
    if (m_throttle.due())
        QCoreApplication::processEvents();
}

void WindowServices::endProgram()
{
    QCoreApplication::quit();
}
