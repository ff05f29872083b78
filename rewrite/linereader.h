#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

class ByteSource;

// Part of a line, or all of it, straight from the reader's buffer.
struct LinePiece
{
    QByteArrayView bytes;
    bool startsLine = true;
    bool endsLine = true;
};

// Splits a byte stream into lines, read in blocks and handed out in pieces, so that a line of
// any length passes in bounded memory. A line ends at CR, at LF, or at a CR LF pair (one
// terminator); the terminator is not part of the line. The last line may end at the end of
// input, and input that ends with a terminator yields no extra empty line. Every other byte,
// NUL and 0x80-0xFF included, belongs to its line unchanged.
//
// Nearly every line comes whole, as one piece that starts and ends it. A longer one comes as a
// first piece, middle pieces and a last piece, which may be empty (a line running to the end
// of input). A line's first piece holds at least its first HeadSize bytes, or the whole line
// when it is shorter: all that the rewrite rule looks at or keeps.
class LineReader
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;
    static constexpr qsizetype HeadSize = 12;

    // Reads `blockSize` bytes at a time; a source may hand over fewer.
    explicit LineReader(ByteSource &source, qsizetype blockSize = DefaultBlockSize);

    // The next piece, or nothing at the end of input or after a read error. The view stays
    // valid until the next call.
    std::optional<LinePiece> next();

    bool failed() const { return m_failed; }

private:
    std::optional<LinePiece> nextWithoutTerminator();
    LinePiece piece(qsizetype start, qsizetype stop, bool endsLine);
    void passTerminator(qsizetype stop);
    bool skipLineFeedAfterCarriageReturn();
    bool readMore();

    ByteSource &m_source;
    qsizetype m_blockSize;
    QByteArray m_buffer; // a block, and room for the head of a line carried over
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_atLineStart = true;
    // The last line ended with the buffer's last byte, a CR: an LF read next belongs to its
    // terminator.
    bool m_lastEndedWithCr = false;
    bool m_atEnd = false;
    bool m_failed = false;
};
