// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora_consolecheck [--screen-has TEXT] [--interrupt-twice-after MS] PROGRAM ARGUMENTS...:
// runs the program in this console as cmd.exe would, the output code page at 850 as on a German
// Windows and escape sequences off, then says whether it left the code page and console mode as
// they were and no escape or piece of its progress bar on the screen, and whether the screen
// shows TEXT exactly. With --interrupt-twice-after, Ctrl+C is pressed twice, MS milliseconds
// after the start, as a user does who means it; the program must then end with 130. Exit
// status 0 when all is so.
#include <cstdio>
#include <cwchar>
#include <string>
#include <windows.h>

namespace {

// This program stays to look at the console afterwards.
BOOL WINAPI ignoreCtrlC(DWORD event)
{
    return event == CTRL_C_EVENT;
}

std::wstring screenText(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring screen(size_t(info.dwSize.X) * size_t(info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, screen.data(), DWORD(screen.size()), {0, 0}, &read);
    return screen;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    std::wstring expected;
    DWORD interruptAfterMs = 0;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == L'-'; first += 2) {
        if (std::wcscmp(argv[first], L"--screen-has") == 0)
            expected = argv[first + 1];
        else
            interruptAfterMs = DWORD(std::wcstoul(argv[first + 1], nullptr, 10));
    }
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD before = 0;
    if (first >= argc || !GetConsoleMode(console, &before) || !SetConsoleOutputCP(850)
        || !SetConsoleMode(console, before &= ~ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return 2;
    std::wstring command;
    for (int i = first; i < argc; ++i)
        command += L'"' + std::wstring(argv[i]) + L"\" ";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child))
        return 2;
    if (interruptAfterMs > 0) {
        SetConsoleCtrlHandler(ignoreCtrlC, TRUE);
        Sleep(interruptAfterMs);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    DWORD after = 0;
    GetConsoleMode(console, &after);
    const std::wstring screen = screenText(console);
    const bool left = screen.find(L"[K") != screen.npos || screen.find(L"Dateien") != screen.npos;
    const bool shown = screen.find(expected) != screen.npos;
    std::printf("\ncode page %u, mode %lx (was %lx), escapes or bar left %d, text shown %d, "
                "exit status %lu\n",
                GetConsoleOutputCP(), after, before, left, shown, status);
    return GetConsoleOutputCP() == 850 && after == before && !left && shown
            && (interruptAfterMs == 0 || status == 130)
        ? 0
        : 1;
}
