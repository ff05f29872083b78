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
            const qsizetype start = m_pos;
            m_pos = m_end;
            return piece(start, m_end, true);
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
    if (m_data[m_pos] == '\n') {
        ++m_pos;
        rescanWord();
    }
    return true;
}

// Reads a block behind the bytes buffered, into the other buffer once this one is full (taking
// along what is left of this one, at most the short start of a line). False at the end of input
// or after a read error.
bool LineReader::readMore()
{
    if (m_atEnd)
        return false;
    if (m_data == nullptr || m_end + m_blockSize > ReadsPerBuffer * m_blockSize + HeadSize)
        useOtherBuffer();
    const qint64 got = m_source.read(m_data + m_end, m_blockSize);
    m_failed = got < 0;
    m_atEnd = got <= 0;
    if (!m_atEnd)
        m_end += got;
    // A scan looks at whole words: the bytes behind those read count as no line end, and the
    // word being looked at is looked at again with the bytes added to it.
    std::memset(m_data + m_end, 0, WordSize);
    rescanWord();
    return !m_atEnd;
}

// The line ends of the word being looked at, from m_pos on, once bytes were read into it or
// an LF passed.
void LineReader::rescanWord()
{
    if (m_scan >= 0)
        m_ends = m_pos - m_scan < WordSize ? wordEnds(m_scan, m_pos) : 0;
}

void LineReader::useOtherBuffer()
{
    if (m_beforeRead)
        m_beforeRead();
    const qsizetype kept = m_end - m_pos;
    QByteArray &next = m_buffers[1 - m_current];
    if (next.isEmpty())
        next = QByteArray(ReadsPerBuffer * m_blockSize + HeadSize + WordSize, Qt::Uninitialized);
    if (kept > 0)
        std::memcpy(next.data(), m_data + m_pos, size_t(kept));
    m_current = 1 - m_current;
    m_data = next.data();
    m_pos = 0;
    m_end = kept;
    m_scan = -WordSize;
    m_ends = 0;
}
