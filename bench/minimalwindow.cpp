// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for startup.sh: the smallest Qt Widgets window program, a main window with one
// label, ending at its first frame like kelvora_firstframe.
//
//   KELVORA_BENCH_LAUNCH_US=${EPOCHREALTIME/./} QT_QPA_PLATFORM=offscreen minimal_window

#include "bench/firstframe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(u"Hallo"_s));
    // About the size of our window, so both hand the window system as many pixels.
    window.resize(403, 434);
    const FirstFrame::Probe probe(window);
    window.show();
    return QApplication::exec();
}
