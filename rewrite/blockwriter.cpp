// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/blockwriter.h"

#include <algorithm>
#include <cstring>
#include <system_error>

BlockWriter::BlockWriter(ByteSink &sink, qsizetype blockSize, Mode mode)
    : m_sink(sink), m_blockSize(std::max<qsizetype>(blockSize, 1)), m_mode(mode)
{
    useOwn(m_own);
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

void BlockWriter::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    char *into = room(bytes.size());
    std::memcpy(into, bytes.data(), size_t(bytes.size()));
    added(into + bytes.size());
}

// The block of its own is full: it goes with its batch, and the next batch takes the other
// block. Only a request larger than a block makes one grow, before anything lies in it.
void BlockWriter::makeRoom(qsizetype count)
{
    if (m_fill != m_own.constData())
        handOver();
    if (m_own.size() < count) {
        m_own.resize(std::max(count, m_blockSize));
        useOwn(m_own);
    }
}

// Makes `own`, swapped in or grown, the block of the batch being gathered, an empty one. The
// second block is made once a second batch needs it.
void BlockWriter::useOwn(QByteArray &own)
{
    if (own.isEmpty())
        own = QByteArray(m_blockSize, Qt::Uninitialized);
    m_fill = own.data();
    m_ownEnd = m_fill + own.size();
}

bool BlockWriter::handOver()
{
    closeLentRun();
    return m_mode == Mode::Background ? writeInBackground() : writeHere();
}

// The last batch is written here: there is nothing left to overlap it with.
bool BlockWriter::finish()
{
    closeLentRun();
    return waitUntilWritten() && writeHere();
}

// After a failure the batch is dropped: nothing more reaches the sink.
bool BlockWriter::writeHere()
{
    if (!m_failed && !m_ranges.empty())
        m_failed = !m_sink.writeGathered(m_ranges.data(), qsizetype(m_ranges.size()));
    m_ranges.clear();
    m_rangesEnd = nullptr;
    useOwn(m_own);
    return !m_failed;
}

// Once the batch before is written, the gathered one goes to the thread, and the block the
// written one kept its bytes in takes those of the next.
bool BlockWriter::writeInBackground()
{
    if (!waitUntilWritten() || m_ranges.empty())
        return writeHere();
    m_ranges.swap(m_written.ranges);
    m_own.swap(m_written.own);
    {
        const std::lock_guard lock(m_mutex);
        m_writing = true;
    }
    m_ranges.clear();
    m_rangesEnd = nullptr;
    useOwn(m_own);
    if (!m_thread.joinable() && !startThread()) {
        // Without a thread of its own (a process limit reached), the batch is written here.
        m_mode = Mode::Inline;
        m_writing = false;
        m_failed = !m_sink.writeGathered(m_written.ranges.data(),
                                         qsizetype(m_written.ranges.size()));
        return !m_failed;
    }
    m_changed.notify_all();
    return true;
}

bool BlockWriter::startThread()
{
    try {
        m_thread = std::thread([this] { writeBatches(); });
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

void BlockWriter::writeBatches()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_writing || m_ending; });
        if (!m_writing)
            return;
        lock.unlock();
        const bool written = m_sink.writeGathered(m_written.ranges.data(),
                                                  qsizetype(m_written.ranges.size()));
        lock.lock();
        m_backgroundFailed = m_backgroundFailed || !written;
        m_writing = false;
        m_changed.notify_all();
    }
}
