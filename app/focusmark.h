// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Draws a frame in the text colour of its surroundings (white on the window's grey frames)
// around whichever control inside `window` has the keyboard focus, so that a keyboard user
// always sees where the next key goes. The styles mark focus faintly or not at all: a folder
// list's current row is also its selected row, and the focus rectangle vanishes in the
// selection's colour; an empty file list shows nothing.
void markKeyboardFocus(QWidget *window);
