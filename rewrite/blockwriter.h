// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <condition_variable>
#include <mutex>
#include <thread>

class ByteSink;

// Collects output bytes and hands them to a sink in large blocks; the first failure sticks.
// In the background mode a full block is written by a thread of its own while the next one
// fills, so that the system's copying and the rewriting run on two cores; a failure then shows
// at the next flush or at finish(). A piece of a block or more (a long line, or a long run of
// unchanged lines) goes to the sink directly instead, and the last block is written by
// finish() itself: there is nothing left to overlap them with.
class BlockWriter
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;
    enum class Mode { Inline, Background };

    explicit BlockWriter(ByteSink &sink, qsizetype blockSize = DefaultBlockSize,
                         Mode mode = Mode::Inline);
    ~BlockWriter(); // waits for a block still being written
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Room for at least `count` more bytes after those pending. Fill it from its start, then
    // pass the end of what was filled to added(); the next flush writes it.
    char *room(qsizetype count)
    {
        if (m_storage.size() - m_used < count)
            grow(count);
        return m_storage.data() + m_used;
    }
    void added(const char *end) { m_used = end - m_storage.constData(); }

    // Bytes of any amount: a large piece goes to the sink directly instead of through a copy.
    bool append(QByteArrayView bytes);

    qsizetype pending() const { return m_used; }

    // Hands the pending bytes on once they make a block.
    bool flushIfFull() { return m_used < m_blockSize ? !m_failed : flush(); }
    bool flush();
    // Hands on what is pending and waits until all of it has been written.
    bool finish();

    bool failed() const { return m_failed; }

private:
    void grow(qsizetype count);
    bool writePendingHere();
    bool writeInBackground();
    bool startThread();
    bool waitUntilWritten();
    void writeBlocks();

    ByteSink &m_sink;
    // Sized once and reused: bytes [0, m_used) are pending, the rest is room.
    QByteArray m_storage;
    qsizetype m_used = 0;
    qsizetype m_blockSize;
    Mode m_mode;
    bool m_failed = false;

    // The background mode: the block being written, swapped with m_storage at each flush.
    QByteArray m_written;
    qsizetype m_writtenSize = 0;
    bool m_writing = false;
    bool m_backgroundFailed = false;
    bool m_ending = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread; // started with the first block
};
