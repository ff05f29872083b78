// SPDX-License-Identifier: GPL-3.0-or-later
// Our program's start-up up to its first frame, for startup.sh: the start-up of app/main.cpp, the
// same window on the same environment, with the probe of firstframe.h ending the program once
// the window has painted. The display check of main.cpp is left out; the script always sets
// the platform.
//
//   KELVORA_BENCH_LAUNCH_US=${EPOCHREALTIME/./} QT_QPA_PLATFORM=offscreen kelvora_firstframe

#include "bench/firstframe.h"

#include "app/applicationsetup.h"
#include "app/form1.h"
#include "platform/fontwarmup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    FontWarmUp fonts;
    QApplication app(argc, argv);
    fonts.finish();
    setUpApplication();
    Form1 window;
    const FirstFrame::Probe probe(window);
    window.show();
    return QApplication::exec();
}
