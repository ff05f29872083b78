// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

const bool ShellExpandsWildcards = false;

namespace {

// What the program changes in the console it shares with the shell, as it was.
struct ConsoleState
{
    UINT outputCodePage = 0; // 0: not changed
    HANDLE errorHandle = INVALID_HANDLE_VALUE;
    DWORD errorMode = 0;
    bool modeChanged = false;
    bool escapes = false;
};
ConsoleState changed; // the console as it was

void restoreAtExit()
{
    restoreConsole();
}

SHORT cursorColumn(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetConsoleScreenBufferInfo(console, &info) ? info.dwCursorPosition.X : -1;
}

// Whether the console really acts on escape sequences: Wine's accepts the mode and still shows
// them as they are. "Clear to the end of the line" leaves the cursor where it was where it is
// acted on; shown as it is, it moves the cursor, and blanks cover it again.
bool escapesTakeEffect(HANDLE console)
{
    const SHORT before = cursorColumn(console);
    DWORD written = 0;
    WriteConsoleW(console, L"\x1b[K", 3, &written, nullptr);
    const SHORT moved = SHORT(cursorColumn(console) - before);
    if (before < 0 || moved == 0)
        return before >= 0;
    const std::wstring back(size_t(moved), L'\b');
    const std::wstring cover = back + std::wstring(size_t(moved), L' ') + back;
    WriteConsoleW(console, cover.data(), DWORD(cover.size()), &written, nullptr);
    return false;
}

} // namespace

// Nothing to do: the program opens files as handles (CreateFileW), never as the C runtime's
// numbers, so no file can take over a standard stream; one the program was started without
// stays absent (_fileno gives -2) and writes to it fail.
bool openClosedStandardStreams()
{
    return true;
}

QStringList commandLineArguments(int, char *[])
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    QStringList result;
    for (int i = 1; i < count; ++i)
        result.append(QString::fromWCharArray(arguments[i]));
    LocalFree(arguments);
    return result;
}

// The console shows bytes in its output code page, which is not UTF-8 unless asked for, and
// shows "ESC[K" as it is unless virtual-terminal processing is on (Microsoft, Console Virtual
// Terminal Sequences: SetConsoleMode with ENABLE_VIRTUAL_TERMINAL_PROCESSING, which fails where
// the console does not have it). Both belong to the console, not the program, so both are put
// back at the end; a code page left at 65001 changes how the shell's next programs print.
// Without escapes the progress line is overwritten with blanks (Terminal::Plain).
void prepareConsoleOutput()
{
    if (const UINT codePage = GetConsoleOutputCP(); codePage != 0 && codePage != CP_UTF8
        && SetConsoleOutputCP(CP_UTF8))
        changed.outputCodePage = codePage;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error != INVALID_HANDLE_VALUE && error != nullptr && GetConsoleMode(error, &mode)) {
        changed.errorHandle = error;
        changed.errorMode = mode;
        changed.modeChanged = !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
            && SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        changed.escapes = ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) || changed.modeChanged)
            && escapesTakeEffect(error);
    }
    std::atexit(restoreAtExit);
}

void restoreConsole()
{
    if (changed.outputCodePage != 0)
        SetConsoleOutputCP(changed.outputCodePage);
    if (changed.modeChanged)
        SetConsoleMode(changed.errorHandle, changed.errorMode);
}

Terminal standardErrorTerminal()
{
    if (::_isatty(::_fileno(stderr)) == 0)
        return Terminal::None;
    return changed.escapes ? Terminal::WithEscapes : Terminal::Plain;
}

namespace {

void (*stopHandler)(int) = nullptr;

// The console's own events, not the C library's signals: those reset themselves to the default
// before a handler runs, so a second Ctrl+C would never reach it. Ctrl+C stops as SIGINT,
// Ctrl+Break as SIGBREAK; closing the console window as SIGTERM, and then this thread waits:
// Windows ends the program when the handler returns, or five seconds after the event, and the
// saves need that time to discard their temporary files (SetConsoleCtrlHandler,
// HandlerRoutine in Microsoft's console documentation).
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        stopHandler(SIGINT);
        return TRUE;
    case CTRL_BREAK_EVENT:
        stopHandler(SIGBREAK);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopHandler(SIGTERM);
        Sleep(INFINITE); // the program ends from its main thread, or Windows ends it
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void catchStopSignals(void (*handler)(int))
{
    stopHandler = handler;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    std::signal(SIGTERM, handler);
}

QList<StopRequest> stopRequests()
{
    using Way = StopRequest::Way;
    return {{Way::CtrlC, SIGINT}, {Way::ConsoleClosed, SIGTERM}, {Way::CtrlBreak, SIGBREAK}};
}
