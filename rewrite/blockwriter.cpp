#include "rewrite/blockwriter.h"

#include <QIODevice>

using namespace Qt::StringLiterals;

BlockWriter::BlockWriter(QIODevice &device, qsizetype blockSize)
    : m_device(device), m_blockSize(blockSize)
{
    m_buffer.reserve(blockSize + 4096);
}

bool BlockWriter::flushIfFull()
{
    return m_buffer.size() < m_blockSize || flush();
}

bool BlockWriter::flush()
{
    qsizetype done = 0;
    while (!failed() && done < m_buffer.size()) {
        const qint64 written = m_device.write(m_buffer.constData() + done, m_buffer.size() - done);
        if (written > 0) {
            done += written;
            continue;
        }
        m_error = m_device.errorString();
        if (m_error.isEmpty() || m_error == "Unknown error"_L1)
            m_error = u"Es konnten nicht alle Daten geschrieben werden."_s;
    }
    // resize(0), not clear(): clear() frees the block, and growing a new one for every block
    // costs more than the rewrite itself.
    m_buffer.resize(0);
    return !failed();
}
