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

    // Bytes appended here are written by the next flush.
    QByteArray &buffer() { return m_buffer; }

    // Writes the buffer once it holds a block's worth.
    bool flushIfFull();
    bool flush();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_blockSize;
    QString m_error;
};
