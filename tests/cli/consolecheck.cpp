// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora_consolecheck PROGRAM ARGUMENTS...: runs the program in this console as cmd.exe would,
// the output code page at 850 as on a German Windows and escape sequences off, then says whether
// it left the code page and console mode as they were and no escape or piece of its progress bar
// on the screen. Exit status 0 when so.
#include <cstdio>
#include <string>
#include <windows.h>

int wmain(int argc, wchar_t *argv[])
{
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD before = 0;
    if (argc < 2 || !GetConsoleMode(console, &before) || !SetConsoleOutputCP(850)
        || !SetConsoleMode(console, before &= ~ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return 2;
    std::wstring command;
    for (int i = 1; i < argc; ++i)
        command += L'"' + std::wstring(argv[i]) + L"\" ";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child))
        return 2;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD after = 0;
    GetConsoleMode(console, &after);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring screen(size_t(info.dwSize.X) * size_t(info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, screen.data(), DWORD(screen.size()), {0, 0}, &read);
    const bool left = screen.find(L"[K") != screen.npos || screen.find(L"Dateien") != screen.npos;
    std::printf("\ncode page %u, mode %lx (was %lx), escapes or bar left %d\n",
                GetConsoleOutputCP(), after, before, left);
    return GetConsoleOutputCP() == 850 && after == before && !left ? 0 : 1;
}
