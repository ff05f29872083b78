// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QObject;
struct Controls;

// What screen readers (AT-SPI on Linux, UI Automation on Windows, both through Qt) meet in the
// window beyond Qt's own interfaces: the drop-down lists named by their purpose on every system,
// each star row as one picture named by its rating with its pictures and the hidden templates
// out of sight, the row of asterisks as a progress bar, and the chosen file's line as a
// notification. The names themselves are given
// where the controls are made.

// Before the first control is made: Qt keeps the first interface it made for an object.
void useWindowAccessibility();

// Once the controls exist, before the window is first shown.
void exposeStarRows(const Controls &controls);

// Has the drive list and both rating lists tell screen readers each entry the user changes them
// to (NamedComboBoxAccessible::announceEntry).
void announceListEntries(const Controls &controls, QObject *context);
