// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line, the standard streams and the console of both programs, as each system
// provides them (linux/console.cpp, windows/console.cpp).

#include <QByteArrayView>
#include <QStringList>
#include <QStringView>

#include <cstdio>

// Puts the null device on whichever of standard input, output and error the caller left
// closed ("prog >&-"). Otherwise the next file the program opens takes that number, and
// messages meant for the terminal land in it, a .new among them. Called first thing, before
// anything is opened; false when it could not be done, and then nothing must be opened.
bool openClosedStandardStreams();

// A drive without a medium makes Windows show its "Kein Datenträger" box and wait for the
// user, unless the process asks for the error instead, as Microsoft advises every program to
// do at start (SetErrorMode with SEM_FAILCRITICALERRORS): the lists and the companion then
// meet an error they can report. Called first thing by both programs; nothing on Linux.
void failCriticalErrorsQuietly();

// The arguments after the program's name, exactly as the system gives them: on Linux argv's
// bytes (filenames.h); on Windows the UTF-16 command line, as argv holds only what the ANSI code
// page can spell.
QStringList commandLineArguments(int argc, char *argv[]);

// Whether the shell has already expanded "*" and "?" in the arguments: Linux shells do;
// cmd.exe and PowerShell hand them over as typed, and Windows programs expand them themselves.
extern const bool ShellExpandsWildcards;

// Whether text for a file or pipe follows the console's code page, as on Windows, where
// --utf8 asks for UTF-8 instead and "/?" asks for help, as Windows' own programs are asked.
extern const bool ConsoleCodePages;

// A program built for the desktop (the window) has no console of its own on Windows: unless the
// caller redirected them, its standard output and error lead nowhere. This points them at the
// console of the command line that started it, if there is one. Nothing to do on Linux.
void useCallersConsole();

// Prepares standard output and error for the program's text, for a reader that goes away and,
// in a console, for redrawing a line. What it changes in a console shared with the shell is
// put back when the program ends, or by endAtOnce().
void prepareConsoleOutput();

// Writes the text to standard output or error in one piece, flushed: on Linux as UTF-8; on
// Windows to a console as UTF-16 (WriteConsoleW), which shows every character whatever the
// console's code page, and into a file or pipe in the console's output code page, as Windows'
// own programs write and cmd.exe's "type" and "more" and PowerShell read it there, with each
// character that code page lacks written as "?". The error number when it could not be
// written, else 0.
int writeStandardStream(std::FILE *stream, QStringView text);

// The bytes to the stream in one piece, flushed; the error number when they could not be
// written, else 0. Where writeStandardStream() ends on both systems.
int writeBytes(std::FILE *stream, QByteArrayView bytes);

// From now on a file or pipe gets UTF-8 whatever the console's code page (--utf8); Linux
// writes nothing else anyway.
void writeRedirectedOutputAsUtf8();

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

// Ends the program at once, as `signal` ends it when nothing catches it: a shell reads status
// 128 + its number (130 for Ctrl+C). First the line the cursor is on in a terminal is cleared,
// so that no half-drawn progress line stays on the screen, and what prepareConsoleOutput()
// changed in the console is put back. Safe in a signal handler.
[[noreturn]] void endAtOnce(int signal);

// Ends the program as a pipe whose reader has gone ("| head -n 1") ends one that lets it, as
// `cat` ends: silently, killed by SIGPIPE on Linux (a shell reads status 141); on Windows,
// which has no such signal, with that status. For when the program has finished what it began.
[[noreturn]] void endForClosedOutput();
