#include "rewrite/blockwriter.h"

#include "rewrite/bytestreams.h"

#include <cstring>

namespace {

// Room beyond a block, so that the lines which fill it need no growing.
constexpr qsizetype Slack = 64 * 1024;

} // namespace

BlockWriter::BlockWriter(ByteSink &sink, qsizetype blockSize)
    : m_sink(sink), m_storage(blockSize + Slack, Qt::Uninitialized), m_blockSize(blockSize)
{
}

// Only a line longer than the slack gets here; the storage keeps its size afterwards.
void BlockWriter::grow(qsizetype count)
{
    m_storage.resize(m_used + count);
}

bool BlockWriter::append(QByteArrayView bytes)
{
    if (bytes.size() >= m_blockSize) {
        if (!flush())
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
    if (!m_failed && m_used > 0)
        m_failed = !m_sink.write(m_storage.constData(), m_used);
    m_used = 0;
    return !m_failed;
}
