// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system's default dialog font, which every control of the window without a font of
// its own uses (linux/dialogfont.cpp, windows/dialogfont.cpp). The fixed layout is measured for
// an 8-point one. QtCore only, so the font comes as family names and a size.

#include <QStringList>

struct DialogFont
{
    QStringList families; // the first one installed is used; empty: the toolkit's default
    qreal pointSize = 8;
};

DialogFont dialogFont();
