// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/earlysync.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

EarlySync::~EarlySync()
{
    if (m_thread.joinable())
        m_thread.detach();
}

bool EarlySync::start(int fd)
{
    if (m_shared->running.load(std::memory_order_acquire))
        return false;
    if (m_thread.joinable())
        m_thread.join();
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return false;
    m_shared->running.store(true, std::memory_order_relaxed);
    try {
        m_thread = std::thread([shared = m_shared, own] {
            int result;
            do
                result = ::fdatasync(own);
            while (result != 0 && errno == EINTR);
            int none = 0;
            if (result != 0)
                shared->error.compare_exchange_strong(none, errno);
            ::close(own);
            shared->running.store(false, std::memory_order_release);
        });
    } catch (const std::exception &) { // no thread to be had
        ::close(own);
        m_shared->running.store(false, std::memory_order_relaxed);
        return false;
    }
    return true;
}

int EarlySync::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_shared->error.load();
}

bool syncLeavesWritingFree(int fd)
{
    struct statfs info{};
    return ::fstatfs(fd, &info) == 0
        && (info.f_type == EXT4_SUPER_MAGIC || info.f_type == XFS_SUPER_MAGIC);
}
