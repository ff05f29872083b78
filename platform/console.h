// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line, the standard streams and the console of both programs, as each system
// provides them (linux/console.cpp, windows/console.cpp).

#include <QStringList>

// Puts the null device on whichever of standard input, output and error the caller left
// closed ("prog >&-"). Otherwise the next file the program opens takes that number, and
// messages meant for the terminal land in it, a .new among them. Called first thing, before
// anything is opened; false when it could not be done, and then nothing must be opened.
bool openClosedStandardStreams();

// The arguments after the program's name, exactly as the system gives them: on Linux argv's
// bytes (filenames.h); on Windows the UTF-16 command line, as argv holds only what the ANSI code
// page can spell.
QStringList commandLineArguments(int argc, char *argv[]);

// Whether the shell has already expanded "*" and "?" in the arguments: Linux shells do;
// cmd.exe and PowerShell hand them over as typed, and Windows programs expand them themselves.
extern const bool ShellExpandsWildcards;

// Prepares standard output and error for UTF-8 text, which is what the program writes, for a
// reader that goes away and, in a console, for redrawing a line. What it changes in a console
// shared with the shell is put back when the program ends, or by restoreConsole().
void prepareConsoleOutput();
void restoreConsole(); // for an end that skips the usual one; safe in a signal handler

// Where standard error goes, as far as a progress line redrawn in place is concerned: no
// terminal, one that takes escape sequences ("ESC[K" clears the rest of the line), or one that
// shows them as they are, where the line is overwritten with blanks instead.
enum class Terminal { None, WithEscapes, Plain };
Terminal standardErrorTerminal(); // after prepareConsoleOutput()

// Has `handler` called, instead of the program ending, for each signal by which the system
// asks a command-line program to stop (Ctrl+C, a termination request, a closed terminal).
void catchStopSignals(void (*handler)(int));

// The requests to stop that catchStopSignals() hears on this system, for the help to name:
// how each is made, and the signal it arrives as (the program then ends with 128 + it).
struct StopRequest
{
    enum class Way { CtrlC, CtrlBreak, Termination, TerminalClosed, ConsoleClosed };
    Way way;
    int signal;
};
QList<StopRequest> stopRequests();
