// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora_holdfile PATH MILLISECONDS: holds the file open as a scanner or an indexer might, with
// share mode 0, so that no other program may open it meanwhile; says "held" once it does.
#include <cstdio>
#include <cwchar>
#include <windows.h>

int wmain(int argc, wchar_t *argv[])
{
    if (argc != 3)
        return 2;
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(DWORD(std::wcstoul(argv[2], nullptr, 10)));
    CloseHandle(file);
    return 0;
}
