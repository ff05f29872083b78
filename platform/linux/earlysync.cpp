// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/earlysync.h"

#include <cerrno>
#include <system_error>
#include <unistd.h>

bool EarlySync::start(int fd)
{
    if (m_running.load(std::memory_order_acquire))
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_running.store(true, std::memory_order_relaxed);
    try {
        m_thread = std::thread([this, fd] {
            int result;
            do
                result = ::fdatasync(fd);
            while (result != 0 && errno == EINTR);
            if (result != 0 && m_error == 0)
                m_error = errno;
            m_running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error &) {
        m_running.store(false, std::memory_order_relaxed);
        return false;
    }
    return true;
}

int EarlySync::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_error;
}
