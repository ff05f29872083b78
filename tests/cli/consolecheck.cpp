// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora_consolecheck PROGRAM ARGUMENTS...: runs the program in this console as cmd.exe would,
// the output code page at 850 as on a German Windows and escape sequences off, then says whether
// it left the code page and console mode as they were and no escape or piece of its progress bar
// on the screen, and whether the screen shows the text in KELVORA_SCREEN_HAS exactly. With
// KELVORA_INTERRUPT_MS set, Ctrl+C is pressed twice that many milliseconds after the start, as a
// user does who means it; the program must then end with 130. Exit status 0 when all is so.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <windows.h>

int wmain(int argc, wchar_t *argv[])
{
    const wchar_t *expected = _wgetenv(L"KELVORA_SCREEN_HAS");
    const wchar_t *interrupt = _wgetenv(L"KELVORA_INTERRUPT_MS");
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
    if (interrupt) {
        SetConsoleCtrlHandler(nullptr, TRUE); // this program stays to look at the console
        Sleep(std::wcstoul(interrupt, nullptr, 10));
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD after = 0;
    DWORD status = 0;
    GetConsoleMode(console, &after);
    GetExitCodeProcess(child.hProcess, &status);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring screen(size_t(info.dwSize.X) * size_t(info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, screen.data(), DWORD(screen.size()), {0, 0}, &read);
    // The bar ends in its megabytes; the closing line counts files too, and may stay.
    const size_t leftAt = std::min(screen.find(L"[K"), screen.find(L" MB"));
    const bool left = leftAt != screen.npos;
    const bool shown = !expected || screen.find(expected) != screen.npos;
    std::printf("\ncode page %u, mode %lx (was %lx), escapes or bar left %d, text shown %d, "
                "exit status %lu\n",
                GetConsoleOutputCP(), after, before, left, shown, status);
    if (left) // the row it was left in
        std::printf("%ls\n", screen.substr(leftAt - leftAt % info.dwSize.X, info.dwSize.X).c_str());
    return GetConsoleOutputCP() == 850 && after == before && !left && shown
            && (!interrupt || status == 130)
        ? 0
        : 1;
}
