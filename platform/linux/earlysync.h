// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <thread>

// Brings what a file holds so far to disk on a thread of its own while more is written to it,
// so that the sync at the end waits only for what came after. Starting writeback alone does
// not do that: the disk's own cache is flushed only by a sync, and that flush is most of the
// wait. The system reports a failed write back to one sync only, so the error of a sync that
// failed here is kept for the end.
class EarlySync
{
public:
    EarlySync() = default;
    ~EarlySync() { wait(); }
    EarlySync(const EarlySync &) = delete;
    EarlySync &operator=(const EarlySync &) = delete;

    // Starts a sync of `fd` unless one still runs; false then, or where no thread is to be had.
    // The descriptor stays open until wait() has returned.
    bool start(int fd);
    // Waits for a sync still running. The error number of the first that failed, or 0.
    int wait();

private:
    std::thread m_thread;
    std::atomic<bool> m_running = false;
    int m_error = 0; // written by the thread, read once it has ended
};
