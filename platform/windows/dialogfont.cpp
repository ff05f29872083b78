// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dialogfont.h"

#include <windows.h>

// Windows' default dialog font is the stock DEFAULT_GUI_FONT, "MS Shell Dlg" 8 pt: a name the
// system maps to a real face (Microsoft Sans Serif on Windows 10 and 11, Tahoma under Wine),
// scaled with the screen's dots per inch but not with "Text size", as the fixed boxes are.
// Qt's font database knows real faces only, so the face is read back from a device context that
// has the font selected. (Qt's own default is the message font, Segoe UI 9 pt or larger, which
// would clip the rating lists.)
DialogFont dialogFont()
{
    DialogFont font;
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return font;
    HGDIOBJ previous = ::SelectObject(screen, ::GetStockObject(DEFAULT_GUI_FONT));
    wchar_t face[LF_FACESIZE] = {};
    TEXTMETRICW metrics{};
    const int dotsPerInch = ::GetDeviceCaps(screen, LOGPIXELSY);
    if (::GetTextFaceW(screen, LF_FACESIZE, face) > 0 && ::GetTextMetricsW(screen, &metrics)
        && dotsPerInch > 0) {
        font.families = {QString::fromWCharArray(face)};
        // The character height without the leading, as a LOGFONT's negative height gives it.
        font.pointSize = (metrics.tmHeight - metrics.tmInternalLeading) * 72.0 / dotsPerInch;
    }
    ::SelectObject(screen, previous);
    ::ReleaseDC(nullptr, screen);
    return font;
}
