// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

// The application's style, drawing as it does, except that the icons of the overflow buttons that
// every menu bar and tool bar makes (for a window too narrow for its menus) are made when first
// drawn instead of with the bar. The style reads each of them from an image file, and the first
// image file read makes Qt load and ask every image format plugin installed; our window never
// shows those buttons.
class DeferredIconStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Takes over `style`, the one the application would use otherwise.
    explicit DeferredIconStyle(QStyle *style);

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option,
                       const QWidget *widget) const override;
};

// Puts DeferredIconStyle around the application's style; right after QApplication is made.
void deferOverflowIcons();
