// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/paths.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// What the chosen file carries now, read beside the window: the ratings its start and maximum
// lines hold and how many there are, as words for the file list and, shorter, for a line of the
// window (savemessages.h). The reading
// is the save's own (regular files only, the same checks and waits), on a thread of its own
// started at the first look, so the window never waits for a disk. It stops after 32 MiB or a
// second, whichever comes first, and then says how far it came. A newer look stops an older reading; so does
// the end of the window, which waits only for the reading's next progress report (every 64 KiB
// of work). Where the system grants no thread, nothing is looked at.
class FileGlance : public QObject
{
    Q_OBJECT

public:
    explicit FileGlance(QObject *parent = nullptr);
    ~FileGlance() override;

    void look(const FolderAndName &file);

Q_SIGNALS:
    // On the window's thread, for the file looked at last only.
    void seen(const QString &folder, const QString &name, const QString &text,
              const QString &line);

private:
    struct Look
    {
        FolderAndName file;
        quint64 number;
    };

    void work();
    std::optional<Look> nextLook();
    void read(const Look &look);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Look> m_pending;    // under m_mutex
    std::atomic<quint64> m_latest{0}; // the number of the last look
    std::atomic<bool> m_ending{false};
    std::thread m_thread;
};
