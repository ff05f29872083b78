// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/desktop.h"

using namespace Qt::StringLiterals;

bool displayMissing()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Linux desktops have no dialog font of that size; their default fonts are larger and would clip
// "0.0 Sterne" in the rating lists. The families the layout was drawn with come first, then
// Liberation Sans, the metric-compatible stand-in for Arial.
DialogFont dialogFont()
{
    return {{u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s}, 8};
}

bool systemFolderIconsWanted()
{
    return false;
}

bool dropDownSpeaksItsEntry()
{
    return true;
}
