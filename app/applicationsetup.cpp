// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationsetup.h"

#include "resources/resourcepaths.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::StringLiterals;

void setUpApplication()
{
    QApplication::setApplicationName(u"Kelvora Stärkeneditor"_s);
    QApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(u"kelvora-staerkeneditor"_s);
    QApplication::setWindowIcon(QIcon(ResourcePaths::iconPath()));
}
