// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/blockwriter.h"

#include "platform/bytestreams.h"

#include <cstring>
#include <system_error>

namespace {

// Room beyond a block, so that the lines which fill it need no growing.
constexpr qsizetype Slack = 64 * 1024;

} // namespace

BlockWriter::BlockWriter(ByteSink &sink, qsizetype blockSize, Mode mode)
    : m_sink(sink),
      m_storage(blockSize + Slack, Qt::Uninitialized),
      m_blockSize(blockSize),
      m_mode(mode)
{
}

BlockWriter::~BlockWriter()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

// Only a line longer than the slack gets here; the storage keeps its size afterwards.
void BlockWriter::grow(qsizetype count)
{
    m_storage.resize(m_used + count);
}

bool BlockWriter::append(QByteArrayView bytes)
{
    if (bytes.size() >= m_blockSize) {
        if (!flush() || !waitUntilWritten())
            return false;
        m_failed = !m_sink.write(bytes.data(), bytes.size());
        return !m_failed;
    }
    if (!bytes.isEmpty())
        std::memcpy(room(bytes.size()), bytes.data(), size_t(bytes.size()));
    m_used += bytes.size();
    return flushIfFull();
}

bool BlockWriter::flush()
{
    if (m_failed || m_used == 0)
        return !m_failed;
    return m_mode == Mode::Background ? writeInBackground() : writePendingHere();
}

// The last block is written here: there is nothing left to overlap it with.
bool BlockWriter::finish()
{
    return waitUntilWritten() && writePendingHere();
}

bool BlockWriter::writePendingHere()
{
    if (m_used > 0)
        m_failed = !m_sink.write(m_storage.constData(), m_used);
    m_used = 0;
    return !m_failed;
}

// Once the block before is written, the pending one goes to the thread and the storage it
// was written from takes the next one.
bool BlockWriter::writeInBackground()
{
    if (!waitUntilWritten())
        return false;
    if (m_written.size() != m_storage.size())
        m_written.resize(m_storage.size());
    m_storage.swap(m_written);
    {
        const std::lock_guard lock(m_mutex);
        m_writtenSize = m_used;
        m_writing = true;
    }
    m_used = 0;
    if (!m_thread.joinable() && !startThread()) {
        // Without a thread of its own (a process limit reached), the block is written here.
        m_mode = Mode::Inline;
        m_writing = false;
        m_failed = !m_sink.write(m_written.constData(), m_writtenSize);
        return !m_failed;
    }
    m_changed.notify_all();
    return true;
}

bool BlockWriter::startThread()
{
    try {
        m_thread = std::thread([this] { writeBlocks(); });
        return true;
    } catch (const std::system_error &) {
        return false;
    }
}

bool BlockWriter::waitUntilWritten()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_writing; });
    m_failed = m_failed || m_backgroundFailed;
    return !m_failed;
}

void BlockWriter::writeBlocks()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_writing || m_ending; });
        if (!m_writing)
            return;
        lock.unlock();
        const bool written = m_sink.write(m_written.constData(), m_writtenSize);
        lock.lock();
        m_backgroundFailed = m_backgroundFailed || !written;
        m_writing = false;
        m_changed.notify_all();
    }
}
