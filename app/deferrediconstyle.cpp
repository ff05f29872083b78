// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/deferrediconstyle.h"

#include "app/deferredstyleicon.h"

#include <QApplication>

DeferredIconStyle::DeferredIconStyle(QStyle *style) : QProxyStyle(style)
{
}

// An icon asked for with an option depends on it, and the option lives only for this call.
QIcon DeferredIconStyle::standardIcon(StandardPixmap which, const QStyleOption *option,
                                      const QWidget *widget) const
{
    const bool overflowButton =
        which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton;
    if (!overflowButton || option)
        return QProxyStyle::standardIcon(which, option, widget);
    return QIcon(new DeferredStyleIcon(baseStyle(), which, widget));
}

void deferOverflowIcons()
{
    // The style the application made or was told to use (QT_STYLE_OVERRIDE) goes inside.
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()));
}
