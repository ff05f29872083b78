// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the desktop gives the window, as each system provides it (linux/desktop.cpp,
// windows/desktop.cpp): whether there is a display at all, and the system's own dialog font.
// QtCore only, so the font comes as family names and a size.

#include <QStringList>

// True where the program can tell before it starts the toolkit that no display is named (no
// DISPLAY or WAYLAND_DISPLAY on Linux); the toolkit would end with a terse message of its own.
bool displayMissing();

// The font every control of the window without a font of its own uses; the fixed layout is
// measured for an 8-point one.
struct DialogFont
{
    QStringList families; // the first one installed is used; empty: the toolkit's default
    qreal pointSize = 8;
};

DialogFont dialogFont();

// Whether the folder list shows the folder icons the toolkit's style hands out. On Windows they
// are Explorer's own, had cheaply; on Linux the style looks for them through every icon theme
// installed, which costs the start more than the rest of the window, so the program shows its
// own pictures.
bool systemFolderIconsWanted();

// Whether a drop-down list that picks from fixed entries tells screen readers its chosen entry
// itself: as its text, and, when the user changes it, by moving their focus to the new entry.
// Qt's AT-SPI bridge on Linux (Qt 6.4) passes neither such a list's value nor a selection, so
// Orca hears an entry only so. On Windows Qt gives UI Automation the entry as the list's value
// and raises a notification with each new one, which Narrator and NVDA read.
bool dropDownSpeaksItsEntry();
