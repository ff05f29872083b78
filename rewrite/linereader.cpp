// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/linereader.h"

#include "platform/bytestreams.h"

#include <algorithm>
#include <cstring>

LineReader::LineReader(ByteSource &source, qsizetype blockSize)
    : m_source(source),
      m_blockSize(std::max<qsizetype>(blockSize, 1)),
      m_scan(-WordSize)
{
}

inline LinePiece LineReader::piece(qsizetype start, qsizetype stop, bool endsLine)
{
    const char *data = m_data;
    const LinePiece result{QByteArrayView(data + start, data + stop), m_atLineStart, endsLine, 0};
    m_atLineStart = endsLine;
    return result;
}

std::optional<LinePiece> LineReader::nextSlowly()
{
    if (m_lastEndedWithCr && !skipLineFeedAfterCarriageReturn())
        return std::nullopt;
    if (scanForLineEnd())
        return pieceToLineEnd(m_scan + std::countr_zero(m_ends));
    return nextWithoutLineEnd();
}

// Looks at the buffered bytes past the current word, a word at a time, until one holds a line
// end.
bool LineReader::scanForLineEnd()
{
    while (m_ends == 0) {
        if (m_scan + WordSize >= m_end)
            return false;
        scanNextWord();
    }
    return true;
}

// No line end lies in what is buffered: hand that out as a piece of its line, unless it is a
// line's start too short to judge the line by, which waits for more bytes.
std::optional<LinePiece> LineReader::nextWithoutLineEnd()
{
    for (;;) {
        const qsizetype available = m_end - m_pos;
        if (available > 0 && !(m_atLineStart && available < HeadSize)) {
            const qsizetype start = m_pos;
            m_pos = m_end;
            return piece(start, m_end, false);
        }
        if (!readMore()) {
            if (m_failed || (available == 0 && m_atLineStart))
                return std::nullopt;
            // The last line ran to the end of input: its rest, perhaps nothing, ends it.
            m_pos = m_end;
            return piece(0, m_end, true);
        }
        if (scanForLineEnd())
            return pieceToLineEnd(m_scan + std::countr_zero(m_ends));
    }
}

// Only after a line whose CR was the last byte read. False after a read error.
bool LineReader::skipLineFeedAfterCarriageReturn()
{
    m_lastEndedWithCr = false;
    if (m_pos == m_end && !readMore())
        return !m_failed;
    if (m_data[m_pos] == '\n')
        ++m_pos;
    return true;
}

// Reads a block into the buffer, behind what is left of it (at most the short start of a line),
// moved to its start. False at the end of input or after a read error.
bool LineReader::readMore()
{
    if (m_beforeRead)
        m_beforeRead();
    const qsizetype kept = m_end - m_pos;
    if (m_buffer.isEmpty())
        m_buffer = QByteArray(m_blockSize + HeadSize + WordSize, Qt::Uninitialized);
    char *data = m_buffer.data();
    if (kept > 0)
        std::memmove(data, m_data + m_pos, size_t(kept));
    m_data = data;
    m_pos = 0;
    m_end = kept;
    m_scan = -WordSize;
    m_ends = 0;
    if (!m_atEnd) {
        const qint64 got = m_source.read(data + kept, m_blockSize);
        m_failed = got < 0;
        m_atEnd = got <= 0;
        if (!m_atEnd)
            m_end += got;
    }
    // A scan looks at whole words: the bytes behind those read count as no line end.
    std::memset(data + m_end, 0, WordSize);
    return !m_atEnd;
}
