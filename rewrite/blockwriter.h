#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Collects output bytes and writes them to a device in large blocks. A write that takes fewer
// bytes than offered (a full disk, a file size limit) is retried with the rest, so the system's
// own error text for the failure is what gets reported; the first failure sticks.
class BlockWriter
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;

    explicit BlockWriter(QIODevice &device, qsizetype blockSize = DefaultBlockSize);

    // Room for at least `count` more bytes after those pending. Fill it from its start, then
    // pass the end of what was filled to added(); the next flush writes it.
    char *room(qsizetype count)
    {
        if (m_storage.size() - m_used < count)
            grow(count);
        return m_storage.data() + m_used;
    }
    void added(const char *end) { m_used = end - m_storage.constData(); }

    qsizetype pending() const { return m_used; }

    // Writes the pending bytes once they make a block.
    bool flushIfFull() { return m_used < m_blockSize || flush(); }
    bool flush();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    void grow(qsizetype count);

    QIODevice &m_device;
    // Sized once and reused: bytes [0, m_used) are pending, the rest is room.
    QByteArray m_storage;
    qsizetype m_used = 0;
    qsizetype m_blockSize;
    QString m_error;
};
