// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/bytestreams.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <vector>

// Collects the output as a list of ranges and hands it to a sink in batches, each in one
// gathered write; the first failure sticks. Bytes the caller lends are written from where they
// lie, so the unchanged lines of a file go from the reader's buffer to the system without a
// copy of their own; bytes the writer makes or is given (append) it keeps in a block of its own.
class BlockWriter
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;
    // A lent run shorter than this is copied instead: a range of its own costs the system more
    // than copying it does (the system copies a gathered write range by range, each with a
    // start-up cost of its own).
    static constexpr qsizetype LendAtLeast = 4096;

    // `blockSize`: how many bytes of its own it collects before it hands them over.
    explicit BlockWriter(ByteSink &sink, qsizetype blockSize = DefaultBlockSize);
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Bytes to be written from where they lie: the caller keeps them there unchanged until the
    // next handOver() or finish() returns. Runs lent one right behind the other make one range.
    void lend(QByteArrayView bytes)
    {
        if (bytes.data() != m_lentEnd) {
            closeLentRun();
            m_lentBegin = bytes.data();
        }
        m_lentEnd = bytes.data() + bytes.size();
    }

    // Room for at least `count` more bytes of its own. Fill it from its start, then pass the
    // end of what was filled to added().
    char *room(qsizetype count)
    {
        closeLentRun();
        if (m_ownEnd - m_fill < count)
            makeRoom(count);
        return m_fill;
    }
    void added(char *end)
    {
        addRange(m_fill, end - m_fill);
        m_fill = end;
    }

    // Bytes copied into its own block.
    void append(QByteArrayView bytes);

    // Writes everything so far: when it returns, the bytes lent may change.
    bool handOver();
    bool finish() { return handOver(); }

    bool failed() const { return m_failed; }

private:
    void closeLentRun()
    {
        if (m_lentEnd == m_lentBegin)
            return;
        const char *begin = m_lentBegin;
        const qsizetype count = m_lentEnd - m_lentBegin;
        m_lentBegin = m_lentEnd = nullptr;
        if (count >= LendAtLeast) {
            addRange(begin, count);
            return;
        }
        if (m_ownEnd - m_fill < count)
            makeRoom(count);
        std::memcpy(m_fill, begin, size_t(count));
        added(m_fill + count);
    }
    // A range that starts where the last one ends only makes that one longer.
    void addRange(const char *begin, qsizetype count)
    {
        if (begin == m_rangesEnd)
            m_ranges.back().count += count;
        else if (count > 0)
            m_ranges.push_back({begin, count});
        else
            return;
        m_rangesEnd = begin + count;
    }
    void makeRoom(qsizetype count);
    void useOwn();

    ByteSink &m_sink;
    qsizetype m_blockSize;
    bool m_failed = false;
    // The batch being gathered: its ranges, and the block of its own, filled up to m_fill. A
    // lent range is at least LendAtLeast bytes, and a range of its own lies between two lent
    // ones, so the list of ranges stays small beside the lent bytes it stands for.
    std::vector<ByteRange> m_ranges;
    const char *m_rangesEnd = nullptr; // where the last range ends
    QByteArray m_own;
    char *m_fill = nullptr;
    char *m_ownEnd = nullptr;
    // Lent bytes not yet made a range: a run grows while the next run follows right behind.
    const char *m_lentBegin = nullptr;
    const char *m_lentEnd = nullptr;
};
