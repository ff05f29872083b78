// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/bytestreams.h"

#include <QByteArray>
#include <QByteArrayView>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Collects the output as a list of ranges and hands it to a sink in batches, each in one
// gathered write; the first failure sticks. Bytes the caller lends are written from where they
// lie, so the unchanged lines of a file go from the reader's buffer to the system without a
// copy of their own; bytes the writer makes or is given (append) it keeps in a block of its own.
// In the background mode a batch is written by a thread of its own while the next one is
// gathered, so that the system's copying and the rewriting run on two cores; a failure then
// shows at the next hand-over or at finish().
class BlockWriter
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;
    // A lent run shorter than this is copied instead: a range of its own costs the system more
    // than copying it does.
    static constexpr qsizetype LendAtLeast = 256;
    enum class Mode { Inline, Background };

    // `blockSize`: how many bytes of its own it collects before it hands them over.
    explicit BlockWriter(ByteSink &sink, qsizetype blockSize = DefaultBlockSize,
                         Mode mode = Mode::Inline);
    ~BlockWriter(); // waits for a batch still being written
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Bytes to be written from where they lie: the caller keeps them there unchanged until the
    // second handOver() from now returns. Runs lent one right behind the other make one range.
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

    // Hands everything so far on to be written, once what was handed on before is written:
    // when it returns, the bytes lent before the last hand-over may change.
    bool handOver();
    // Hands everything on and waits until all of it has been written.
    bool finish();

    bool failed() const { return m_failed; }

private:
    // A batch: the ranges to write, in order, and the block that holds the bytes of its own.
    // A lent range is at least LendAtLeast bytes, and a range of its own lies between two lent
    // ones, so the list of ranges stays small beside the lent bytes it stands for.
    struct Batch
    {
        std::vector<ByteRange> ranges;
        QByteArray own;
    };

    void closeLentRun()
    {
        if (m_lentEnd == m_lentBegin)
            return;
        const char *begin = m_lentBegin;
        const qsizetype count = m_lentEnd - m_lentBegin;
        m_lentBegin = m_lentEnd = nullptr;
        if (count >= LendAtLeast)
            addRange(begin, count);
        else
            append(QByteArrayView(begin, count));
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
    void useOwn(QByteArray &own);
    bool writeHere();
    bool writeInBackground();
    bool startThread();
    bool waitUntilWritten();
    void writeBatches();

    ByteSink &m_sink;
    qsizetype m_blockSize;
    Mode m_mode;
    bool m_failed = false;
    // The batch being gathered: its ranges, and the block of its own, filled up to m_fill.
    std::vector<ByteRange> m_ranges;
    const char *m_rangesEnd = nullptr; // where the last range ends
    QByteArray m_own;
    char *m_fill = nullptr;
    char *m_ownEnd = nullptr;
    // Lent bytes not yet made a range: a run grows while the next run follows right behind.
    const char *m_lentBegin = nullptr;
    const char *m_lentEnd = nullptr;

    // The background mode: the batch being written, swapped with the one gathered at each
    // hand-over.
    Batch m_written;
    bool m_writing = false;
    bool m_backgroundFailed = false;
    bool m_ending = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread; // started with the first batch
};
