// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

bool standardErrorIsTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

// The console shows bytes in its code page, which is not UTF-8 unless asked for.
void prepareConsoleOutput()
{
    ::SetConsoleOutputCP(CP_UTF8);
}
