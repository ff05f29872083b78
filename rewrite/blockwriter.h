#pragma once

#include <QByteArray>
#include <QByteArrayView>

class ByteSink;

// Collects output bytes and hands them to a sink in large blocks; the first failure sticks.
class BlockWriter
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;

    explicit BlockWriter(ByteSink &sink, qsizetype blockSize = DefaultBlockSize);

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

    // Writes the pending bytes once they make a block.
    bool flushIfFull() { return m_used < m_blockSize ? !m_failed : flush(); }
    bool flush();

    bool failed() const { return m_failed; }

private:
    void grow(qsizetype count);

    ByteSink &m_sink;
    // Sized once and reused: bytes [0, m_used) are pending, the rest is room.
    QByteArray m_storage;
    qsizetype m_used = 0;
    qsizetype m_blockSize;
    bool m_failed = false;
};
