// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationsetup.h"
#include "app/form1.h"

#include <QApplication>
#include <cstdio>

namespace {

// Without a display the toolkit would abort with a terse message of its own.
bool displayMissing()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    if (displayMissing()) {
        std::fputs("Kelvora Stärkeneditor braucht eine grafische Anzeige, aber weder DISPLAY noch "
                   "WAYLAND_DISPLAY ist gesetzt.\n"
                   "Starten Sie es in einer Desktop-Sitzung oder ohne Bildschirm mit "
                   "\"xvfb-run -a kelvora-staerkeneditor\".\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    setUpApplication();
    Form1 window;
    window.show();
    return QApplication::exec();
}
