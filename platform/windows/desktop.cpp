// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/desktop.h"

#include <vector>
#include <windows.h>

// Windows always has its desktop.
bool displayMissing()
{
    return false;
}

namespace {

// The family of the font the device context has realised: a TrueType font names its own family;
// otherwise the face name is all there is.
QString realisedFamily(HDC context)
{
    const UINT size = ::GetOutlineTextMetricsW(context, 0, nullptr);
    if (size >= sizeof(OUTLINETEXTMETRICW)) {
        std::vector<char> buffer(size);
        auto *metrics = reinterpret_cast<OUTLINETEXTMETRICW *>(buffer.data());
        if (::GetOutlineTextMetricsW(context, size, metrics) != 0) {
            const auto offset = reinterpret_cast<std::size_t>(metrics->otmpFamilyName);
            const char *name = buffer.data() + offset;
            return QString::fromWCharArray(reinterpret_cast<const wchar_t *>(name));
        }
    }
    wchar_t face[LF_FACESIZE] = {};
    if (::GetTextFaceW(context, LF_FACESIZE, face) == 0)
        return {};
    return QString::fromWCharArray(face);
}

} // namespace

// Windows' default dialog font is the stock DEFAULT_GUI_FONT, "MS Shell Dlg" 8 pt: a name the
// system maps to a real font (Microsoft Sans Serif on Windows 10 and 11, Tahoma under Wine),
// scaled with the screen's dots per inch but not with "Text size", as the fixed boxes are. Qt's
// font database knows real families only, so the family is read back from a device context that
// has the font selected. (Qt's own default is the message font, Segoe UI 9 pt or larger, which
// would clip the rating lists.)
DialogFont dialogFont()
{
    DialogFont font;
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return font;
    HGDIOBJ previous = ::SelectObject(screen, ::GetStockObject(DEFAULT_GUI_FONT));
    const QString family = realisedFamily(screen);
    TEXTMETRICW metrics{};
    const int dotsPerInch = ::GetDeviceCaps(screen, LOGPIXELSY);
    if (!family.isEmpty() && ::GetTextMetricsW(screen, &metrics) && dotsPerInch > 0) {
        font.families = {family};
        // The character height without the leading, as a LOGFONT's negative height gives it.
        font.pointSize = (metrics.tmHeight - metrics.tmInternalLeading) * 72.0 / dotsPerInch;
    }
    ::SelectObject(screen, previous);
    ::ReleaseDC(nullptr, screen);
    return font;
}

bool systemFolderIconsWanted()
{
    return true;
}

// Qt gives UI Automation a combo box's chosen entry as the Value pattern's value, which a combo
// box offers for the item shown
// (https://learn.microsoft.com/en-us/dotnet/framework/ui-automation/ui-automation-support-for-the-combobox-control-type),
// and raises a notification with each new entry, which screen readers read out
// (https://learn.microsoft.com/en-us/windows/win32/api/uiautomationcoreapi/nf-uiautomationcoreapi-uiaraisenotificationevent).
bool dropDownSpeaksItsEntry()
{
    return false;
}
