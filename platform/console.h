// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The standard streams and the console of both programs, as each system provides them
// (linux/console.cpp, windows/console.cpp).

// Puts the null device on whichever of standard input, output and error the caller left
// closed ("prog >&-"). Otherwise the next file the program opens takes that number, and
// messages meant for the terminal land in it, a .new among them. Called first thing, before
// anything is opened; false when it could not be done, and then nothing must be opened.
bool openClosedStandardStreams();

// Whether standard error goes to a terminal, where a progress line can be redrawn in place.
bool standardErrorIsTerminal();

// Prepares standard output and error for UTF-8 text, which is what the program writes, and for
// a reader that goes away.
void prepareConsoleOutput();

// Has `handler` called, instead of the program ending, for each signal by which the system
// asks a command-line program to stop (Ctrl+C, a termination request, a closed terminal).
void catchStopSignals(void (*handler)(int));
