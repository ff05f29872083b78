// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Where the save's bytes come from and go to: the files on disk (savefiles.h) when a file is
// saved, memory when the tests and the fuzz target drive the same loop.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to `max` bytes, possibly fewer; 0 at the end, -1 on failure.
    virtual qint64 read(char *into, qint64 max) = 0;
};

// Bytes lying somewhere in memory, one of the pieces of a gathered write.
struct ByteRange
{
    const char *bytes = nullptr;
    qint64 count = 0;
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // All `count` bytes, or false on failure.
    virtual bool write(const char *bytes, qint64 count) = 0;

    // The bytes of all `count` ranges one after the other, or false on failure. A system that
    // takes scattered memory in one call (writev) writes them from where they lie; otherwise
    // they are put together first, a copy the system's own calls would cost more than.
    virtual bool writeGathered(const ByteRange *ranges, qsizetype count)
    {
        qint64 total = 0;
        for (qsizetype i = 0; i < count; ++i)
            total += ranges[i].count;
        QByteArray joined;
        joined.reserve(total);
        for (qsizetype i = 0; i < count; ++i)
            joined.append(ranges[i].bytes, ranges[i].count);
        return write(joined.constData(), joined.size());
    }
};
