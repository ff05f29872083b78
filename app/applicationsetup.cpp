// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationsetup.h"

#include "app/deferrediconstyle.h"
#include "resources/images.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

// The interface is German whatever the system's language, Qt's own texts included: shortcut
// names ("Strg+Q"), standard buttons. A missing catalogue would leave them English, which the
// tests catch; the program itself still runs.
void speakGerman()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto *translator = new QTranslator(qApp);
    // Built in by resources/CMakeLists.txt.
    if (translator->load(u":/translations/qtbase_de.qm"_s))
        QCoreApplication::installTranslator(translator);
}

} // namespace

void setUpApplication()
{
    deferOverflowIcons();
    speakGerman();
    QApplication::setApplicationName(u"Kelvora Stärkeneditor"_s);
    QApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(u"kelvora-staerkeneditor"_s);
    QApplication::setWindowIcon(Images::windowIcon());
}
