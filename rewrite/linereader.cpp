#include "rewrite/linereader.h"

#include "rewrite/bytestreams.h"
#include "rewrite/lineend.h"

#include <algorithm>
#include <cstring>

LineReader::LineReader(ByteSource &source, qsizetype blockSize)
    : m_source(source),
      m_blockSize(std::max<qsizetype>(blockSize, 1)),
      m_buffer(m_blockSize + HeadSize, Qt::Uninitialized)
{
}

inline LinePiece LineReader::piece(qsizetype start, qsizetype stop, bool endsLine)
{
    const char *data = m_buffer.constData();
    const LinePiece result{QByteArrayView(data + start, data + stop), m_atLineStart, endsLine};
    m_atLineStart = endsLine;
    return result;
}

// A CR LF pair is one terminator. When the CR is the last byte read so far, the LF is looked
// for at the next call, so no read is made before the line is handed out.
inline void LineReader::passTerminator(qsizetype stop)
{
    const char *data = m_buffer.constData();
    m_pos = stop + 1;
    if (data[stop] != '\r')
        return;
    if (m_pos == m_end)
        m_lastEndedWithCr = true;
    else if (data[m_pos] == '\n')
        ++m_pos;
}

std::optional<LinePiece> LineReader::next()
{
    if (m_lastEndedWithCr && !skipLineFeedAfterCarriageReturn())
        return std::nullopt;
    const char *data = m_buffer.constData();
    const char *stop = findLineEnd(data + m_pos, data + m_end);
    if (stop == data + m_end)
        return nextWithoutTerminator();
    const qsizetype start = m_pos;
    passTerminator(stop - data);
    return piece(start, stop - data, true);
}

// No terminator lies in what is buffered: hand that out as a piece of its line, unless it is a
// line's start too short to judge the line by, which waits for more bytes.
std::optional<LinePiece> LineReader::nextWithoutTerminator()
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
        const char *data = m_buffer.constData();
        const char *stop = findLineEnd(data + m_pos, data + m_end);
        if (stop != data + m_end) {
            const qsizetype start = m_pos;
            passTerminator(stop - data);
            return piece(start, stop - data, true);
        }
    }
}

// Only after a line whose CR was the last byte read. False after a read error.
bool LineReader::skipLineFeedAfterCarriageReturn()
{
    m_lastEndedWithCr = false;
    if (m_pos == m_end && !readMore())
        return !m_failed;
    if (m_buffer.at(m_pos) == '\n')
        ++m_pos;
    return true;
}

// Moves what is left (at most the short start of a line) to the front and reads a block
// behind it. False at the end of input or after a read error.
bool LineReader::readMore()
{
    char *data = m_buffer.data();
    const qsizetype kept = m_end - m_pos;
    std::memmove(data, data + m_pos, size_t(kept));
    m_pos = 0;
    m_end = kept;
    if (m_atEnd)
        return false;
    const qint64 got = m_source.read(data + kept, m_blockSize);
    m_failed = got < 0;
    m_atEnd = got <= 0;
    if (m_atEnd)
        return false;
    m_end += got;
    return true;
}
