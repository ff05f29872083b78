#include "rewrite/linereader.h"

#include "rewrite/lineend.h"

#include <QIODevice>
#include <algorithm>

LineReader::LineReader(QIODevice &device, qsizetype blockSize)
    : m_device(device), m_block(std::max<qsizetype>(blockSize, 1), Qt::Uninitialized)
{
}

// A CR LF pair is one terminator. When the CR is the block's last byte, the LF is looked for
// at the next call, so no read is made before the line is handed out.
inline void LineReader::passTerminator(qsizetype stop)
{
    const char *data = m_block.constData();
    m_pos = stop + 1;
    if (data[stop] != '\r')
        return;
    if (m_pos == m_end)
        m_lastEndedWithCr = true;
    else if (data[m_pos] == '\n')
        ++m_pos;
}

std::optional<QByteArrayView> LineReader::next()
{
    if (m_lastEndedWithCr)
        skipLineFeedAfterCarriageReturn();
    // Nearly every line ends inside the current block: hand out a view into it.
    const char *data = m_block.constData();
    const char *start = data + m_pos;
    const char *stop = findLineEnd(start, data + m_end);
    if (stop != data + m_end) {
        passTerminator(stop - data);
        return QByteArrayView(start, stop);
    }
    return nextAcrossBlocks();
}

// The line starting at m_pos runs to the end of the block (or there is no block yet): collect
// it in m_carry, reading blocks until its terminator or the end of input.
std::optional<QByteArrayView> LineReader::nextAcrossBlocks()
{
    bool spansBlocks = false;
    m_carry.clear(); // frees what a long line took; this path runs about once per block
    while (ensureData()) {
        const char *data = m_block.constData();
        const char *start = data + m_pos;
        const char *stop = findLineEnd(start, data + m_end);
        const QByteArrayView piece(start, stop);
        if (stop == data + m_end) {
            m_carry.append(piece);
            m_pos = m_end;
            spansBlocks = true;
            continue;
        }
        passTerminator(stop - data);
        if (!spansBlocks)
            return piece;
        m_carry.append(piece);
        return QByteArrayView(m_carry);
    }
    if (m_failed || !spansBlocks)
        return std::nullopt;
    return QByteArrayView(m_carry);
}

// Only after a line whose CR was the last byte of its block.
void LineReader::skipLineFeedAfterCarriageReturn()
{
    m_lastEndedWithCr = false;
    if (ensureData() && m_block.at(m_pos) == '\n')
        ++m_pos;
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
    m_failed = got < 0;
    m_atEnd = got <= 0;
    return got > 0;
}
