// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// The families a font of the fixed layout asks for, narrowed to the first one the font database
// holds. The toolkit then matches each of the layout's fonts by that one family instead of
// substituting the missing ones anew for every font: on Linux neither MS Sans Serif nor Arial
// is usually installed, and each substitution asks fontconfig, which costs start-up more than
// the fonts themselves. A list none of which is installed stays as it is, for the toolkit's own
// substitution.
QStringList installedFamilies(const QStringList &families);
