// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The console of a command-line program, as each system provides it (linux/console.cpp,
// windows/console.cpp).

// Whether standard error goes to a terminal, where a progress line can be redrawn in place.
bool standardErrorIsTerminal();

// Prepares standard output and error for UTF-8 text, which is what the program writes, and for
// a reader that goes away.
void prepareConsoleOutput();
