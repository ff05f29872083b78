// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the system's font configuration beside the start of the toolkit (linux/fontwarmup.cpp,
// windows/fontwarmup.cpp). On Linux the toolkit reads fontconfig's configuration (dozens of
// XML files) on the window's thread the first time it needs a font, the largest single step of
// the start; begun on a thread of its own before the toolkit connects to the display, it is done
// by then, or nearly, and the toolkit finds it loaded. Windows has nothing of the kind to read:
// there it does nothing.
//
//   FontWarmUp fonts;         // before QApplication
//   QApplication app(...);
//   fonts.finish();           // before the first font is needed
//
// The toolkit reading the configuration itself while the thread still runs would read it twice
// (fontconfig keeps one, so nothing breaks, but the time is lost): finish() comes first.

#include <thread>

class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

    // Waits until the configuration is read; later calls return at once.
    void finish();

private:
    std::thread m_reading;
};
