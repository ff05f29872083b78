// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/lineend.h"

#include <QByteArray>
#include <QByteArrayView>

#include <bit>
#include <cstring>
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
//
// What it hands out lies in its one buffer until the next read, so that it can be written from
// there: the caller writes what it was lent before each read (setBeforeRead).
class LineReader
{
public:
    // A block stays in the core's cache from the read to its writing.
    static constexpr qsizetype DefaultBlockSize = 256 << 10;
    static constexpr qsizetype HeadSize = 12;

    // Reads `blockSize` bytes at a time; a source may hand over fewer.
    explicit LineReader(ByteSource &source, qsizetype blockSize = DefaultBlockSize);

    // Runs just before each read. A view handed out stays valid until then.
    void setBeforeRead(std::function<void()> beforeRead) { m_beforeRead = std::move(beforeRead); }

    // Whole lines ended by CR LF from here on, each passed to `take` (without its end, which
    // lies right behind it in the buffer, followed by at least one more readable byte) with
    // whether it brings the bytes passed, ends included, to `atLeast` or more; that line is the
    // last. It stops before a line that `take` refuses (returns false for), and before a line
    // not ended by CR LF or not wholly buffered yet: next() hands that one out. Returns the
    // bytes passed, ends included. The common case, kept in registers.
    template <typename Take>
    qint64 crLfLines(Take take, qint64 atLeast)
    {
        if (m_lastEndedWithCr || !m_atLineStart)
            return 0;
        const char *data = m_data;
        const qsizetype start = m_pos;
        const qint64 lastStop = start + atLeast - 2; // the last line's end lies here or past
        qsizetype pos = start;
        qsizetype scan = m_scan;
        quint64 ends = m_ends;
        for (;;) {
            while (ends == 0) {
                if (scan + WordSize >= m_end)
                    return passed(start, pos, scan, ends);
                scan += WordSize;
                ends = wordEnds(scan, pos);
            }
            const qsizetype stop = scan + std::countr_zero(ends);
            // A CR read last is followed by a zero, not by its LF.
            if (std::memcmp(data + stop, "\r\n", 2) != 0)
                return passed(start, pos, scan, ends);
            const bool last = stop >= lastStop;
            if (!take(QByteArrayView(data + pos, data + stop), last))
                return passed(start, pos, scan, ends);
            ends &= ends - 1;
            ends &= ends - 1; // the LF's bit, when it lies in this word
            pos = stop + 2;
            if (last)
                return passed(start, pos, scan, ends);
        }
    }

    // Where the next line starts in the buffer.
    const char *position() const { return m_data + m_pos; }

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
    qint64 passed(qsizetype start, qsizetype pos, qsizetype scan, quint64 ends)
    {
        m_pos = pos;
        m_scan = scan;
        m_ends = ends;
        return pos - start;
    }

    // The line, or its last piece, from m_pos to the terminator at `stop`, which is passed.
    LinePiece pieceToLineEnd(qsizetype stop)
    {
        m_ends &= m_ends - 1;
        const char *data = m_data;
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

    // The line end bits of the word at `scan`, leaving out bytes before `pos`. The bytes past
    // m_end are zeros, no line end.
    quint64 wordEnds(qsizetype scan, qsizetype pos) const
    {
        quint64 ends = lineEndBits(m_data + scan);
        if (pos > scan)
            ends &= ~quint64(0) << (pos - scan);
        return ends;
    }

    void scanNextWord()
    {
        m_scan += WordSize;
        m_ends = wordEnds(m_scan, m_pos);
    }

    std::optional<LinePiece> nextSlowly();
    bool scanForLineEnd();
    std::optional<LinePiece> nextWithoutLineEnd();
    LinePiece piece(qsizetype start, qsizetype stop, bool endsLine);
    bool skipLineFeedAfterCarriageReturn();
    bool readMore();

    ByteSource &m_source;
    qsizetype m_blockSize;
    // A block, room for the head of a line carried over, and the zeros behind what was read
    // that a scan of 64 bytes at a time looks at.
    QByteArray m_buffer;
    char *m_data = nullptr;
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
