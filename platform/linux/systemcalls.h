// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers for the Linux side of the seam.

#include "platform/filenames.h"
#include "platform/savefailure.h"

#include <QByteArray>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

// The error number alone, as the system gave it: no words are kept, since the C library's are
// English; the German reason is chosen by the number where the message is made.
SystemError makeSystemError(int number);
// The last call's errno, or EIO where a call failed without setting it.
inline SystemError lastSystemError()
{
    return makeSystemError(errno > 0 ? errno : EIO);
}

FileType fileTypeOf(mode_t mode);

// A descriptor closed when it goes out of scope.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};
