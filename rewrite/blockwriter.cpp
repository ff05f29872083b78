// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/blockwriter.h"

#include <algorithm>
#include <cstring>

BlockWriter::BlockWriter(ByteSink &sink, qsizetype blockSize)
    : m_sink(sink), m_blockSize(std::max<qsizetype>(blockSize, 1))
{
    useOwn();
}

void BlockWriter::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    char *into = room(bytes.size());
    std::memcpy(into, bytes.data(), size_t(bytes.size()));
    added(into + bytes.size());
}

// The block of its own is full: what it holds is written, and the block filled again from its
// start. Only a request larger than a block makes it grow, before anything lies in it.
void BlockWriter::makeRoom(qsizetype count)
{
    if (m_fill != m_own.constData())
        handOver();
    if (m_own.size() < count) {
        m_own.resize(std::max(count, m_blockSize));
        useOwn();
    }
}

// The block of its own, empty; made once it is first needed.
void BlockWriter::useOwn()
{
    if (m_own.isEmpty())
        m_own = QByteArray(m_blockSize, Qt::Uninitialized);
    m_fill = m_own.data();
    m_ownEnd = m_fill + m_own.size();
}

// After a failure the batch is dropped: nothing more reaches the sink.
bool BlockWriter::handOver()
{
    closeLentRun();
    if (!m_failed && !m_ranges.empty())
        m_failed = !m_sink.writeGathered(m_ranges.data(), qsizetype(m_ranges.size()));
    m_ranges.clear();
    m_rangesEnd = nullptr;
    useOwn();
    return !m_failed;
}
