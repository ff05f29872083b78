// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers for the Windows side of the seam: errors, handles, native paths, and the few
// file calls whose rare failures a test must be able to bring about.

#include "platform/systemerror.h"

#include <QString>

#include <optional>
#include <string>
#include <utility>

#include <windows.h>

// The error with the system's words for it and its errno value, so that the messages choose
// their German text from one table on both systems. Sharing and lock violations are InUse.
SystemError systemError(DWORD error);
inline SystemError lastSystemError()
{
    return systemError(GetLastError());
}

// A path as the program carries it (names exact, as listed) for the system's calls: clean,
// absolute, with backslashes, and always in the "\\?\" form. Without it Windows takes a path
// the way a user types one: it trims trailing dots and spaces off names ("Liga." would open
// "Liga"), turns a last name such as "con" or "aux" into a device, and stops at 260
// characters. Behind the prefix names go to the file system exactly (Microsoft, "Naming Files,
// Paths, and Namespaces"), and nothing is cleaned: "." and ".." are cleaned out first, as
// Windows would clean them.
std::wstring nativePath(const QString &path);

// Which object an open handle is: the volume and the file's identifier, all 128 bits of it
// where the file system gives them. The 64-bit file index is not guaranteed unique on ReFS,
// whose identifiers have 128 bits (Microsoft, BY_HANDLE_FILE_INFORMATION); it serves only
// where FileIdInfo is not to be had. Nothing when neither can be read.
struct ObjectId
{
    quint64 volume = 0;
    quint64 low = 0;
    quint64 high = 0;
    friend bool operator==(const ObjectId &, const ObjectId &) = default;
};
std::optional<ObjectId> objectIdOf(HANDLE handle);

// A handle closed when it goes out of scope.
class Handle
{
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle &) = delete;
    Handle &operator=(Handle &&other) noexcept
    {
        reset(std::exchange(other.m_handle, INVALID_HANDLE_VALUE));
        return *this;
    }

    HANDLE get() const { return m_handle; }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (isOpen())
            CloseHandle(m_handle);
        m_handle = handle;
    }
    bool close() { return CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)); }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// The calls through which the save puts its file in place, syncs its folder, and the lists read
// a folder, and the open that asks whether WRITE_DAC is to be had. Their half-done and refused
// outcomes (ReplaceFileW's documented partial failures, a network share without WRITE_DAC)
// cannot be brought about on a local disk, so tests replace entries here; the program never
// does.
struct FileCalls
{
    decltype(&::CreateFileW) createFile = &::CreateFileW; // only where a right is probed
    decltype(&::ReplaceFileW) replaceFile = &::ReplaceFileW;
    decltype(&::MoveFileExW) moveFile = &::MoveFileExW;
    decltype(&::FlushFileBuffers) flushFolder = &::FlushFileBuffers;
    decltype(&::FindNextFileW) findNextFile = &::FindNextFileW;
};
FileCalls &fileCalls();
