// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora_consolecheck PROGRAM ARGUMENTS...: runs the program in this console as cmd.exe runs
// it, the console's output code page at 850 as on a German Windows and without escape sequences
// switched on, then says what the program left: the code page and the console mode as they
// were, and no escape sequence or piece of a progress bar on the screen. Exit status 0 when so.
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

std::wstring screenText(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring text(size_t(info.dwSize.X) * size_t(info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, text.data(), DWORD(text.size()), COORD{0, 0}, &read);
    return text;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD modeBefore = 0;
    if (argc < 2 || !GetConsoleMode(console, &modeBefore) || !SetConsoleOutputCP(850)
        || !SetConsoleMode(console, modeBefore & ~ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return 2;
    GetConsoleMode(console, &modeBefore);
    std::wstring command;
    for (int i = 1; i < argc; ++i)
        command += (i > 1 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD modeAfter = 0;
    GetConsoleMode(console, &modeAfter);
    const UINT codePage = GetConsoleOutputCP();
    const std::wstring screen = screenText(console);
    const bool escapes = screen.find(L"[K") != std::wstring::npos
        || screen.find(L'\x1b') != std::wstring::npos || screen.find(L'\x2190') != std::wstring::npos;
    const bool bar = screen.find(L"Dateien") != std::wstring::npos;
    std::fprintf(stdout, "\ncode page 850, after %u; mode %lx, after %lx; escapes shown %d; bar left %d\n",
                 codePage, modeBefore, modeAfter, escapes, bar);
    return codePage == 850 && modeAfter == modeBefore && !escapes && !bar ? 0 : 1;
}
