// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <thread>

// Brings what a file holds so far to disk on a thread of its own while more is written to it,
// so that the sync at the end waits only for what came after. Starting writeback alone does
// not do that: the disk's own cache is flushed only by a sync, and that flush is most of the
// wait. The system reports a failed write back to one sync only, so the error of a sync that
// failed here is kept for the end. The thread syncs a descriptor of its own: a save that is
// stopped or fails meanwhile leaves it to finish alone instead of waiting for the disk.
class EarlySync
{
public:
    EarlySync() = default;
    ~EarlySync();
    EarlySync(const EarlySync &) = delete;
    EarlySync &operator=(const EarlySync &) = delete;

    // Starts a sync of the file open at `fd` unless one still runs; false then, or where no
    // thread or descriptor is to be had.
    bool start(int fd);
    // Waits for a sync still running. The error number of the first that failed, or 0.
    int wait();

private:
    struct Shared
    {
        std::atomic<bool> running = false;
        std::atomic<int> error = 0;
    };

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::thread m_thread;
};

// Whether a sync of the file open at `fd` leaves it free to be written meanwhile: on ext2 to
// ext4 and XFS it does; btrfs holds the file's lock while it waits for the disk, so the saving
// thread's next write, and with it the window, would wait too.
bool syncLeavesWritingFree(int fd);
