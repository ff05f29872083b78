// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/eventthrottle.h"
#include "rewrite/savecore.h"

#include <QMessageBox>

// What the window's handlers need of the desktop beyond their own controls: modal messages,
// the event pump that keeps the window alive during a save, and ending the program. Tests
// replace it to answer message boxes and to watch the program end.
class WindowServices
{
public:
    virtual ~WindowServices() = default;

    // Modal; returns when the user has closed the box. The answer is not used. The text, and
    // the detail below it where there is one, are shown as plain text, whatever they look like.
    virtual void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                             const QString &text, const QString &detail = {});

    // Offered while a save runs. Letting the toolkit process events costs about half a
    // microsecond even when nothing is pending, so it runs at most every few milliseconds.
    virtual void runPendingEvents();
    // How much of a save's work passes between two offers (SaveObserver).
    virtual qint64 saveReportInterval() const { return SaveObserver::DefaultReportInterval; }

    virtual void endProgram();

private:
    EventThrottle m_throttle;
};
