#include "rewrite/linereader.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>

namespace {

// Position of the first `byte` in block[from, end), or end when there is none.
qsizetype findByte(const QByteArray &block, qsizetype from, qsizetype end, char byte)
{
    const char *data = block.constData();
    const void *hit = std::memchr(data + from, byte, static_cast<size_t>(end - from));
    return hit ? static_cast<const char *>(hit) - data : end;
}

} // namespace

LineReader::LineReader(QIODevice &device, qsizetype blockSize)
    : m_device(device), m_block(std::max<qsizetype>(blockSize, 1), Qt::Uninitialized)
{
}

std::optional<QByteArrayView> LineReader::next()
{
    skipLineFeedAfterCarriageReturn();
    bool spansBlocks = false;
    m_carry.clear();
    while (ensureData()) {
        const qsizetype start = m_pos;
        const qsizetype stop = findTerminator();
        const QByteArrayView piece(m_block.constData() + start, stop - start);
        if (stop == m_end) {
            m_carry.append(piece);
            m_pos = m_end;
            spansBlocks = true;
            continue;
        }
        m_lastEndedWithCr = m_block.at(stop) == '\r';
        m_pos = stop + 1;
        if (!spansBlocks)
            return piece;
        m_carry.append(piece);
        return QByteArrayView(m_carry);
    }
    if (m_failed || !spansBlocks)
        return std::nullopt;
    return QByteArrayView(m_carry);
}

void LineReader::skipLineFeedAfterCarriageReturn()
{
    if (m_lastEndedWithCr && ensureData() && m_block.at(m_pos) == '\n')
        ++m_pos;
    m_lastEndedWithCr = false;
}

bool LineReader::ensureData()
{
    if (m_pos < m_end)
        return true;
    if (m_atEnd)
        return false;
    const qint64 got = m_device.read(m_block.data(), m_block.size());
    m_pos = 0;
    m_end = std::max<qint64>(got, 0);
    m_nextCr = m_nextLf = -1;
    m_failed = got < 0;
    m_atEnd = got <= 0;
    return got > 0;
}

qsizetype LineReader::findTerminator()
{
    if (m_nextCr < m_pos)
        m_nextCr = findByte(m_block, m_pos, m_end, '\r');
    if (m_nextLf < m_pos)
        m_nextLf = findByte(m_block, m_pos, m_end, '\n');
    return std::min(m_nextCr, m_nextLf);
}
