#include "rewrite/blockwriter.h"

#include <QIODevice>

using namespace Qt::StringLiterals;

namespace {

// Room beyond a block, so that the lines which fill it need no growing.
constexpr qsizetype Slack = 64 * 1024;

} // namespace

BlockWriter::BlockWriter(QIODevice &device, qsizetype blockSize)
    : m_device(device), m_storage(blockSize + Slack, Qt::Uninitialized), m_blockSize(blockSize)
{
}

// Only a line longer than the slack gets here; the storage keeps its size afterwards.
void BlockWriter::grow(qsizetype count)
{
    m_storage.resize(m_used + count);
}

bool BlockWriter::flush()
{
    qsizetype done = 0;
    while (!failed() && done < m_used) {
        const qint64 written = m_device.write(m_storage.constData() + done, m_used - done);
        if (written > 0) {
            done += written;
            continue;
        }
        m_error = m_device.errorString();
        if (m_error.isEmpty() || m_error == "Unknown error"_L1)
            m_error = u"Es konnten nicht alle Daten geschrieben werden."_s;
    }
    m_used = 0;
    return !failed();
}
