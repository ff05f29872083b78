// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <csignal>
#include <unistd.h>

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

// Terminals here take UTF-8 as it is. Output into a pipe whose reader has gone ("| head") must
// not end the program in the middle of a save: the write fails instead, and the saves go on.
void prepareConsoleOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
}
