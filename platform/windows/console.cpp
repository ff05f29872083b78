// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <io.h>
#include <windows.h>

// Nothing to do: the program opens files as handles (CreateFileW), never as the C runtime's
// numbers, so no file can take over a standard stream; one the program was started without
// stays absent (_fileno gives -2) and writes to it fail.
bool openClosedStandardStreams()
{
    return true;
}

bool standardErrorIsTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

// The console shows bytes in its code page, which is not UTF-8 unless asked for.
void prepareConsoleOutput()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

// Ctrl+Break arrives as SIGBREAK.
void catchStopSignals(void (*handler)(int))
{
    for (const int signal : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signal, handler);
}
