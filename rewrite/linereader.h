// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/lineend.h"

#include <QByteArray>
#include <QByteArrayView>

#include <bit>
#include <functional>
#include <optional>

class ByteSource;

// Part of a line, or all of it, straight from the reader's buffer.
struct LinePiece
{
    QByteArrayView bytes;
    bool startsLine = true;
    bool endsLine = true;
    // The bytes that ended it: 2 for CR LF, right behind `bytes` in the buffer; 1 for CR or
    // LF; 0 for the end of input or no end yet.
    qint8 terminatorSize = 0;
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

    // Runs just before the reader reads into its buffer again, which ends the life of every
    // view it has handed out; until then they all stay valid.
    void setBeforeRead(std::function<void()> beforeRead) { m_beforeRead = std::move(beforeRead); }

    // The next piece, or nothing at the end of input or after a read error.
    std::optional<LinePiece> next()
    {
        // The common case inline: another line end among the bytes buffered.
        if (!m_lastEndedWithCr) {
            while (m_ends == 0 && m_scan + WordSize < m_end)
                scanNextWord();
            if (m_ends != 0)
                return pieceToLineEnd(m_scan + std::countr_zero(m_ends));
        }
        return nextSlowly();
    }

    bool failed() const { return m_failed; }

private:
    // The line, or its last piece, from m_pos to the terminator at `stop`, which is passed.
    LinePiece pieceToLineEnd(qsizetype stop)
    {
        m_ends &= m_ends - 1;
        const char *data = m_buffer.constData();
        const qsizetype start = m_pos;
        qint8 terminator = 1;
        m_pos = stop + 1;
        if (data[stop] == '\r') {
            if (m_pos == m_end) {
                m_lastEndedWithCr = true; // its LF, if any, comes with the next read
            } else if (data[m_pos] == '\n') {
                ++m_pos;
                terminator = 2;
                m_ends &= m_ends - 1; // the LF's bit, when it lies in this word
            }
        }
        const bool startsLine = m_atLineStart;
        m_atLineStart = true;
        return {QByteArrayView(data + start, data + stop), startsLine, true, terminator};
    }

    static constexpr qsizetype WordSize = 64; // bytes looked at for line ends at a time

    // The line end bits of the next word, leaving out bytes before m_pos or past m_end.
    void scanNextWord()
    {
        m_scan += WordSize;
        quint64 ends = lineEndBits(m_buffer.constData() + m_scan);
        if (const qsizetype valid = m_end - m_scan; valid < WordSize)
            ends &= (quint64(1) << valid) - 1;
        if (m_pos > m_scan)
            ends &= ~quint64(0) << (m_pos - m_scan);
        m_ends = ends;
    }

    std::optional<LinePiece> nextSlowly();
    bool scanForLineEnd();
    std::optional<LinePiece> nextWithoutLineEnd();
    LinePiece piece(qsizetype start, qsizetype stop, bool endsLine);
    bool skipLineFeedAfterCarriageReturn();
    bool readMore();

    ByteSource &m_source;
    qsizetype m_blockSize;
    // A block, room for the head of a line carried over, and slack for scanning 64 at a time.
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    // Line end bits of the 64 bytes from m_scan on, for bytes from m_pos on.
    qsizetype m_scan = 0;
    quint64 m_ends = 0;
    bool m_atLineStart = true;
    // The last line ended with the last byte read, a CR: an LF read next belongs to it.
    bool m_lastEndedWithCr = false;
    bool m_atEnd = false;
    bool m_failed = false;
    std::function<void()> m_beforeRead;
};
