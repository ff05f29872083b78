// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include "platform/windows/systemcalls.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <windows.h>

#include <shellapi.h>

const bool ShellExpandsWildcards = false;
const bool ConsoleCodePages = true;

namespace {

// What the program changes in the console it shares with the shell, as it was.
struct ConsoleState
{
    HANDLE errorHandle = INVALID_HANDLE_VALUE;
    DWORD errorMode = 0;
    bool modeChanged = false;
    bool escapes = false;
};
ConsoleState changed; // the console as it was

// The code page of what goes into a file or pipe; 0 until prepareConsoleOutput() chose it.
std::atomic<UINT> redirectedCodePage{0};

void restoreConsole()
{
    if (changed.modeChanged)
        SetConsoleMode(changed.errorHandle, changed.errorMode);
}

void restoreAtExit()
{
    restoreConsole();
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

SHORT cursorColumn(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetConsoleScreenBufferInfo(console, &info) ? info.dwCursorPosition.X : -1;
}

// Held while a text goes to the console, and by an end at once for good: a progress row the
// reporting thread draws while the row is cleared would otherwise stay on the screen.
std::mutex consoleWriting;

bool writeConsole(HANDLE console, std::wstring_view text)
{
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min<size_t>(text.size(), 16 * 1024));
        if (!WriteConsoleW(console, text.data(), piece, &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

// Whether the console really acts on escape sequences: Wine's accepts the mode and still shows
// them as they are. "Clear to the end of the line" leaves the cursor where it was where it is
// acted on; shown as it is, it moves the cursor, and blanks cover it again.
bool escapesTakeEffect(HANDLE console)
{
    const SHORT before = cursorColumn(console);
    writeConsole(console, L"\x1b[K");
    const SHORT moved = SHORT(cursorColumn(console) - before);
    if (before < 0 || moved == 0)
        return before >= 0;
    const std::wstring back(size_t(moved), L'\b');
    writeConsole(console, back + std::wstring(size_t(moved), L' ') + back);
    return false;
}

// The bytes of the text in a code page, each character it lacks as "?": not its "best fit",
// which would show "Ł" as "L" and so name another file. UTF-8 and the code pages that take no
// such flags are written as Windows converts them.
QByteArray inCodePage(QStringView text, UINT codePage)
{
    if (codePage == CP_UTF8 || text.isEmpty())
        return text.toUtf8();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char *unknown = "?";
    int length = WideCharToMultiByte(codePage, flags, wide, int(text.size()), nullptr, 0, unknown,
                                     nullptr);
    if (length == 0) {
        flags = 0;
        unknown = nullptr;
        length = WideCharToMultiByte(codePage, 0, wide, int(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    }
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(codePage, flags, wide, int(text.size()), bytes.data(), length, unknown,
                        nullptr);
    return bytes;
}

} // namespace

// Nothing to do: the program opens files as handles (CreateFileW), never as the C runtime's
// numbers, so no file can take over a standard stream; one the program was started without
// stays absent (_fileno gives -2) and writes to it fail.
bool openClosedStandardStreams()
{
    return true;
}

// Microsoft, SetErrorMode: "Best practice is that all applications call the process-wide
// SetErrorMode function with a parameter of SEM_FAILCRITICALERRORS at startup. This is to
// prevent error mode dialogs from hanging the application." Child processes inherit it.
void failCriticalErrorsQuietly()
{
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);
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

namespace {

bool leadsNowhere(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

} // namespace

// A stream the caller redirected (to a file, a pipe) stays where it leads.
void useCallersConsole()
{
    const bool output = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool error = leadsNowhere(STD_ERROR_HANDLE);
    if (!(output || error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // A stream that cannot be pointed there stays without a place, as it was.
    if (output)
        (void)std::freopen("CONOUT$", "w", stdout);
    if (error)
        (void)std::freopen("CONOUT$", "w", stderr);
}

// The console's code page is the console's, and stays as it was: text to the console goes as
// UTF-16, which needs none. A file or pipe gets the console's output code page (GetConsoleOutputCP:
// "chcp" sets it; 850 on a German Windows, 65001 where the user chose UTF-8), which is what
// cmd.exe's "type" and "more" show it in and what PowerShell 5.1 decodes a program's output
// with. Without a console (started by a program that has none) nobody says what the reader
// expects, and UTF-8, this program's own ANSI code page by its manifest, loses nothing.
// "ESC[K" is shown as it is unless virtual-terminal processing is on (Microsoft, Console
// Virtual Terminal Sequences: SetConsoleMode with ENABLE_VIRTUAL_TERMINAL_PROCESSING, which
// fails where the console does not have it); that mode is put back at the end. Without escapes
// the progress line is overwritten with blanks (Terminal::Plain).
void prepareConsoleOutput()
{
    const UINT consoleCodePage = GetConsoleOutputCP();
    redirectedCodePage = consoleCodePage != 0 ? consoleCodePage : CP_UTF8;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (isConsole(error) && GetConsoleMode(error, &mode)) {
        changed.errorHandle = error;
        changed.errorMode = mode;
        changed.modeChanged = !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
            && SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        changed.escapes = ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) || changed.modeChanged)
            && escapesTakeEffect(error);
    }
    std::atexit(restoreAtExit);
}

int writeStandardStream(std::FILE *stream, QStringView text)
{
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (isConsole(handle)) {
        const std::wstring_view wide(reinterpret_cast<const wchar_t *>(text.utf16()),
                                     size_t(text.size()));
        const std::lock_guard writing(consoleWriting);
        return writeConsole(handle, wide) ? 0 : systemError(GetLastError()).number;
    }
    UINT codePage = redirectedCodePage.load();
    if (codePage == 0)
        codePage = CP_UTF8;
    return writeBytes(stream, inCodePage(text, codePage));
}

void writeRedirectedOutputAsUtf8()
{
    redirectedCodePage = CP_UTF8;
}

// Only a console: the null device ("2>nul") is a character device too, which _isatty takes for
// a terminal.
Terminal standardErrorTerminal()
{
    if (!isConsole(GetStdHandle(STD_ERROR_HANDLE)))
        return Terminal::None;
    return changed.escapes ? Terminal::WithEscapes : Terminal::Plain;
}

namespace {

void (*stopHandler)(int) = nullptr;

// The console's own events, not the C library's signals: those reset themselves to the default
// before a handler runs, so a second Ctrl+C would never reach it, and the default ends the
// program with status 3. Ctrl+C stops as SIGINT, Ctrl+Break as SIGBREAK; closing the console
// window as SIGTERM, and then this thread waits: Windows ends the program when the handler
// returns, or five seconds after the event, and the saves need that time to discard their
// temporary files (SetConsoleCtrlHandler, HandlerRoutine in Microsoft's console documentation).
// Shutting down stops the saves alike. A log-off is not taken for a request to stop: Microsoft's
// HandlerRoutine says CTRL_LOGOFF_EVENT "does not indicate which user is logging off" and is
// received only by services, an interactive program being ended with its own session before
// it is sent. It goes on to the handler Windows gives the process, which lets a program run as
// a service go on working when some user logs off.
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

// POSIX's number for SIGPIPE, which Windows does not have.
void endForClosedOutput()
{
    constexpr int BrokenPipeSignal = 13;
    restoreConsole();
    std::_Exit(128 + BrokenPipeSignal);
}

// Runs on the thread Windows starts for the console event, not in a signal handler: the console
// may be written to. The cursor's column says how much of its line to cover with blanks,
// whether or not the console takes escapes. TerminateProcess, not ExitProcess: the other
// threads may hold the C runtime's locks, which ExitProcess's clean-up would wait for.
void endAtOnce(int signal)
{
    consoleWriting.lock(); // never unlocked: the program ends
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (const SHORT column = cursorColumn(error); column > 0 && isConsole(error))
        writeConsole(error, L'\r' + std::wstring(size_t(column), L' ') + L'\r');
    restoreConsole();
    TerminateProcess(GetCurrentProcess(), UINT(128 + signal));
    std::_Exit(128 + signal);
}
