// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QAbstractItemView;

// Tells screen readers a list's current entry once the list has the focus: `announce` has the
// view report its current entry as changed, which Qt's views pass on as a focus move to it. Qt
// announces the list itself only after its focus-in handler has run, and a screen reader reads
// whatever was announced last, so this runs from the event loop, and only while the list still
// has the focus and a screen reader listens. Qt passes such a move to AT-SPI as a focus event,
// and to UI Automation as the event raised when the keyboard focus moves to another element
// (https://learn.microsoft.com/en-us/windows/win32/api/uiautomationclient/nf-uiautomationclient-iuiautomationfocuschangedeventhandler-handlefocuschangedevent),
// which both Orca and Windows' screen readers read out.
void announceCurrentEntryAfterFocus(QAbstractItemView *list, std::function<void()> announce);
